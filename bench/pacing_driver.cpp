// The pacing benchmark's driver. It runs the real rivanta.exe, and beside it
// the plain sleep loop (sleep_loop_baseline.exe), at each rate into the
// recorder window, and measures from the recorder's performance-counter
// stamps: the achieved rate, each press's deviation from the evenly spaced
// schedule fitted to the run, each hold against the schedule's hold, lost or
// doubled presses, the stop latency, and the CPU time of the process as Linux
// counts it (/proc/<pid>/stat of the Wine process, read through drive Z:).
// The program is used only as a user would: rate typed into its box, F6 and
// F8 pressed with SendInput while the recorder is in front.
//
//   pacing_driver <rivanta.exe> <sleep_loop_baseline.exe> <output folder>
//                 [<rate>[:<seconds>] ...]
//
// Without rates it runs 1, 20, 100, 333 and 1000 per second, each long
// enough for 200 presses, at least 5 s and at most 15 s. It writes to the
// output folder:
//   pacing_results.tsv       one line of figures per program and rate
//   pacing_cpu.tsv           rivanta.exe's CPU time while idle and paused
//   pacing_platform.tsv      how long a new thread's first and second SendInput take
//   deviations_<program>_<rate>.txt   each press's deviation in us, one a line
//                            (after the start of the run, which is a figure apart)
// Exit code 0 when every run could be driven and measured, 1 otherwise.
#include <windows.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "e2e_session.h"
#include "pacing_stats.h"
#include "rate/rate_plan.h"

namespace {

const uint32_t BENCH_MIN_PRESSES = 200;
const int32_t BENCH_MIN_SECONDS = 5;
const int32_t BENCH_MAX_SECONDS = 15;
const int32_t BENCH_PHASE_SECONDS = 10;  // length of the idle and the paused measurement
const int32_t BENCH_MAX_RATES = 16;
// Linux reports CPU time in clock ticks of USER_HZ, which is 100 on x86
// whatever the kernel's own tick rate.
const int32_t BENCH_USER_HZ = 100;

const double DEFAULT_RATES[] = {1, 20, 100, 333, 1000};
const char STOP_EVENT_NAME[] = "Local\\RivantaPacingBenchStop";
const char STOPPED_BY_F8[] = "Stopped by F8.";

// The figures of one run of one program at one rate.
struct RunFigures {
    const char *program;        // "rivanta" or "baseline"
    double rate;                // as typed
    int32_t period_us, hold_us; // the Schedule for that rate
    double seconds;             // first press to last press
    uint32_t start_presses;     // the first press and those sent back to back after it
    double first_press_us;      // the first press against the schedule fitted after the start
    PairCount pairs;
    long sent;                  // pairs the program says it sent
    int32_t lost, doubled;
    double achieved_rate;       // per second, from the period of the fitted schedule
    double rate_ratio;          // achieved over scheduled (1e6 / period_us)
    Spread press;               // deviation from the fitted schedule, us, after the start
    Spread press_at_period;     // the same against the scheduled period (offset fitted)
    Spread hold;                // hold minus hold_us, us, after the start, before the stop
    double stop_release_ms;     // stop sent to the last release seen
    double stop_text_ms;        // F8 sent to "Stopped by F8." shown; NAN for the baseline
    uint32_t presses_after_stop;
    uint32_t long_gaps;         // presses more than 4.5 periods after the one before
    uint32_t slow_deliveries;   // presses stamped more than 2 ms after their message time
    double max_delivery_ms;     // the longest stamp minus message time (within 1 ms)
    double cpu_percent;         // of one core, first press to stop
};

// Working storage for one run's analysis, large enough for a full recorder.
Edge edges[RECORDER_CAPACITY];
double press_us[RECORDER_CAPACITY], hold_us_of[RECORDER_CAPACITY];
double deviation_us[RECORDER_CAPACITY], scratch[RECORDER_CAPACITY];
double deviation_at_period_us[RECORDER_CAPACITY];

int64_t counter_frequency(void)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

double ticks_to_us(int64_t ticks)
{
    return (double)ticks * 1e6 / (double)counter_frequency();
}

// ---- the Linux side: processes and their CPU time ---------------------------------

// Reads a small file (a /proc entry reports no size, so it is read to its
// end) into buffer, terminated; returns the bytes read or -1.
int32_t read_small_file(const char *path, char *buffer, int32_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD total = 0, got = 0;
    while (total < (DWORD)size - 1 &&
           ReadFile(file, buffer + total, (DWORD)size - 1 - total, &got, NULL) && got > 0)
        total += got;
    CloseHandle(file);
    buffer[total] = '\0';
    return (int32_t)total;
}

// The Linux process id of the Wine process running the given Windows path,
// found by the first argument of /proc/<pid>/cmdline, which Wine sets to the
// program's Windows path. 0 when there is none; when several match (none
// should: one copy per prefix), the highest id, the newest.
int32_t unix_pid_of(const char *windows_path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int32_t pid = 0;
    do {
        char *end = NULL;
        long n = strtol(found.cFileName, &end, 10);
        if (end == found.cFileName || *end != '\0') continue;
        char path[64], cmdline[MAX_PATH + 64];
        snprintf(path, sizeof path, "Z:\\proc\\%ld\\cmdline", n);
        if (read_small_file(path, cmdline, sizeof cmdline) <= 0) continue;
        if (_stricmp(cmdline, windows_path) == 0 && n > pid) pid = (int32_t)n;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return pid;
}

// User plus system CPU time of a Linux process, in seconds; -1 when it
// cannot be read.
double cpu_seconds(int32_t pid)
{
    char path[64], stat[1024];
    snprintf(path, sizeof path, "Z:\\proc\\%d\\stat", pid);
    if (pid <= 0 || read_small_file(path, stat, sizeof stat) <= 0) return -1.0;
    // Fields after the command name (which may hold spaces, so the last ')'
    // ends it): 3 state ... 14 utime, 15 stime.
    const char *p = strrchr(stat, ')');
    if (!p) return -1.0;
    ++p;
    for (int field = 3; field < 14; ++field) {
        while (*p == ' ') ++p;
        while (*p && *p != ' ') ++p;
    }
    char *end = NULL;
    unsigned long long utime = strtoull(p, &end, 10);
    unsigned long long stime = strtoull(end, NULL, 10);
    return (double)(utime + stime) / BENCH_USER_HZ;
}

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
    return (b.cpu_s - a.cpu_s) * 100.0 / (ticks_to_us(b.at - a.at) / 1e6);
}

// ---- one run --------------------------------------------------------------------

// How long a run at the rate lasts: 200 presses, within 5 to 15 s.
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
void analyse_run(Session *s, uint32_t from, int64_t stop_sent, int32_t stop_may_cut,
                 RunFigures *f)
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
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (e.wparam != VK_SPACE || (e.message != WM_KEYDOWN && e.message != WM_KEYUP)) continue;
        if (n == 0) origin = e.qpc;
        edges[n].us = ticks_to_us(e.qpc - origin);
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
    f->pairs = pair_edges(edges, n, press_us, hold_us_of);
    uint32_t presses = f->pairs.presses;
    f->seconds = presses > 1 ? (press_us[presses - 1] - press_us[0]) / 1e6 : 0.0;
    // The start of a run: the first press goes out as the sender starts, and
    // its lateness is the cost of starting (under Wine the first SendInput
    // of a new thread takes about 10 ms), not the cadence. When that is more
    // than a period, the presses right after it come back to back (less than
    // half a period apart) until the backlog is worked off. The schedule is
    // fitted to the presses after that start; the first press is measured
    // against it apart, and the start's holds are left out.
    uint32_t start = presses > 0 ? 1 : 0;
    while (start < presses && press_us[start] - press_us[start - 1] < 0.5 * f->period_us) ++start;
    f->start_presses = start;
    uint32_t rest = presses - start;
    const double *steady = press_us + start;
    EvenFit fit = fit_even_schedule(steady, rest);
    f->achieved_rate = fit.period_us > 0 ? 1e6 / fit.period_us : 0.0;
    f->rate_ratio = f->achieved_rate * f->period_us / 1e6;
    f->first_press_us = presses > 0 ? press_us[0] - (fit.offset_us - start * fit.period_us) : 0.0;
    deviations_from_fit(steady, rest, fit, deviation_us);
    f->press = spread_of(deviation_us, rest, scratch);
    // The fit above follows a sender that runs slow or fast; held to the
    // scheduled period, the drift that makes shows.
    EvenFit at_period = fit_offset_at_period(steady, rest, f->period_us);
    deviations_from_fit(steady, rest, at_period, deviation_at_period_us);
    f->press_at_period = spread_of(deviation_at_period_us, rest, scratch);
    // A wake-up more than four periods late makes rivanta.exe drop the
    // backlog and restart its schedule; such gaps are counted for both.
    f->long_gaps = 0;
    for (uint32_t i = start + 1; i < presses; ++i)
        if (press_us[i] - press_us[i - 1] > 4.5 * f->period_us) ++f->long_gaps;
    // Holds after the start, up to the last one released before the stop:
    // the stop is sent inside the last hold, which it cuts short.
    uint32_t held = f->pairs.pairs > start ? f->pairs.pairs - start : 0;
    if (held > 0 && last_release > stop_sent) --held;
    for (uint32_t i = start; i < start + held; ++i) hold_us_of[i] -= f->hold_us;
    f->hold = spread_of(hold_us_of + start, held, scratch);
    f->stop_release_ms = last_release ? ticks_to_us(last_release - stop_sent) / 1000.0 : NAN;

    long seen = (long)presses;
    f->lost = f->sent > seen ? (int32_t)(f->sent - seen) : 0;
    long extra = seen - f->sent - stop_may_cut;
    f->doubled = extra > 0 ? (int32_t)extra : 0;
}

// Types the rate into the per-second box and checks the plan line took it.
int32_t set_rate(Session *s, const char *rate_text)
{
    set_text(control(s, IDC_CPS_EDIT), rate_text);
    char want[128], plan[E2E_TEXT_SIZE];
    snprintf(want, sizeof want, "Requested: %s CPS. Scheduled: ", rate_text);
    return expect(s, wait_text_prefix(control(s, IDC_PLAN), want, plan, sizeof plan,
                                      E2E_REACTION_MS),
                  "plan line for %s: \"%s\"", rate_text, plan);
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
// the run, F8 right after a press.
int32_t run_rivanta(Session *s, int32_t pid, double rate, double seconds, RunFigures *f)
{
    char rate_text[32];
    snprintf(rate_text, sizeof rate_text, "%g", rate);
    if (!set_rate(s, rate_text)) return 0;
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6(s, from)) return 0;
    CpuMark start = cpu_mark(pid);
    Sleep((DWORD)(seconds * 1000.0));
    if (!wait_next_press(s, (DWORD)(f->period_us / 1000) + E2E_REACTION_MS)) return 0;
    CpuMark stop = cpu_mark(pid);
    int64_t stop_sent = recorder_now();
    press_key(VK_F8);
    char text[E2E_TEXT_SIZE];
    int64_t shown = wait_stop_text(s, text, sizeof text);
    if (!expect(s, shown != 0 && parse_stop_line(text, STOPPED_BY_F8, "presses", &f->sent),
                "no F8 stop text: \"%s\"", text))
        return 0;
    f->stop_text_ms = ticks_to_us(shown - stop_sent) / 1000.0;
    f->cpu_percent = cpu_percent_between(start, stop);
    analyse_run(s, from, stop_sent, 1, f);
    return 1;
}

// The sleep loop at one rate, started as a process of its own with the
// recorder in front, stopped by the named event right after a press.
int32_t run_baseline(Session *s, const char *baseline_exe, HANDLE stop_event,
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
    CpuMark start = cpu_mark(pid);
    if (ok) Sleep((DWORD)(seconds * 1000.0));
    ok = ok && wait_next_press(s, (DWORD)(f->period_us / 1000) + E2E_REACTION_MS);
    CpuMark stop = cpu_mark(pid);
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
    analyse_run(s, from, stop_sent, 0, f);
    return 1;
}

// ---- the CPU time of the program while idle and paused ----------------------------

// Percent of one core rivanta.exe uses over BENCH_PHASE_SECONDS, with no
// reading of its window meanwhile.
double cpu_over_phase(int32_t pid)
{
    CpuMark a = cpu_mark(pid);
    Sleep(BENCH_PHASE_SECONDS * 1000);
    return cpu_percent_between(a, cpu_mark(pid));
}

// A run at 1000 per second, paused by the program's own window in front.
double cpu_while_paused(Session *s, int32_t pid)
{
    if (!set_rate(s, "1000")) return -1.0;
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6(s, from)) return -1.0;
    long sent = 0;
    if (!bring_to_front(s, s->main, "the program's window") ||
        !wait_running_line(s, "Keyboard: Space at 1000 per second", PAUSED_ACTIVE, &sent))
        return -1.0;
    double percent = cpu_over_phase(pid);
    press_key(VK_F8);
    char text[E2E_TEXT_SIZE];
    expect(s, wait_stop_text(s, text, sizeof text) != 0, "no F8 stop text after the pause: \"%s\"",
           text);
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
    result->first_ms = ticks_to_us(t1 - t0) / 1000.0;
    result->second_ms = ticks_to_us(t2 - t1) / 1000.0;
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
    fprintf(out, "program\trate\tperiod_us\thold_us\tseconds\tstart_presses\tfirst_press_us\t"
                 "presses\treleases\tsent\tunreleased\tstray_releases\tlost\tdoubled\t"
                 "achieved_rate\trate_ratio\t"
                 "press_mean_us\tpress_p50_us\tpress_p99_us\tpress_max_us\t"
                 "period_mean_us\tperiod_p99_us\tperiod_max_us\t"
                 "hold_mean_us\thold_p50_us\thold_p99_us\thold_max_us\t"
                 "stop_release_ms\tstop_text_ms\tpresses_after_stop\tlong_gaps\t"
                 "slow_deliveries\tmax_delivery_ms\tcpu_percent\n");
}

// One line of figures, in the columns of write_header.
void write_figures(FILE *out, const RunFigures *f)
{
    fprintf(out, "%s\t%g\t%d\t%d\t%.3f\t%u\t%.1f\t", f->program, f->rate, f->period_us,
            f->hold_us, f->seconds, f->start_presses, f->first_press_us);
    fprintf(out, "%u\t%u\t%ld\t%u\t%u\t%d\t%d\t", f->pairs.presses, f->pairs.releases,
            f->sent, f->pairs.unreleased, f->pairs.stray_releases, f->lost, f->doubled);
    fprintf(out, "%.4f\t%.6f\t", f->achieved_rate, f->rate_ratio);
    fprintf(out, "%.1f\t%.1f\t%.1f\t%.1f\t", f->press.mean_abs, f->press.p50, f->press.p99,
            f->press.max);
    fprintf(out, "%.1f\t%.1f\t%.1f\t", f->press_at_period.mean_abs, f->press_at_period.p99,
            f->press_at_period.max);
    fprintf(out, "%.1f\t%.1f\t%.1f\t%.1f\t", f->hold.mean_abs, f->hold.p50, f->hold.p99,
            f->hold.max);
    fprintf(out, "%.2f\t%.2f\t%u\t%u\t%u\t%.2f\t%.2f\n", f->stop_release_ms, f->stop_text_ms,
            f->presses_after_stop, f->long_gaps, f->slow_deliveries, f->max_delivery_ms,
            f->cpu_percent);
    fflush(out);
}

// The signed deviations of the run just analysed, one a line.
void write_deviations(const char *folder, const RunFigures *f)
{
    char name[96];
    snprintf(name, sizeof name, "deviations_%s_%g.txt", f->program, f->rate);
    FILE *out = open_output(folder, name);
    if (!out) return;
    for (uint32_t i = 0; i < f->press.n; ++i) fprintf(out, "%.1f\n", deviation_us[i]);
    fclose(out);
}

void print_figures(const RunFigures *f)
{
    note("%-8s %6g/s: %u presses in %.2f s, rate x%.6f; press dev mean %.1f p50 %.1f p99 %.1f "
         "max %.1f us; hold dev p99 %.1f us; sent %ld, lost %d, doubled %d, unreleased %u; "
         "stop->release %.2f ms, stop->text %.2f ms; CPU %.1f%%",
         f->program, f->rate, f->pairs.presses, f->seconds, f->rate_ratio, f->press.mean_abs,
         f->press.p50, f->press.p99, f->press.max, f->hold.p99, f->sent, f->lost, f->doubled,
         f->pairs.unreleased, f->stop_release_ms, f->stop_text_ms, f->cpu_percent);
}

// ---- main ---------------------------------------------------------------------------

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: pacing_driver <rivanta.exe> <sleep_loop_baseline.exe> "
                        "<output folder> [<rate>[:<seconds>] ...]\n");
        return 2;
    }
    double rates[BENCH_MAX_RATES], seconds[BENCH_MAX_RATES];
    int32_t n_rates = 0;
    for (int i = 4; i < argc && n_rates < BENCH_MAX_RATES; ++i) {
        char *end = NULL;
        rates[n_rates] = strtod(argv[i], &end);
        seconds[n_rates] = *end == ':' ? strtod(end + 1, NULL) : run_seconds_for(rates[n_rates]);
        if (!(rates[n_rates] >= MIN_SCHEDULED_RATE && rates[n_rates] <= MAX_SCHEDULED_RATE) ||
            !(seconds[n_rates] > 0)) {
            fprintf(stderr, "pacing_driver: bad rate \"%s\"\n", argv[i]);
            return 2;
        }
        ++n_rates;
    }
    if (n_rates == 0)
        for (double rate : DEFAULT_RATES) {
            rates[n_rates] = rate;
            seconds[n_rates++] = run_seconds_for(rate);
        }

    char baseline_exe[MAX_PATH], folder[MAX_PATH];
    to_windows_path(argv[2], baseline_exe, sizeof baseline_exe);
    to_windows_path(argv[3], folder, sizeof folder);
    FILE *results = open_output(folder, "pacing_results.tsv");
    FILE *cpu = open_output(folder, "pacing_cpu.tsv");
    FILE *platform = open_output(folder, "pacing_platform.tsv");
    HANDLE stop_event = CreateEventA(NULL, TRUE, FALSE, STOP_EVENT_NAME);
    if (!results || !cpu || !platform || !stop_event) return 1;
    write_header(results);

    static Recorder recorder;
    Session s;
    if (session_begin(&s, "pacing", &recorder, argv[1], NULL) && open_recorder_beside(&s) &&
        bring_to_front(&s, recorder.window, "the recorder")) {
        int32_t pid = unix_pid_of(s.exe);
        expect(&s, pid > 0, "no Linux process runs %s", s.exe);
        double idle = cpu_over_phase(pid);
        note("rivanta.exe idle: CPU %.2f%% of a core", idle);
        fprintf(cpu, "phase\tseconds\tcpu_percent\nidle\t%d\t%.2f\n", BENCH_PHASE_SECONDS, idle);
        FirstSend first = time_first_send();
        note("a new thread's first SendInput took %.3f ms, its second %.3f ms", first.first_ms,
             first.second_ms);
        fprintf(platform, "first_send_input_ms\tsecond_send_input_ms\n%.3f\t%.3f\n",
                first.first_ms, first.second_ms);

        for (int32_t r = 0; r < n_rates && s.failures == 0; ++r) {
            RunFigures ours;
            memset(&ours, 0, sizeof ours);
            ours.program = "rivanta";
            ours.rate = rates[r];
            ours.period_us = period_from_rate(rates[r]);
            ours.hold_us = hold_from_period(ours.period_us);
            RunFigures base = ours;
            base.program = "baseline";
            if (run_rivanta(&s, pid, rates[r], seconds[r], &ours)) {
                print_figures(&ours);
                write_figures(results, &ours);
                write_deviations(folder, &ours);
            }
            if (run_baseline(&s, baseline_exe, stop_event, seconds[r], &base)) {
                print_figures(&base);
                write_figures(results, &base);
                write_deviations(folder, &base);
            }
        }
        if (s.failures == 0) {
            double paused = cpu_while_paused(&s, pid);
            note("rivanta.exe paused: CPU %.2f%% of a core", paused);
            fprintf(cpu, "paused\t%d\t%.2f\n", BENCH_PHASE_SECONDS, paused);
        }
    }
    session_end(&s);
    fclose(results);
    fclose(cpu);
    fclose(platform);
    CloseHandle(stop_event);
    if (s.failures) printf("%d check(s) failed\n", s.failures);
    return s.failures == 0 ? 0 : 1;
}
