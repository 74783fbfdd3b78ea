// What Windows' timer would make of the pacing worker's waits. Runs the
// program's own cycle (pacing_cycle) on a simulated clock whose Sleep follows
// one of three models, for the rates of the pacing benchmark, and prints a
// Markdown section: press lateness against the cycle's own deadlines, schedule
// restarts, the achieved rate, and the share of a core spent yielding and
// spinning. A model, not a measurement: its assumptions are printed with it.
//
//   pacing_timer_model [--seeds-from <n>] [--into <report.md>]
//
// The runs use the seeds n to n + 9 (1 to 10 by default). With --into, the section also replaces the one between its markers in that
// file, or is added at its end; bench/pacing_report.py keeps it when it
// rewrites the report from a Wine run. Native; run by ./dev.sh bench.
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "common/count_of.h"
#include "common/shared_state.h"
#include "input/input_catalogue.h"
#include "pacing/pacing_cycle.h"
#include "pacing/pacing_math.h"
#include "pacing_stats.h"
#include "rate/rate_plan.h"

namespace {

// ---- the assumptions --------------------------------------------------------
const int64_t COUNTER_HZ = 10000000;  // QueryPerformanceFrequency on Windows 10 and 11
const int64_t NS_PER_TICK = 1000000000 / COUNTER_HZ;
const int64_t READ_NS = 25;           // one QueryPerformanceCounter call
const int64_t SPIN_NS = 40;           // one PAUSE instruction (about 140 cycles)
const int64_t YIELD_MIN_NS = 500;     // Sleep(0) with no other thread ready: 0.5 to 1.5 us
const int64_t YIELD_SPAN_NS = 1000;
const int64_t SEND_NS = 5000;         // one SendInput call
const int64_t LATCH_NS = 50;          // entering and leaving the critical section
const int32_t PRESSES = 2000;         // presses per run
const uint64_t SEEDS = 10;            // runs per rate and model, each with its own tick phase
const uint64_t MAX_FIRST_SEED = 1000000;
const double RATES[] = {1.0, 20.0, 100.0, 333.0, 1000.0};

// How Sleep(n) wakes: at the first timer tick at or after n ms (ticks every
// tick_ns from a random phase), or, with no tick, after n ms plus
// extra_ns; either way plus a random delay of up to random_ns.
struct SleepModel {
    const char *name;
    int64_t tick_ns;
    int64_t extra_ns;
    int64_t random_ns;
};
const SleepModel MODELS[] = {
    {"1 ms tick", 1000000, 0, 50000},
    {"15.625 ms tick", 15625000, 0, 50000},
    {"Wine", 0, 50000, 50000},
};
const size_t MODEL_1MS = 0;
const size_t MODEL_THROTTLED = 1;

const char *const BEGIN_MARKER = "<!-- pacing timer model: begin -->";
const char *const END_MARKER = "<!-- pacing timer model: end -->";
// A report larger than this is not one this tool wrote into.
const long MAX_REPORT_BYTES = 1 << 20;

// ---- the simulated platform -------------------------------------------------
struct ModelRun {
    const SleepModel *model;
    uint64_t rng;
    int64_t now_ns;
    int64_t phase_ns;        // where the timer ticks fall
    int64_t period_ticks;
    int64_t catch_up_ticks;
    // The cycle's own deadline, followed from its readings: the first one,
    // then the one right after each release.
    int64_t deadline;
    int32_t deadline_read;
    int32_t release_sent;
    int32_t presses;
    int32_t releases;
    int32_t restarts;
    int32_t early_presses;   // presses before their deadline: never, if the cycle is right
    int32_t short_holds;     // releases less than half the hold after their press
    int64_t first_press_ns;
    int64_t last_press_ns;
    int64_t sleep_calls;
    int64_t busy_wait_ns;    // yields, spins and counter readings
    std::vector<double> late_us;
};

ModelRun run;

uint64_t next_random(void)
{
    // splitmix64: the same sequence on every platform and compiler.
    uint64_t z = (run.rng += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int64_t random_below(int64_t span) { return span > 0 ? (int64_t)(next_random() % (uint64_t)span) : 0; }

int64_t model_read_counter(void)
{
    const int64_t ticks = run.now_ns / NS_PER_TICK;
    run.now_ns += READ_NS;
    run.busy_wait_ns += READ_NS;
    if (!run.deadline_read) {
        run.deadline = ticks;
        run.deadline_read = 1;
    } else if (run.release_sent) {
        run.release_sent = 0;
        const int64_t nominal = run.deadline + run.period_ticks;
        run.deadline = next_deadline(run.deadline, run.period_ticks, run.catch_up_ticks, ticks);
        if (run.deadline != nominal) ++run.restarts;
    }
    return ticks;
}

void model_sleep_ms(uint32_t ms)
{
    const SleepModel &m = *run.model;
    int64_t wake = run.now_ns + (int64_t)ms * 1000000;
    if (m.tick_ns > 0) {
        const int64_t since_phase = wake - run.phase_ns;
        wake = run.phase_ns + (since_phase + m.tick_ns - 1) / m.tick_ns * m.tick_ns;
    }
    run.now_ns = wake + m.extra_ns + random_below(m.random_ns);
    ++run.sleep_calls;
}

void model_give_up_slice(void)
{
    const int64_t cost = YIELD_MIN_NS + random_below(YIELD_SPAN_NS);
    run.now_ns += cost;
    run.busy_wait_ns += cost;
}

void model_spin_hint(void)
{
    run.now_ns += SPIN_NS;
    run.busy_wait_ns += SPIN_NS;
}

uint32_t model_send_edge(const InputSpec &, InputEdge edge)
{
    if (edge == EDGE_PRESS) {
        const int64_t late_ns = run.now_ns - run.deadline * NS_PER_TICK;
        if (late_ns < 0) ++run.early_presses;
        run.late_us.push_back((double)late_ns / 1000.0);
        if (run.presses == 0) run.first_press_ns = run.now_ns;
        run.last_press_ns = run.now_ns;
        ++run.presses;
    } else {
        if (2 * (run.now_ns - run.last_press_ns) < (int64_t)hold_us * 1000) ++run.short_holds;
        ++run.releases;
        run.release_sent = 1;
    }
    run.now_ns += SEND_NS;
    return 1;
}

int32_t model_never_pause(void) { return 0; }

int32_t model_is_running(void) { return run.releases < PRESSES ? 1 : 0; }

void model_latch_input(const InputSpec &) { run.now_ns += LATCH_NS; }

void model_clear_latch(void) { run.now_ns += LATCH_NS; }

const PacingOps MODEL_OPS = {
    model_read_counter,   // read_counter
    model_sleep_ms,       // sleep_ms
    model_give_up_slice,  // give_up_slice
    model_spin_hint,      // spin_hint
    model_send_edge,      // send_edge
    model_never_pause,    // should_pause
    model_is_running,     // is_running
    model_latch_input,    // latch_input
    model_clear_latch,    // clear_latch
};

// ---- runs and their figures -------------------------------------------------
// The figures of one rate under one model, over the runs of all seeds.
struct Figures {
    int32_t period_us;
    int32_t hold_us;
    std::vector<double> late_us;  // every press of every run
    Spread late;                  // of late_us
    double lowest_p99, highest_p99;  // of the single runs
    int32_t restarts;
    int32_t early_presses;
    int32_t presses;
    int32_t short_holds;
    double achieved_rate;         // mean of the runs
    double busy_wait_share;       // mean of the runs, of each run's time
    int64_t sleep_calls;
};

// Runs the cycle once and adds the run to f.
void run_model(double rate, const SleepModel *model, uint64_t seed, Figures *f)
{
    period_us = period_from_rate(rate);
    hold_us = hold_from_period(period_us);
    perf_frequency = COUNTER_HZ;
    current_input = INPUT_CATALOGUE[INPUT_DEFAULT_INDEX];
    sent_count.store(0);

    run = ModelRun{};
    run.model = model;
    run.rng = seed;
    // The run starts at an arbitrary point of the counter, against ticks of
    // an arbitrary phase.
    run.now_ns = 1000000000 + random_below(1000000000);
    run.phase_ns = model->tick_ns > 0 ? random_below(model->tick_ns) : 0;
    run.period_ticks = ticks_from_us(period_us, perf_frequency);
    run.catch_up_ticks = CATCH_UP_PERIODS * run.period_ticks;
    run.late_us.reserve(PRESSES + 1);
    const int64_t started_ns = run.now_ns;

    pacing_cycle(&MODEL_OPS);

    std::vector<double> scratch(run.late_us.size());
    const Spread late = spread_of(run.late_us.data(), (uint32_t)run.late_us.size(), scratch.data());
    const bool first = f->presses == 0;
    f->period_us = period_us;
    f->hold_us = hold_us;
    f->late_us.insert(f->late_us.end(), run.late_us.begin(), run.late_us.end());
    f->lowest_p99 = first || late.p99 < f->lowest_p99 ? late.p99 : f->lowest_p99;
    f->highest_p99 = first || late.p99 > f->highest_p99 ? late.p99 : f->highest_p99;
    f->restarts += run.restarts;
    f->early_presses += run.early_presses;
    f->presses += run.presses;
    f->short_holds += run.short_holds;
    f->achieved_rate += (double)(run.presses - 1) * 1e9 /
                        (double)(run.last_press_ns - run.first_press_ns) / (double)SEEDS;
    f->busy_wait_share += (double)run.busy_wait_ns / (double)(run.now_ns - started_ns) / (double)SEEDS;
    f->sleep_calls += run.sleep_calls;
}

uint64_t seed_for(uint64_t seed, size_t rate_index, size_t model_index)
{
    return seed * 1000003ull + rate_index * 101ull + model_index * 7ull;
}

// Lateness in microseconds, with a precision that suits its size.
std::string us_text(double us)
{
    char text[32];
    snprintf(text, sizeof text, us < 10.0 ? "%.2f" : us < 1000.0 ? "%.1f" : "%.0f", us);
    return text;
}

std::string printed(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string printed(const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string section(uint64_t first_seed)
{
    const size_t rate_count = COUNT_OF(RATES), model_count = COUNT_OF(MODELS);
    // figures[rate][model]
    std::vector<std::vector<Figures>> figures(rate_count, std::vector<Figures>(model_count));
    int32_t early = 0;
    for (size_t r = 0; r < rate_count; ++r)
        for (size_t m = 0; m < model_count; ++m) {
            Figures &f = figures[r][m];
            for (uint64_t seed = first_seed; seed < first_seed + SEEDS; ++seed)
                run_model(RATES[r], &MODELS[m], seed_for(seed, r, m), &f);
            std::vector<double> scratch(f.late_us.size());
            f.late = spread_of(f.late_us.data(), (uint32_t)f.late_us.size(), scratch.data());
            early += f.early_presses;
        }

    std::string out;
    out += BEGIN_MARKER;
    out += "\n## What Windows' timer would do: a model, not a measurement\n\n";
    out += "Written by `bench/pacing_timer_model.cpp` (which `./dev.sh bench` runs). "
           "**These figures are computed, not measured.** The program's own cycle "
           "(`pacing/pacing_cycle.cpp`, the code `worker_main` runs) runs on a simulated "
           "clock whose `Sleep(n)` follows one of three models:\n\n";
    out += "- *1 ms tick*: Windows with the 1 ms timer resolution the worker asks for "
           "(`timeBeginPeriod(1)`) honoured: `Sleep(n)` wakes at the first timer tick at or "
           "after n ms, ticks every 1 ms.\n";
    out += "- *15.625 ms tick*: the same with Windows' default 15.625 ms tick, which Windows 11 "
           "gives a process whose windows are hidden, minimised or covered unless it has opted "
           "out of timer throttling (`keep_timer_resolution_honoured` at start-up): while a "
           "run is on, another application is in front and the program's window is likely "
           "covered.\n";
    out += "- *Wine*: `Sleep(n)` wakes after n ms plus 50 us (Linux's default timer slack), "
           "with no tick.\n\n";
    out += printed(
        "Assumptions: every wake-up from a sleep comes a further 0 to 50 us late (uniform); the "
        "ticks fall at a random phase; the counter runs at %lld MHz; a counter reading costs "
        "%lld ns, a spin hint (PAUSE) %lld ns, `Sleep(0)` %.1f to %.1f us (uniform; no other "
        "thread is ready, so it returns at once), a `SendInput` %lld us, the latch or clear "
        "%lld ns; the run is never paused. Each run is %d presses; each rate and model runs with "
        "%llu seeds (%llu to %llu, splitmix64), each with its own tick phase and start; the figures are over "
        "the presses of all of them, and the last column gives the lowest and highest p99 of "
        "a single run.\n\n",
        (long long)(COUNTER_HZ / 1000000), (long long)READ_NS, (long long)SPIN_NS,
        YIELD_MIN_NS / 1000.0, (YIELD_MIN_NS + YIELD_SPAN_NS) / 1000.0, (long long)(SEND_NS / 1000),
        (long long)LATCH_NS, PRESSES, (unsigned long long)SEEDS, (unsigned long long)first_seed,
        (unsigned long long)(first_seed + SEEDS - 1));
    out += "- *Press late*: the press's send minus its deadline, the counter value the cycle "
           "aimed at; percentiles nearest-rank.\n"
           "- *Restarts*: next deadlines taken from the reading because the backlog exceeded "
           "four periods.\n"
           "- *Short holds*: releases sent less than half the hold after their press, as "
           "overdue pairs go out back to back.\n"
           "- *Yield + spin*: the time spent in `Sleep(0)`, spin hints and counter readings, "
           "as a share of the run: the CPU the waiting rule costs (about one core at 100%).\n\n";

    out += "| Rate | Period / hold (us) | Sleep model | Press late p50 (us) | p99 (us) | max (us) | "
           "Restarts | Short holds (%) | Achieved rate (/s) | Yield + spin (% of a core) | "
           "p99 of single runs (us) |\n";
    out += "|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (size_t r = 0; r < rate_count; ++r)
        for (size_t m = 0; m < model_count; ++m) {
            const Figures &f = figures[r][m];
            out += printed("| %g/s | %d / %d | %s | %s | %s | %s | %d | %.1f | %.4f | %.1f | %s to %s |\n",
                           RATES[r], f.period_us, f.hold_us, MODELS[m].name,
                           us_text(f.late.p50).c_str(), us_text(f.late.p99).c_str(),
                           us_text(f.late.max).c_str(), f.restarts,
                           100.0 * f.short_holds / (f.presses > 0 ? f.presses : 1), f.achieved_rate,
                           100.0 * f.busy_wait_share, us_text(f.lowest_p99).c_str(),
                           us_text(f.highest_p99).c_str());
        }
    out += "\n";

    // What the opt-out is worth: the throttled tick against the honoured one.
    out += "What the start-up opt-out from timer throttling is worth, by the model (1 ms tick "
           "against 15.625 ms tick):\n\n";
    for (size_t r = 0; r < rate_count; ++r) {
        const Figures &kept = figures[r][MODEL_1MS], &lost = figures[r][MODEL_THROTTLED];
        if (kept.sleep_calls == 0 && lost.sleep_calls == 0) {
            out += printed("- %g/s: nothing. Its waits are never longer than 2.5 ms, so the "
                           "cycle never sleeps: it yields and spins (%.0f%% of a core) and the "
                           "tick does not matter (p99 %s us either way)%s.\n",
                           RATES[r], 100.0 * kept.busy_wait_share, us_text(kept.late.p99).c_str(),
                           kept.hold_us == kept.period_us
                               ? "; each press goes out right after the release due at the same "
                                 "moment, so it is late by that SendInput"
                               : "");
        } else {
            out += printed("- %g/s: press lateness p50 %s us, p99 %s us, max %s us with the 1 ms "
                           "tick, against %s, %s and %s us without the opt-out; short holds "
                           "%.1f%% against %.1f%%; yield + spin %.1f%% against %.1f%% of a core.\n",
                           RATES[r], us_text(kept.late.p50).c_str(), us_text(kept.late.p99).c_str(),
                           us_text(kept.late.max).c_str(), us_text(lost.late.p50).c_str(),
                           us_text(lost.late.p99).c_str(), us_text(lost.late.max).c_str(),
                           100.0 * kept.short_holds / kept.presses,
                           100.0 * lost.short_holds / lost.presses, 100.0 * kept.busy_wait_share,
                           100.0 * lost.busy_wait_share);
        }
    }
    out += "\n";
    out += printed(
        "Presses sent before their deadline, over all runs: %d. The measured Wine figures above "
        "are larger than the Wine model's, because there the worker shares two cores with the X "
        "server, the Wine server, the recorder and the driver, and the model has no other "
        "thread: it shows what the waiting rule itself makes of each timer, not what a busy "
        "machine adds.\n",
        early);
    out += END_MARKER;
    out += "\n";
    return out;
}

// Replaces the marked section of the report at path with text, or adds text
// at its end. Returns 0 on success; says why on stderr otherwise.
int write_into(const char *path, const std::string &text)
{
    std::string report;
    FILE *in = fopen(path, "rb");
    if (in != NULL) {
        char block[4096];
        size_t got;
        while ((got = fread(block, 1, sizeof block, in)) > 0) {
            report.append(block, got);
            if ((long)report.size() > MAX_REPORT_BYTES) {
                fclose(in);
                fprintf(stderr, "%s: larger than %ld bytes, left alone\n", path, MAX_REPORT_BYTES);
                return 1;
            }
        }
        fclose(in);
    }
    const size_t begin = report.find(BEGIN_MARKER);
    const size_t end = begin == std::string::npos ? std::string::npos : report.find(END_MARKER, begin);
    if (begin != std::string::npos && end != std::string::npos) {
        size_t after = end + strlen(END_MARKER);
        if (after < report.size() && report[after] == '\n') ++after;
        report.replace(begin, after - begin, text);
    } else {
        if (!report.empty() && report.back() != '\n') report += "\n";
        if (!report.empty()) report += "\n";
        report += text;
    }
    const std::string temporary = std::string(path) + ".new";
    FILE *out = fopen(temporary.c_str(), "wb");
    if (out == NULL) {
        fprintf(stderr, "%s: cannot write\n", temporary.c_str());
        return 1;
    }
    const bool written = fwrite(report.data(), 1, report.size(), out) == report.size();
    if (fclose(out) != 0 || !written || rename(temporary.c_str(), path) != 0) {
        fprintf(stderr, "%s: cannot write\n", path);
        remove(temporary.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *into = NULL;
    uint64_t first_seed = 1;
    for (int i = 1; i < argc; i += 2) {
        char *end = NULL;
        if (i + 1 < argc && strcmp(argv[i], "--into") == 0) {
            into = argv[i + 1];
        } else if (i + 1 < argc && strcmp(argv[i], "--seeds-from") == 0 &&
                   (first_seed = strtoull(argv[i + 1], &end, 10)) >= 1 &&
                   first_seed <= MAX_FIRST_SEED && end != argv[i + 1] && *end == '\0') {
        } else {
            fprintf(stderr, "usage: %s [--seeds-from <1..%llu>] [--into <report.md>]\n", argv[0],
                    (unsigned long long)MAX_FIRST_SEED);
            return 2;
        }
    }
    const std::string text = section(first_seed);
    fputs(text.c_str(), stdout);
    if (into != NULL) {
        if (write_into(into, text) != 0) return 1;
        fprintf(stderr, "wrote the model's section into %s\n", into);
    }
    return 0;
}
