// The pacing benchmark's driver. It runs the real rivanta.exe, and beside it
// the plain sleep loop (sleep_loop_baseline.exe), at each rate into the
// recorder window, and measures from the recorder's performance-counter
// stamps: the achieved rate, the restarts of the sender's schedule and the
// longest stall, each press's deviation from its sender's own schedule (for
// rivanta.exe, whole periods from a deadline that each restart resets), each
// hold against the schedule's hold, lost or doubled presses, the stop
// latency, and the CPU time of the process as Linux counts it
// (/proc/<pid>/stat of the Wine process, read through drive Z:). The program
// is used only as a user would: rate typed into its box, F6 and F8 pressed
// with SendInput while the recorder is in front.
//
// Every rate runs in each of several rounds, each round with a fresh copy of
// the program. The load case runs some rates again while a spinning process
// keeps one core busy, the sleep loop beside it under the same load. The
// priority comparison runs builds of the program whose worker runs at other
// priorities (bench/CMakeLists.txt) at the same rates, with and without the
// load; for every run of the program it notes the worker's Linux thread (the
// one whose CPU time grew most): its nice value, scheduling policy and
// real-time priority, and the priority Windows' side reports for the thread
// the run started.
//
//   pacing_driver <rivanta.exe> <sleep_loop_baseline.exe> <output folder>
//                 [--rounds <n>] [--phase-seconds <s>]
//                 [--spinner <cpu_spinner.exe>] [--load-rates <rate>,...]
//                 [--load-seconds <s>] [--variant <name>=<exe>]...
//                 [<rate>[:<seconds>] ...]
//
// Without rates it runs 1, 20, 100, 333 and 1000 per second, each long
// enough for 200 presses, at least 4 s and at most 6 s; 3 rounds; the load
// case (only with --spinner) and the variants at 333 and 1000 per second for
// 3 s each; the idle and paused CPU over 5 s each. It writes to the output
// folder:
//   pacing_results.tsv       one line of figures per run: program, variant,
//                            load, round, rate
//   pacing_cpu.tsv           rivanta.exe's CPU time while idle and paused
//   pacing_platform.tsv      how long a new thread's first and second SendInput take
//   deviations_<program>_<variant>_<load>_<rate>_<round>.txt   each press's
//                            deviation in us, one a line (after the start of
//                            the run, which is a figure apart)
// Exit code 0 when every run could be driven and measured, 1 otherwise.
#include <windows.h>
#include <tlhelp32.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "e2e_session.h"
#include "pacing_stats.h"
#include "proc_probe_win.h"
#include "rate/rate_plan.h"

namespace {

const uint32_t BENCH_MIN_PRESSES = 200;
const double BENCH_MIN_SECONDS = 4.0;
const double BENCH_MAX_SECONDS = 6.0;
const int32_t BENCH_DEFAULT_ROUNDS = 3;
const int32_t BENCH_MAX_ROUNDS = 100;
const double BENCH_DEFAULT_LOAD_SECONDS = 3.0;
const int32_t BENCH_DEFAULT_PHASE_SECONDS = 5;  // the idle and the paused measurement
const int32_t BENCH_MAX_RATES = 16;
const int32_t BENCH_MAX_VARIANTS = 8;
const int32_t BENCH_MAX_THREADS = 256;
const int32_t NO_PRIORITY = -99;  // no priority could be read

const double DEFAULT_RATES[] = {1, 20, 100, 333, 1000};
const double DEFAULT_LOAD_RATES[] = {333, 1000};
const char STOP_EVENT_NAME[] = "Local\\RivantaPacingBenchStop";
const char SPINNER_STOP_EVENT_NAME[] = "Local\\RivantaPacingBenchSpinnerStop";
const char STOPPED_BY_F8[] = "Stopped by F8.";
const char DEFAULT_VARIANT[] = "default";
const char LOAD_NONE[] = "none";
const char LOAD_SPIN[] = "spin";

// What one run of the driver does.
struct Plan {
    double rates[BENCH_MAX_RATES], seconds[BENCH_MAX_RATES];
    int32_t n_rates;
    double load_rates[BENCH_MAX_RATES];
    int32_t n_load_rates;
    double load_seconds;
    int32_t rounds;
    int32_t phase_seconds;
    char spinner[MAX_PATH];  // empty: no load case
    const char *variant_names[BENCH_MAX_VARIANTS];
    const char *variant_exes[BENCH_MAX_VARIANTS];  // as given (Unix or Windows paths)
    int32_t n_variants;
};

// The figures of one run of one program at one rate.
struct RunFigures {
    const char *program;        // "rivanta" or "baseline"
    const char *variant;        // the build of the program; "-" for the baseline
    const char *load;           // LOAD_NONE or LOAD_SPIN
    int32_t round;              // 1, 2, ...
    double rate;                // as typed
    int32_t period_us, hold_us; // the Schedule for that rate
    double seconds;             // first press to last press
    uint32_t start_presses;     // the first press and those sent back to back after it
    double first_press_us;      // the first press against its segment's schedule
    PairCount pairs;
    long sent;                  // pairs the program says it sent
    int32_t lost, doubled;
    double achieved_rate;       // per second: presses after the start over their time
    double rate_ratio;          // achieved over scheduled (1e6 / period_us)
    uint32_t segments;          // of the presses after the start
    int32_t restarts;           // segments - 1; -1 for the sleep loop, which has no schedule
    double restarts_per_10k;    // per 10,000 presses after the start; -1 for the sleep loop
    double longest_gap_ms;      // the longest time between two presses after the start
    Spread press;               // deviation from the sender's own schedule, us
    Spread press_at_period;     // from one schedule at the scheduled period for the whole run
    Spread hold;                // hold minus hold_us, us, after the start, before the stop
    double stop_release_ms;     // stop sent to the last release seen
    double stop_text_ms;        // F8 sent to "Stopped by F8." shown; NAN for the baseline
    uint32_t presses_after_stop;
    uint32_t slow_deliveries;   // presses stamped more than 2 ms after their message time
    double max_delivery_ms;     // the longest stamp minus message time (within 1 ms)
    double cpu_percent;         // of one core, first press to stop
    double spinner_cpu_percent; // the spinning process's, over the same time; -1 without
    double worker_cpu_percent;  // the busiest Linux thread's, over the same time
    int32_t worker_nice, worker_policy, worker_rt_priority;
    int32_t worker_win_priority;  // GetThreadPriority of the thread the run started
};

// Working storage for one run's analysis, large enough for a full recorder.
Edge edges[RECORDER_CAPACITY];
double press_us[RECORDER_CAPACITY], hold_us_of[RECORDER_CAPACITY];
double deviation_us[RECORDER_CAPACITY], scratch[RECORDER_CAPACITY];
double deviation_at_period_us[RECORDER_CAPACITY];
uint32_t segment_start[RECORDER_CAPACITY];
double segment_offset_us[RECORDER_CAPACITY];

// ---- CPU time and threads ---------------------------------------------------------

// A CPU-time reading with the counter value it was taken at.
struct CpuMark {
    double cpu_s;
    int64_t at;
};

CpuMark cpu_mark(int32_t pid)
{
    CpuMark m = {cpu_seconds(pid), recorder_now()};
    return m;
}

// CPU time between two marks, in percent of one core; -1 if unreadable.
double cpu_percent_between(CpuMark a, CpuMark b)
{
    if (a.cpu_s < 0 || b.cpu_s < 0 || b.at <= a.at) return -1.0;
    return (b.cpu_s - a.cpu_s) * 100.0 / (recorder_us(b.at - a.at) / 1e6);
}

// The ids of the Windows threads of a process, into ids (room for
// BENCH_MAX_THREADS); returns how many.
int32_t windows_threads_of(DWORD pid, DWORD *ids)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry;
    memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    int32_t n = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more && n < BENCH_MAX_THREADS;
         more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == pid) ids[n++] = entry.th32ThreadID;
    CloseHandle(snapshot);
    return n;
}

// The priority Windows' side reports for the one thread of the process that
// is not among the `before` ids: the worker a run started. NO_PRIORITY when
// there is not exactly one such thread or it cannot be asked.
int32_t new_thread_priority(DWORD pid, const DWORD *before, int32_t n_before)
{
    DWORD now[BENCH_MAX_THREADS];
    const int32_t n_now = windows_threads_of(pid, now);
    DWORD found = 0;
    int32_t new_ones = 0;
    for (int32_t i = 0; i < n_now; ++i) {
        int32_t known = 0;
        for (int32_t j = 0; j < n_before && !known; ++j) known = now[i] == before[j];
        if (!known) {
            found = now[i];
            ++new_ones;
        }
    }
    if (new_ones != 1) return NO_PRIORITY;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, found);
    if (thread == NULL) return NO_PRIORITY;
    const int priority = GetThreadPriority(thread);
    CloseHandle(thread);
    return priority == THREAD_PRIORITY_ERROR_RETURN ? NO_PRIORITY : priority;
}

// ---- the spinning process of the load case ------------------------------------------

struct Spinner {
    PROCESS_INFORMATION process;
    HANDLE stop;
    int32_t pid;  // its Linux process; 0 while none runs
};

// Starts cpu_spinner.exe in the session's job and waits until Linux counts
// its CPU time. Returns 1 once it spins.
int32_t start_spinner(Session *s, const char *exe, Spinner *spinner)
{
    memset(spinner, 0, sizeof *spinner);
    spinner->stop = CreateEventA(NULL, TRUE, FALSE, SPINNER_STOP_EVENT_NAME);
    if (!expect(s, spinner->stop != NULL, "could not make the spinner's stop event")) return 0;
    char command[MAX_PATH + 128];
    snprintf(command, sizeof command, "\"%s\" %s", exe, SPINNER_STOP_EVENT_NAME);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!expect(s, CreateProcessA(exe, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                  &spinner->process) != 0,
                "could not start %s (error %lu)", exe, (unsigned long)GetLastError()))
        return 0;
    if (s->job) AssignProcessToJobObject(s->job, spinner->process.hProcess);
    DWORD start = GetTickCount();
    while ((spinner->pid = unix_pid_of(exe)) == 0 || cpu_seconds(spinner->pid) <= 0.0) {
        if (deadline_passed(start, E2E_LAUNCH_MS))
            return expect(s, 0, "the spinner %s does not spin", exe);
        Sleep(E2E_POLL_MS);
    }
    return 1;
}

void stop_spinner(Session *s, Spinner *spinner)
{
    if (spinner->stop) SetEvent(spinner->stop);
    if (spinner->process.hProcess &&
        WaitForSingleObject(spinner->process.hProcess, E2E_EXIT_MS) != WAIT_OBJECT_0) {
        expect(s, 0, "the spinner did not end after its stop event");
        TerminateProcess(spinner->process.hProcess, 1);
    }
    close_process_handles(&spinner->process);
    if (spinner->stop) CloseHandle(spinner->stop);
    memset(spinner, 0, sizeof *spinner);
}

// ---- one run --------------------------------------------------------------------

// How long a run at the rate lasts: 200 presses, within 4 to 6 s.
double run_seconds_for(double rate)
{
    double seconds = BENCH_MIN_PRESSES / rate;
    if (seconds < BENCH_MIN_SECONDS) seconds = BENCH_MIN_SECONDS;
    if (seconds > BENCH_MAX_SECONDS) seconds = BENCH_MAX_SECONDS;
    return seconds;
}

// Waits, without sleeping between looks, for the next press after the
// recording's current end, so that a stop sent right after it falls inside
// that press's hold: the case in which the release has to come from the
// stop. Returns 1 when a press came within timeout_ms.
int32_t wait_next_press(Session *s, DWORD timeout_ms)
{
    uint32_t from = recorder_count(s->rec);
    DWORD start = GetTickCount();
    while (recorder_collect(s->rec, from, WM_KEYDOWN, VK_SPACE, NULL, 0) == 0) {
        if (deadline_passed(start, timeout_ms))
            return expect(s, 0, "no press came within %lu ms", (unsigned long)timeout_ms);
        Sleep(0);
    }
    return 1;
}

// The run's figures from the recorder's Space edges at or after index from,
// given when the stop was sent and f->sent, the pairs the program says it
// sent. stop_may_cut: the program counts no pair whose hold the stop cut
// short, so the recorder may see one press more than the count.
// keeps_schedule: the sender is rivanta.exe, whose schedule restarts after a
// backlog of more than four periods. Hands the recorder's room back once done.
void analyse_run(Session *s, uint32_t from, int64_t stop_sent, int32_t stop_may_cut,
                 int32_t keeps_schedule, RunFigures *f)
{
    sync_recorder(s);
    expect(s, s->rec->dropped.load() == 0, "the recorder was full: %u events dropped",
           s->rec->dropped.load());
    uint32_t end = recorder_count(s->rec);
    uint32_t n = 0;
    int64_t origin = 0, last_release = 0;
    f->presses_after_stop = 0;
    f->slow_deliveries = 0;
    f->max_delivery_ms = 0.0;
    for (uint32_t i = from; i < end && n < (uint32_t)RECORDER_CAPACITY; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (e.wparam != VK_SPACE || (e.message != WM_KEYDOWN && e.message != WM_KEYUP)) continue;
        if (n == 0) origin = e.qpc;
        edges[n].us = recorder_us(e.qpc - origin);
        edges[n].down = e.message == WM_KEYDOWN;
        if (e.message == WM_KEYUP) last_release = e.qpc;
        if (e.message == WM_KEYDOWN && e.qpc > stop_sent) ++f->presses_after_stop;
        if (e.message == WM_KEYDOWN) {
            // The message's own time is the tick count (whole ms, on the
            // counter's clock) when SendInput queued it; the stamp minus that
            // is the delivery time plus less than 1 ms of truncation. It tells
            // a press sent late from one delivered late.
            double delivery_ms = recorder_ms(e.qpc) - (double)e.time;
            if (delivery_ms > 2.0) ++f->slow_deliveries;
            if (delivery_ms > f->max_delivery_ms) f->max_delivery_ms = delivery_ms;
        }
        ++n;
    }
    recorder_release(s->rec, end);
    f->pairs = pair_edges(edges, n, press_us, hold_us_of);
    uint32_t presses = f->pairs.presses;
    f->seconds = presses > 1 ? (press_us[presses - 1] - press_us[0]) / 1e6 : 0.0;
    // The start of a run: the first press goes out as the sender starts, and
    // its lateness is the cost of starting (under Wine the first SendInput
    // of a new thread takes about 10 ms), not the cadence. When that is more
    // than a period, the presses right after it come back to back (less than
    // half a period apart) until the backlog is worked off. The figures are
    // taken from the presses after that start; the first press is measured
    // against the first segment's schedule apart, and the start's holds are
    // left out.
    uint32_t start = presses > 0 ? 1 : 0;
    while (start < presses && press_us[start] - press_us[start - 1] < 0.5 * f->period_us) ++start;
    f->start_presses = start;
    uint32_t rest = presses - start;
    const double *steady = press_us + start;
    f->longest_gap_ms = longest_gap_us(steady, rest) / 1000.0;
    f->achieved_rate = rest > 1 ? (rest - 1) * 1e6 / (steady[rest - 1] - steady[0]) : 0.0;
    f->rate_ratio = f->achieved_rate * f->period_us / 1e6;
    // Each press against its sender's own schedule. rivanta.exe's is whole
    // periods from a deadline that each restart resets, so a restart begins
    // a segment with an offset of its own and a stall costs its own presses,
    // not every press after it. The sleep loop has no schedule but its own
    // cadence: its presses are held against the evenly spaced schedule
    // fitted to its run, which absorbs its rate error.
    double period = f->period_us;
    if (keeps_schedule) {
        f->segments = split_at_restarts(steady, rest, f->period_us, segment_start, scratch);
        fit_segment_offsets(steady, rest, segment_start, f->segments, period, segment_offset_us);
    } else {
        segment_start[0] = 0;
        f->segments = rest > 0 ? 1 : 0;
        period = fit_segments(steady, rest, segment_start, f->segments, segment_offset_us);
    }
    f->restarts = keeps_schedule ? (int32_t)(f->segments > 0 ? f->segments - 1 : 0) : -1;
    f->restarts_per_10k = keeps_schedule && rest > 0 ? f->restarts * 10000.0 / rest : -1.0;
    f->first_press_us =
        rest > 0 ? press_us[0] - (segment_offset_us[0] - start * period) : 0.0;
    deviations_from_segments(steady, rest, segment_start, f->segments, period, segment_offset_us,
                             deviation_us);
    f->press = spread_of(deviation_us, rest, scratch);
    // One schedule at the scheduled period for the whole run, as a single
    // fit would measure it: every restart, and a sender running slow or
    // fast, shifts the presses after it.
    const EvenFit whole = fit_offset_at_period(steady, rest, f->period_us);
    deviations_from_fit(steady, rest, whole, deviation_at_period_us);
    f->press_at_period = spread_of(deviation_at_period_us, rest, scratch);
    // Holds after the start, up to the last one released before the stop:
    // the stop is sent inside the last hold, which it cuts short.
    uint32_t held = f->pairs.pairs > start ? f->pairs.pairs - start : 0;
    if (held > 0 && last_release > stop_sent) --held;
    for (uint32_t i = start; i < start + held; ++i) hold_us_of[i] -= f->hold_us;
    f->hold = spread_of(hold_us_of + start, held, scratch);
    f->stop_release_ms = last_release ? recorder_us(last_release - stop_sent) / 1000.0 : NAN;

    long seen = (long)presses;
    f->lost = f->sent > seen ? (int32_t)(f->sent - seen) : 0;
    long extra = seen - f->sent - stop_may_cut;
    f->doubled = extra > 0 ? (int32_t)extra : 0;
}

// Polls the status line, without sleeping, until it shows the F8 stop text;
// returns the counter value at which it was seen (0 if it never came) and the
// text in got.
int64_t wait_stop_text(Session *s, char *got, int32_t size)
{
    DWORD start = GetTickCount();
    size_t n = strlen(STOPPED_BY_F8);
    for (;;) {
        read_text(control(s, IDC_STATUS), got, size);
        if (strncmp(got, STOPPED_BY_F8, n) == 0) return recorder_now();
        if (deadline_passed(start, E2E_REACTION_MS)) return 0;
        Sleep(0);
    }
}

// F6 with the recorder in front; returns 1 once the first press arrived. The
// program is not asked for its texts meanwhile, so that the driver's own
// messages do not compete with the run's start.
int32_t start_by_f6(Session *s, uint32_t from)
{
    if (!bring_to_front(s, s->rec->window, "the recorder")) return 0;
    press_key(VK_F6);
    return expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 1, E2E_REACTION_MS),
                  "F6 with the recorder in front started no run");
}

// rivanta.exe at one rate: the rate typed in, F6 with the recorder in front,
// the run, F8 right after a press. pid: the program's Linux process;
// spinner_pid: the spinning process's, 0 without load.
int32_t run_rivanta(Session *s, int32_t pid, int32_t spinner_pid, double seconds, RunFigures *f)
{
    char rate_text[32];
    snprintf(rate_text, sizeof rate_text, "%g", f->rate);
    if (!set_rate(s, rate_text)) return 0;
    DWORD threads_before[BENCH_MAX_THREADS];
    const int32_t n_threads_before = windows_threads_of(s->process.dwProcessId, threads_before);
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6(s, from)) return 0;
    CpuMark start = cpu_mark(pid), spin_start = cpu_mark(spinner_pid);
    static TaskSample tasks_start[PROC_MAX_TASKS], tasks_stop[PROC_MAX_TASKS];
    const int32_t n_start = read_tasks(pid, tasks_start);
    f->worker_win_priority =
        new_thread_priority(s->process.dwProcessId, threads_before, n_threads_before);
    Sleep((DWORD)(seconds * 1000.0));
    if (!wait_next_press(s, (DWORD)(f->period_us / 1000) + E2E_REACTION_MS)) return 0;
    CpuMark stop = cpu_mark(pid), spin_stop = cpu_mark(spinner_pid);
    const int32_t n_stop = read_tasks(pid, tasks_stop);
    int64_t stop_sent = recorder_now();
    press_key(VK_F8);
    char text[E2E_TEXT_SIZE];
    int64_t shown = wait_stop_text(s, text, sizeof text);
    if (!expect(s, shown != 0 && parse_stop_line(text, STOPPED_BY_F8, "presses", &f->sent),
                "no F8 stop text: \"%s\"", text))
        return 0;
    f->stop_text_ms = recorder_us(shown - stop_sent) / 1000.0;
    f->cpu_percent = cpu_percent_between(start, stop);
    f->spinner_cpu_percent = spinner_pid > 0 ? cpu_percent_between(spin_start, spin_stop) : -1.0;
    double grew_s = 0.0;
    const int32_t worker = busiest_task(tasks_start, n_start, tasks_stop, n_stop, &grew_s);
    if (worker >= 0) {
        f->worker_cpu_percent = grew_s * 100.0 / (recorder_us(stop.at - start.at) / 1e6);
        f->worker_nice = tasks_stop[worker].nice;
        f->worker_policy = tasks_stop[worker].policy;
        f->worker_rt_priority = tasks_stop[worker].rt_priority;
    } else {
        f->worker_cpu_percent = -1.0;
        f->worker_nice = f->worker_policy = f->worker_rt_priority = NO_PRIORITY;
    }
    analyse_run(s, from, stop_sent, 1, 1, f);
    return 1;
}

// The sleep loop at one rate, started as a process of its own with the
// recorder in front, stopped by the named event right after a press.
int32_t run_baseline(Session *s, const char *baseline_exe, HANDLE stop_event, int32_t spinner_pid,
                     double seconds, RunFigures *f)
{
    ResetEvent(stop_event);
    char command[MAX_PATH + 128];
    snprintf(command, sizeof command, "\"%s\" %d %d %s", baseline_exe, f->period_us, f->hold_us,
             STOP_EVENT_NAME);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    uint32_t from = recorder_count(s->rec);
    if (!expect(s, CreateProcessA(baseline_exe, command, NULL, NULL, FALSE, 0, NULL, NULL,
                                  &startup, &process) != 0,
                "could not start %s (error %lu)", baseline_exe, (unsigned long)GetLastError()))
        return 0;
    if (s->job) AssignProcessToJobObject(s->job, process.hProcess);
    int32_t ok = expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 1, E2E_LAUNCH_MS),
                        "the sleep loop sent no press");
    int32_t pid = unix_pid_of(baseline_exe);
    ok = ok && expect(s, pid > 0, "no Linux process runs %s", baseline_exe);
    CpuMark start = cpu_mark(pid), spin_start = cpu_mark(spinner_pid);
    if (ok) Sleep((DWORD)(seconds * 1000.0));
    ok = ok && wait_next_press(s, (DWORD)(f->period_us / 1000) + E2E_REACTION_MS);
    CpuMark stop = cpu_mark(pid), spin_stop = cpu_mark(spinner_pid);
    int64_t stop_sent = recorder_now();
    SetEvent(stop_event);
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, (DWORD)(f->period_us / 1000) + E2E_EXIT_MS) !=
        WAIT_OBJECT_0) {
        expect(s, 0, "the sleep loop did not end after its stop event");
        TerminateProcess(process.hProcess, 0);
        ok = 0;
    }
    GetExitCodeProcess(process.hProcess, &code);
    close_process_handles(&process);
    if (!ok) return 0;
    f->sent = (long)code;
    f->stop_text_ms = NAN;
    f->cpu_percent = cpu_percent_between(start, stop);
    f->spinner_cpu_percent = spinner_pid > 0 ? cpu_percent_between(spin_start, spin_stop) : -1.0;
    f->worker_cpu_percent = -1.0;
    f->worker_nice = f->worker_policy = f->worker_rt_priority = NO_PRIORITY;
    f->worker_win_priority = NO_PRIORITY;
    analyse_run(s, from, stop_sent, 0, 0, f);
    return 1;
}

// ---- the CPU time of the program while idle and paused ----------------------------

// Percent of one core rivanta.exe uses over the given seconds, with no
// reading of its window meanwhile.
double cpu_over_phase(int32_t pid, int32_t seconds)
{
    CpuMark a = cpu_mark(pid);
    Sleep((DWORD)seconds * 1000);
    return cpu_percent_between(a, cpu_mark(pid));
}

// A run at 1000 per second, paused by the program's own window in front.
double cpu_while_paused(Session *s, int32_t pid, int32_t seconds)
{
    if (!set_rate(s, "1000")) return -1.0;
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6(s, from)) return -1.0;
    long sent = 0;
    if (!bring_to_front(s, s->main, "the program's window") ||
        !wait_running_line(s, "Keyboard: Space at 1000 per second", PAUSED_ACTIVE, &sent))
        return -1.0;
    double percent = cpu_over_phase(pid, seconds);
    press_key(VK_F8);
    char text[E2E_TEXT_SIZE];
    expect(s, wait_stop_text(s, text, sizeof text) != 0, "no F8 stop text after the pause: \"%s\"",
           text);
    recorder_release(s->rec, recorder_count(s->rec));
    return percent;
}

// ---- the platform's cost of a new sender's first input ----------------------------

// How long SendInput takes in a thread that has not sent input before: the
// first call and the second, in ms.
struct FirstSend {
    double first_ms, second_ms;
};

// A new thread presses and releases the marker key (into the recorder in
// front, which the runs' figures ignore) and times each call.
DWORD WINAPI first_send_thread(void *argument)
{
    FirstSend *result = (FirstSend *)argument;
    int64_t t0 = recorder_now();
    key_edge(E2E_MARKER_VK, 0);
    int64_t t1 = recorder_now();
    key_edge(E2E_MARKER_VK, 1);
    int64_t t2 = recorder_now();
    result->first_ms = recorder_us(t1 - t0) / 1000.0;
    result->second_ms = recorder_us(t2 - t1) / 1000.0;
    return 0;
}

FirstSend time_first_send(void)
{
    // Static: a thread that outlives the wait still writes to valid storage.
    static FirstSend result;
    result.first_ms = result.second_ms = -1.0;
    HANDLE thread = CreateThread(NULL, 0, first_send_thread, &result, 0, NULL);
    if (!thread) return result;
    WaitForSingleObject(thread, E2E_REACTION_MS);
    CloseHandle(thread);
    return result;
}

// ---- output -------------------------------------------------------------------------

FILE *open_output(const char *folder, const char *name)
{
    char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    FILE *file = fopen(path, "w");
    if (!file) fprintf(stderr, "cannot write %s\n", path);
    return file;
}

void write_header(FILE *out)
{
    fprintf(out, "program\tvariant\tload\tround\trate\tperiod_us\thold_us\tseconds\t"
                 "start_presses\tfirst_press_us\t"
                 "presses\treleases\tsent\tunreleased\tstray_releases\tlost\tdoubled\t"
                 "achieved_rate\trate_ratio\trestarts\trestarts_per_10k\t"
                 "longest_gap_ms\t"
                 "press_mean_us\tpress_p50_us\tpress_p99_us\tpress_max_us\t"
                 "period_mean_us\tperiod_p99_us\tperiod_max_us\t"
                 "hold_mean_us\thold_p50_us\thold_p99_us\thold_max_us\t"
                 "stop_release_ms\tstop_text_ms\tpresses_after_stop\t"
                 "slow_deliveries\tmax_delivery_ms\tcpu_percent\tspinner_cpu_percent\t"
                 "worker_cpu_percent\tworker_nice\tworker_policy\tworker_rt_priority\t"
                 "worker_win_priority\n");
}

// One line of figures, in the columns of write_header.
void write_figures(FILE *out, const RunFigures *f)
{
    fprintf(out, "%s\t%s\t%s\t%d\t%g\t%d\t%d\t%.3f\t%u\t%.1f\t", f->program, f->variant, f->load,
            f->round, f->rate, f->period_us, f->hold_us, f->seconds, f->start_presses,
            f->first_press_us);
    fprintf(out, "%u\t%u\t%ld\t%u\t%u\t%d\t%d\t", f->pairs.presses, f->pairs.releases,
            f->sent, f->pairs.unreleased, f->pairs.stray_releases, f->lost, f->doubled);
    fprintf(out, "%.4f\t%.6f\t%d\t%.2f\t%.3f\t", f->achieved_rate, f->rate_ratio, f->restarts,
            f->restarts_per_10k, f->longest_gap_ms);
    fprintf(out, "%.1f\t%.1f\t%.1f\t%.1f\t", f->press.mean_abs, f->press.p50, f->press.p99,
            f->press.max);
    fprintf(out, "%.1f\t%.1f\t%.1f\t", f->press_at_period.mean_abs, f->press_at_period.p99,
            f->press_at_period.max);
    fprintf(out, "%.1f\t%.1f\t%.1f\t%.1f\t", f->hold.mean_abs, f->hold.p50, f->hold.p99,
            f->hold.max);
    fprintf(out, "%.2f\t%.2f\t%u\t%u\t%.2f\t%.2f\t%.2f\t", f->stop_release_ms, f->stop_text_ms,
            f->presses_after_stop, f->slow_deliveries, f->max_delivery_ms, f->cpu_percent,
            f->spinner_cpu_percent);
    fprintf(out, "%.2f\t%d\t%d\t%d\t%d\n", f->worker_cpu_percent, f->worker_nice,
            f->worker_policy, f->worker_rt_priority, f->worker_win_priority);
    fflush(out);
}

// The signed deviations of the run just analysed, one a line.
void write_deviations(const char *folder, const RunFigures *f)
{
    char name[160];
    snprintf(name, sizeof name, "deviations_%s_%s_%s_%g_%d.txt", f->program, f->variant, f->load,
             f->rate, f->round);
    FILE *out = open_output(folder, name);
    if (!out) return;
    for (uint32_t i = 0; i < f->press.n; ++i) fprintf(out, "%.1f\n", deviation_us[i]);
    fclose(out);
}

void print_figures(const RunFigures *f)
{
    note("round %d %-8s %-13s load %-4s %6g/s: %u presses in %.2f s, rate x%.6f, %d restarts, "
         "longest stall %.2f ms; press dev p50 %.1f p99 %.1f max %.1f us; hold dev p99 %.1f us; "
         "sent %ld, lost %d, doubled %d, unreleased %u; stop->release %.2f ms; CPU %.1f%% "
         "(worker %.1f%%, nice %d, policy %d, Windows priority %d), spinner %.1f%%",
         f->round, f->program, f->variant, f->load, f->rate, f->pairs.presses, f->seconds,
         f->rate_ratio, f->restarts, f->longest_gap_ms, f->press.p50,
         f->press.p99, f->press.max, f->hold.p99, f->sent, f->lost, f->doubled,
         f->pairs.unreleased, f->stop_release_ms, f->cpu_percent, f->worker_cpu_percent,
         f->worker_nice, f->worker_policy, f->worker_win_priority, f->spinner_cpu_percent);
}

// ---- the plan -------------------------------------------------------------------------

// Reads "<rate>[:<seconds>]" into the rate and seconds tables. 0 for a bad one.
int32_t add_rate(const char *text, double *rates, double *seconds, int32_t *n)
{
    if (*n >= BENCH_MAX_RATES) return 0;
    char *end = NULL;
    const double rate = strtod(text, &end);
    const double run = *end == ':' ? strtod(end + 1, &end) : run_seconds_for(rate);
    if (*end != '\0' || !(rate >= MIN_SCHEDULED_RATE && rate <= MAX_SCHEDULED_RATE) || !(run > 0))
        return 0;
    rates[*n] = rate;
    seconds[*n] = run;
    ++*n;
    return 1;
}

// A comma-separated list of rates into the load case's table.
int32_t add_rate_list(const char *text, Plan *plan)
{
    char list[256];
    snprintf(list, sizeof list, "%s", text);
    double ignored_seconds[BENCH_MAX_RATES];
    plan->n_load_rates = 0;
    for (char *item = strtok(list, ","); item; item = strtok(NULL, ","))
        if (!add_rate(item, plan->load_rates, ignored_seconds, &plan->n_load_rates)) return 0;
    return plan->n_load_rates > 0;
}

// A whole number of seconds or rounds within [low, high]; 0 when it is not one.
int32_t whole_number(const char *text, int32_t low, int32_t high, int32_t *value)
{
    char *end = NULL;
    const long n = strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < low || n > high) return 0;
    *value = (int32_t)n;
    return 1;
}

// The plan from the arguments after the three paths. 0 on a bad argument,
// which it names on stderr.
int32_t read_plan(int argc, char **argv, Plan *plan)
{
    memset(plan, 0, sizeof *plan);
    plan->rounds = BENCH_DEFAULT_ROUNDS;
    plan->phase_seconds = BENCH_DEFAULT_PHASE_SECONDS;
    plan->load_seconds = BENCH_DEFAULT_LOAD_SECONDS;
    for (double rate : DEFAULT_LOAD_RATES) plan->load_rates[plan->n_load_rates++] = rate;
    for (int i = 4; i < argc; ++i) {
        const char *arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : NULL;
        int32_t ok = 1;
        if (strncmp(arg, "--", 2) == 0 && value == NULL) {
            ok = 0;
        } else if (strcmp(arg, "--rounds") == 0) {
            ok = whole_number(value, 1, BENCH_MAX_ROUNDS, &plan->rounds);
            ++i;
        } else if (strcmp(arg, "--phase-seconds") == 0) {
            ok = whole_number(value, 1, 3600, &plan->phase_seconds);
            ++i;
        } else if (strcmp(arg, "--load-seconds") == 0) {
            char *end = NULL;
            plan->load_seconds = strtod(value, &end);
            ok = *end == '\0' && plan->load_seconds > 0 && plan->load_seconds <= 3600;
            ++i;
        } else if (strcmp(arg, "--load-rates") == 0) {
            ok = add_rate_list(value, plan);
            ++i;
        } else if (strcmp(arg, "--spinner") == 0) {
            to_windows_path(value, plan->spinner, sizeof plan->spinner);
            ++i;
        } else if (strcmp(arg, "--variant") == 0) {
            const char *equals = strchr(value, '=');
            ok = equals != NULL && equals != value && equals[1] != '\0' &&
                 plan->n_variants < BENCH_MAX_VARIANTS;
            if (ok) {
                // The name is cut off in place; argv outlives the plan.
                argv[i + 1][equals - value] = '\0';
                plan->variant_names[plan->n_variants] = argv[i + 1];
                plan->variant_exes[plan->n_variants++] = equals + 1;
            }
            ++i;
        } else {
            ok = add_rate(arg, plan->rates, plan->seconds, &plan->n_rates);
        }
        if (!ok) {
            fprintf(stderr, "pacing_driver: bad argument \"%s%s%s\"\n", arg, value ? " " : "",
                    value ? value : "");
            return 0;
        }
    }
    if (plan->n_rates == 0)
        for (double rate : DEFAULT_RATES) {
            plan->rates[plan->n_rates] = rate;
            plan->seconds[plan->n_rates++] = run_seconds_for(rate);
        }
    return 1;
}

// ---- the sessions ---------------------------------------------------------------------

// Where the figures go, and what every session shares.
struct Outputs {
    const char *folder;
    FILE *results, *cpu, *platform;
    HANDLE stop_event;  // the sleep loop's
    char baseline_exe[MAX_PATH];
};

RunFigures new_figures(const char *program, const char *variant, const char *load, int32_t round,
                       double rate)
{
    RunFigures f;
    memset(&f, 0, sizeof f);
    f.program = program;
    f.variant = variant;
    f.load = load;
    f.round = round;
    f.rate = rate;
    f.period_us = period_from_rate(rate);
    f.hold_us = hold_from_period(f.period_us);
    return f;
}

void keep_figures(const Outputs *o, const RunFigures *f)
{
    print_figures(f);
    write_figures(o->results, f);
    write_deviations(o->folder, f);
}

// One run of the program in the session, and one of the sleep loop beside it
// unless variant is not the default build.
void run_pair(Session *s, const Outputs *o, int32_t pid, const Spinner *spinner,
              const char *variant, int32_t round, double rate, double seconds)
{
    const char *load = spinner->pid > 0 ? LOAD_SPIN : LOAD_NONE;
    RunFigures ours = new_figures("rivanta", variant, load, round, rate);
    if (run_rivanta(s, pid, spinner->pid, seconds, &ours)) keep_figures(o, &ours);
    if (strcmp(variant, DEFAULT_VARIANT) != 0 || s->failures != 0) return;
    RunFigures base = new_figures("baseline", "-", load, round, rate);
    if (run_baseline(s, o->baseline_exe, o->stop_event, spinner->pid, seconds, &base))
        keep_figures(o, &base);
}

// A fresh copy of one build of the program for one round: with the default
// build every rate, then (with a spinner) the load case; with another build
// the load case's rates with and without the load. The first round of the
// default build also measures the CPU time while idle and paused and the
// cost of a new thread's first input. Returns the failed checks.
int32_t run_session(const Plan *plan, const Outputs *o, const char *variant, const char *exe,
                    int32_t round)
{
    static Recorder recorder;
    Session s;
    const int32_t is_default = strcmp(variant, DEFAULT_VARIANT) == 0;
    const int32_t first = is_default && round == 1;
    Spinner none;
    memset(&none, 0, sizeof none);
    if (session_begin(&s, "pacing", &recorder, exe, NULL) && open_recorder_beside(&s) &&
        bring_to_front(&s, recorder.window, "the recorder")) {
        int32_t pid = unix_pid_of(s.exe);
        expect(&s, pid > 0, "no Linux process runs %s", s.exe);
        if (first) {
            const double idle = cpu_over_phase(pid, plan->phase_seconds);
            note("rivanta.exe idle: CPU %.2f%% of a core", idle);
            fprintf(o->cpu, "phase\tseconds\tcpu_percent\nidle\t%d\t%.2f\n", plan->phase_seconds, idle);
            FirstSend first_send = time_first_send();
            note("a new thread's first SendInput took %.3f ms, its second %.3f ms",
                 first_send.first_ms, first_send.second_ms);
            fprintf(o->platform, "first_send_input_ms\tsecond_send_input_ms\n%.3f\t%.3f\n",
                    first_send.first_ms, first_send.second_ms);
            recorder_release(s.rec, recorder_count(s.rec));
        }
        if (is_default)
            for (int32_t r = 0; r < plan->n_rates && s.failures == 0; ++r)
                run_pair(&s, o, pid, &none, variant, round, plan->rates[r], plan->seconds[r]);
        else
            for (int32_t r = 0; r < plan->n_load_rates && s.failures == 0; ++r)
                run_pair(&s, o, pid, &none, variant, round, plan->load_rates[r], plan->load_seconds);
        Spinner spinner;
        if (plan->spinner[0] && s.failures == 0 && start_spinner(&s, plan->spinner, &spinner)) {
            for (int32_t r = 0; r < plan->n_load_rates && s.failures == 0; ++r)
                run_pair(&s, o, pid, &spinner, variant, round, plan->load_rates[r],
                         plan->load_seconds);
            stop_spinner(&s, &spinner);
        }
        if (first && s.failures == 0) {
            const double paused = cpu_while_paused(&s, pid, plan->phase_seconds);
            note("rivanta.exe paused: CPU %.2f%% of a core", paused);
            fprintf(o->cpu, "paused\t%d\t%.2f\n", plan->phase_seconds, paused);
        }
    }
    session_end(&s);
    return s.failures;
}

}  // namespace

int main(int argc, char **argv)
{
    Plan plan;
    if (argc < 4 || !read_plan(argc, argv, &plan)) {
        fprintf(stderr, "usage: pacing_driver <rivanta.exe> <sleep_loop_baseline.exe> "
                        "<output folder> [--rounds <n>] [--phase-seconds <s>] "
                        "[--spinner <cpu_spinner.exe>] [--load-rates <rate>,...] "
                        "[--load-seconds <s>] [--variant <name>=<exe>]... "
                        "[<rate>[:<seconds>] ...]\n");
        return 2;
    }
    Outputs o;
    memset(&o, 0, sizeof o);
    char folder[MAX_PATH];
    to_windows_path(argv[2], o.baseline_exe, sizeof o.baseline_exe);
    to_windows_path(argv[3], folder, sizeof folder);
    o.folder = folder;
    o.results = open_output(folder, "pacing_results.tsv");
    o.cpu = open_output(folder, "pacing_cpu.tsv");
    o.platform = open_output(folder, "pacing_platform.tsv");
    o.stop_event = CreateEventA(NULL, TRUE, FALSE, STOP_EVENT_NAME);
    if (!o.results || !o.cpu || !o.platform || !o.stop_event) return 1;
    write_header(o.results);

    // Round by round, every build in each, so that a change of the machine's
    // load in the course of the benchmark falls on all of them alike.
    int32_t failures = 0;
    for (int32_t round = 1; round <= plan.rounds && failures == 0; ++round) {
        note("---- round %d of %d", round, plan.rounds);
        failures += run_session(&plan, &o, DEFAULT_VARIANT, argv[1], round);
        for (int32_t v = 0; v < plan.n_variants && failures == 0; ++v)
            failures += run_session(&plan, &o, plan.variant_names[v], plan.variant_exes[v], round);
    }
    fclose(o.results);
    fclose(o.cpu);
    fclose(o.platform);
    CloseHandle(o.stop_event);
    if (failures) printf("%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
