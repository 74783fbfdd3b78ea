// The soak's driver. It runs the real rivanta.exe for a long run at 1000 per
// second into the recorder window, draining the recorder as it goes, and
// then starts and stops it by F6 many times, used only as a user would (rate
// typed into its box, F6 and F8 pressed with SendInput while the recorder is
// in front). It measures:
//   - the presses of each minute of the long run, the achieved rate in each
//     and over the whole run, the restarts of the schedule (pacing_stats'
//     segments) and the longest stall, and each press's deviation from its
//     segment's schedule;
//   - that every press was released, in the long run and in every short one;
//   - the program's resident memory and thread count (its Linux process,
//     through drive Z:), its handle count (GetProcessHandleCount), its
//     Windows threads and its window-system objects (GetGuiResources, with
//     the error Wine gives where it provides none): at the start, every
//     minute, after the warm-up, at the end of the long run, after the first
//     short run and after the last.
//
//   soak_driver <rivanta.exe> <output folder> [--minutes <m>] [--warmup <m>]
//               [--cycles <n>]
//
// Defaults: 30 minutes, a warm-up of 1 minute, 2000 short runs. Writes to the
// output folder:
//   soak_minutes.tsv     one line per whole minute of the long run
//   soak_resources.tsv   one line per sample point
//   soak_summary.tsv     name and value of each figure of the whole soak
//   soak_deviations.tsv  a histogram of the presses' deviations, 10 us bins
// Exit code 0 when everything could be driven and measured (whatever the
// figures), 1 otherwise.
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

const int32_t SOAK_DEFAULT_MINUTES = 30;
const int32_t SOAK_DEFAULT_WARMUP_MINUTES = 1;
const int32_t SOAK_DEFAULT_CYCLES = 2000;
const int32_t SOAK_MAX_MINUTES = 24 * 60;
const int32_t SOAK_MAX_CYCLES = 1000000;
const char SOAK_RATE_TEXT[] = "1000";
const double SOAK_RATE = 1000.0;
const DWORD SOAK_DRAIN_MS = 50;            // between two looks at the recorder in the long run
const uint32_t SOAK_CYCLE_MAX_HOLD_MS = 20;  // a short run lasts 0 to this after its first press
const int32_t SOAK_MAX_POINTS = 16;
// Longest wait for the program or the recorder to react. Generous: under a
// heavy load the recorder's queue can fall seconds behind, and a soak is
// not the place to fail on the machine's load rather than the program.
const DWORD SOAK_WAIT_MS = 30000;
const int32_t HANDLE_PROBE_COUNT = 16;
const double SOAK_MINUTE_US = 60e6;
const double DEVIATION_BIN_US = 10.0;
const int32_t DEVIATION_BINS = 1000;       // up to 10 ms; beyond counts in the last bin
const char STOPPED_BY_F6[] = "Stopped by F6.";
const char STOPPED_BY_F8[] = "Stopped by F8.";

// ---- the program's resources ---------------------------------------------------------

// What the program holds at one moment.
struct Resources {
    char point[48];
    double seconds;        // since the program started
    int64_t rss_kb;        // resident set of its Linux process
    int64_t linux_threads; // threads of its Linux process (Wine's own among them)
    int32_t handles;       // GetProcessHandleCount
    int32_t threads;       // its Windows threads
    int32_t gdi, user;     // GetGuiResources
    uint32_t gui_error;    // GetLastError after GetGuiResources gave 0, else 0
    double cpu_s;          // CPU time of its Linux process so far
    double load;           // the machine's load average over the last minute
};

int32_t windows_thread_count(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry;
    memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    int32_t n = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == pid) ++n;
    CloseHandle(snapshot);
    return n;
}

Resources sample_resources(const Session *s, int32_t pid, const char *point, int64_t started)
{
    Resources r;
    memset(&r, 0, sizeof r);
    snprintf(r.point, sizeof r.point, "%s", point);
    r.seconds = recorder_us(recorder_now() - started) / 1e6;
    r.rss_kb = status_value(pid, "VmRSS");
    r.linux_threads = status_value(pid, "Threads");
    r.cpu_s = cpu_seconds(pid);
    r.load = load_average();
    r.threads = windows_thread_count(s->process.dwProcessId);
    r.handles = r.gdi = r.user = -1;
    // A handle with no more rights than the two questions need.
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, s->process.dwProcessId);
    if (process != NULL) {
        DWORD count = 0;
        if (GetProcessHandleCount(process, &count)) r.handles = (int32_t)count;
        SetLastError(0);
        r.gdi = (int32_t)GetGuiResources(process, GR_GDIOBJECTS);
        if (r.gdi == 0) r.gui_error = GetLastError();
        SetLastError(0);
        r.user = (int32_t)GetGuiResources(process, GR_USEROBJECTS);
        if (r.user == 0 && r.gui_error == 0) r.gui_error = GetLastError();
        CloseHandle(process);
    }
    return r;
}

// ---- the recording, drained as it comes ----------------------------------------------

// What the drain keeps: the stamp of every press of the long run (room for
// capacity), and the pairing of presses and releases as they come.
struct Drain {
    int64_t *presses;
    uint32_t capacity;
    uint32_t n_presses;    // stored
    uint32_t overflow;     // presses beyond capacity, not stored
    uint32_t releases;
    uint32_t pairs;
    uint32_t unreleased;   // a press followed by another press
    uint32_t stray;        // a release with no press open
    int32_t open;          // a press waits for its release
    uint32_t next;         // the next recorder index to read
    uint32_t last_dropped; // the recorder's drop count already reported
};

// Takes every Space edge recorded since the last call, pairs it, keeps the
// press stamps when keep is set, and hands the recorder's room back.
void drain(Recorder *rec, Drain *d, int32_t keep)
{
    const uint32_t end = recorder_count(rec);
    for (uint32_t i = d->next; i < end; ++i) {
        const RecordedEvent e = recorder_event(rec, i);
        if (e.wparam != VK_SPACE) continue;
        if (e.message == WM_KEYDOWN) {
            if (d->open) ++d->unreleased;
            d->open = 1;
            if (keep) {
                if (d->n_presses < d->capacity) d->presses[d->n_presses++] = e.qpc;
                else ++d->overflow;
            }
        } else if (e.message == WM_KEYUP) {
            ++d->releases;
            if (d->open) ++d->pairs;
            else ++d->stray;
            d->open = 0;
        }
    }
    d->next = end;
    recorder_release(rec, end);
}

// ---- the long run --------------------------------------------------------------------

struct MinuteFigures {
    uint32_t presses;
    uint32_t restarts;      // segments that begin in this minute
    double longest_gap_ms;  // gaps that end in this minute
    double cpu_percent;
    Resources resources;    // at the minute's end
};

// Polls the status line until it starts with the stop message; returns 1 and
// the count of the stop line "<message>  (<n> presses sent)" in sent.
int32_t wait_stop_line(Session *s, const char *message, long *sent)
{
    char text[E2E_TEXT_SIZE];
    DWORD start = GetTickCount();
    for (;;) {
        read_text(control(s, IDC_STATUS), text, sizeof text);
        if (parse_stop_line(text, message, "presses", sent)) return 1;
        if (deadline_passed(start, SOAK_WAIT_MS))
            return expect(s, 0, "no stop line \"%s  (<n> presses sent)\": \"%s\"", message, text);
        Sleep(1);
    }
}

// Returns once everything sent to the recorder before now has been stamped:
// a marker key is pressed and awaited (the recorder must be in front).
int32_t sync_recorder_soon(Session *s)
{
    const uint32_t from = recorder_count(s->rec);
    press_key(E2E_MARKER_VK);
    return expect(s, wait_events(s, from, WM_KEYUP, E2E_MARKER_VK, 1, SOAK_WAIT_MS),
                  "the recorder did not receive the marker key within %lu ms",
                  (unsigned long)SOAK_WAIT_MS);
}

// Whether GetProcessHandleCount counts at all here: the driver's own count
// before and after it opens a few handles, into before and after.
void probe_handle_count(int32_t *before, int32_t *after)
{
    HANDLE events[HANDLE_PROBE_COUNT];
    DWORD count = 0;
    *before = GetProcessHandleCount(GetCurrentProcess(), &count) ? (int32_t)count : -1;
    for (int32_t i = 0; i < HANDLE_PROBE_COUNT; ++i) events[i] = CreateEventA(NULL, TRUE, FALSE, NULL);
    count = 0;
    *after = GetProcessHandleCount(GetCurrentProcess(), &count) ? (int32_t)count : -1;
    for (int32_t i = 0; i < HANDLE_PROBE_COUNT; ++i)
        if (events[i]) CloseHandle(events[i]);
}

FILE *open_output(const char *folder, const char *name)
{
    char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", folder, name);
    FILE *file = fopen(path, "w");
    if (!file) fprintf(stderr, "cannot write %s\n", path);
    return file;
}

void write_resources_header(FILE *out, const char *first)
{
    fprintf(out, "%s\tseconds\trss_kb\tlinux_threads\thandles\tthreads\tgdi_objects\t"
                 "user_objects\tgui_error\tcpu_s\tload\n", first);
}

void write_resources(FILE *out, const char *first, const Resources *r)
{
    fprintf(out, "%s\t%.1f\t%lld\t%lld\t%d\t%d\t%d\t%d\t%lu\t%.2f\t%.2f\n", first, r->seconds,
            (long long)r->rss_kb, (long long)r->linux_threads, r->handles, r->threads, r->gdi,
            r->user, (unsigned long)r->gui_error, r->cpu_s, r->load);
    fflush(out);
}

// The arguments after the two paths. 0 on a bad one, named on stderr.
int32_t read_options(int argc, char **argv, int32_t *minutes, int32_t *warmup, int32_t *cycles)
{
    *minutes = SOAK_DEFAULT_MINUTES;
    *warmup = SOAK_DEFAULT_WARMUP_MINUTES;
    *cycles = SOAK_DEFAULT_CYCLES;
    for (int i = 3; i < argc; i += 2) {
        int32_t *target = strcmp(argv[i], "--minutes") == 0  ? minutes
                          : strcmp(argv[i], "--warmup") == 0 ? warmup
                          : strcmp(argv[i], "--cycles") == 0 ? cycles
                                                             : NULL;
        const int32_t high = target == cycles ? SOAK_MAX_CYCLES : SOAK_MAX_MINUTES;
        char *end = NULL;
        const long value = i + 1 < argc ? strtol(argv[i + 1], &end, 10) : -1;
        if (target == NULL || i + 1 >= argc || end == argv[i + 1] || *end != '\0' || value < 0 ||
            value > high) {
            fprintf(stderr, "soak_driver: bad argument \"%s\"\n", argv[i]);
            return 0;
        }
        *target = (int32_t)value;
    }
    if (*minutes < 1 || *warmup >= *minutes) {
        fprintf(stderr, "soak_driver: the run must last at least a minute, and longer than "
                        "its warm-up\n");
        return 0;
    }
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    int32_t minutes = 0, warmup = 0, cycles = 0;
    if (argc < 3 || !read_options(argc, argv, &minutes, &warmup, &cycles)) {
        fprintf(stderr, "usage: soak_driver <rivanta.exe> <output folder> [--minutes <m>] "
                        "[--warmup <m>] [--cycles <n>]\n");
        return 2;
    }
    char folder[MAX_PATH];
    to_windows_path(argv[2], folder, sizeof folder);
    FILE *minutes_out = open_output(folder, "soak_minutes.tsv");
    FILE *resources_out = open_output(folder, "soak_resources.tsv");
    FILE *summary = open_output(folder, "soak_summary.tsv");
    FILE *histogram = open_output(folder, "soak_deviations.tsv");
    if (!minutes_out || !resources_out || !summary || !histogram) return 1;
    write_resources_header(resources_out, "point");

    Drain d;
    memset(&d, 0, sizeof d);
    // Room for every press of the long run at 1000 per second, with 10% and
    // a few seconds to spare.
    d.capacity = (uint32_t)(minutes * 60.0 * SOAK_RATE * 1.1) + 10000;
    d.presses = (int64_t *)malloc(sizeof(int64_t) * d.capacity);
    double *press_us = (double *)malloc(sizeof(double) * d.capacity);
    double *work = (double *)malloc(sizeof(double) * d.capacity);
    double *deviation = (double *)malloc(sizeof(double) * d.capacity);
    uint32_t *segment_start = (uint32_t *)malloc(sizeof(uint32_t) * d.capacity);
    double *offsets = (double *)malloc(sizeof(double) * d.capacity);
    MinuteFigures *per_minute = (MinuteFigures *)calloc((size_t)minutes, sizeof(MinuteFigures));
    if (!d.presses || !press_us || !work || !deviation || !segment_start || !offsets || !per_minute) {
        fprintf(stderr, "soak_driver: out of memory for %u presses\n", d.capacity);
        return 1;
    }

    static Recorder recorder;
    Session s;
    const int64_t launched = recorder_now();
    long sent = 0;
    int64_t first_press = 0, last_press = 0;
    uint32_t minutes_done = 0, cycles_done = 0, cycles_unreleased = 0, cycle_lost = 0,
             cycle_doubled = 0, cycle_presses = 0;
    Resources points[SOAK_MAX_POINTS];
    int32_t n_points = 0;
    if (session_begin(&s, "soak", &recorder, argv[1], NULL) && open_recorder_beside(&s) &&
        bring_to_front(&s, recorder.window, "the recorder") && set_rate(&s, SOAK_RATE_TEXT)) {
        const int32_t pid = unix_pid_of(s.exe);
        expect(&s, pid > 0, "no Linux process runs %s", s.exe);
        points[n_points++] = sample_resources(&s, pid, "start", launched);

        // The long run: F6, then drained every 50 ms; at each minute's end
        // the resources are sampled.
        uint32_t from = recorder_count(s.rec);
        d.next = from;
        if (bring_to_front(&s, s.rec->window, "the recorder")) press_key(VK_F6);
        if (expect(&s, wait_events(&s, from, WM_KEYDOWN, VK_SPACE, 1, SOAK_WAIT_MS),
                   "F6 with the recorder in front started no run")) {
            first_press = recorder_event(s.rec, (uint32_t)first_event(&s, from, WM_KEYDOWN, VK_SPACE)).qpc;
            const int64_t minute_ticks = recorder_frequency() * 60;
            double cpu_before = cpu_seconds(pid);
            note("soak: %d minutes at %s per second", minutes, SOAK_RATE_TEXT);
            while (minutes_done < (uint32_t)minutes) {
                Sleep(SOAK_DRAIN_MS);
                drain(s.rec, &d, 1);
                if (recorder_now() < first_press + (int64_t)(minutes_done + 1) * minute_ticks)
                    continue;
                MinuteFigures *m = &per_minute[minutes_done];
                m->resources = sample_resources(&s, pid, "minute", launched);
                m->cpu_percent = (m->resources.cpu_s - cpu_before) * 100.0 / 60.0;
                cpu_before = m->resources.cpu_s;
                ++minutes_done;
                note("soak: minute %u: RSS %lld kB, %d handles, %d threads, CPU %.1f%%, load %.2f",
                     minutes_done, (long long)m->resources.rss_kb, m->resources.handles,
                     m->resources.threads, m->cpu_percent, m->resources.load);
                if (minutes_done == (uint32_t)warmup && warmup > 0) {
                    points[n_points] = m->resources;
                    snprintf(points[n_points++].point, sizeof points[0].point, "after the warm-up");
                }
            }
            // Stopped right after a press, so that the stop falls in its hold.
            const uint32_t before_stop = recorder_count(s.rec);
            DWORD start = GetTickCount();
            while (recorder_collect(s.rec, before_stop, WM_KEYDOWN, VK_SPACE, NULL, 0) == 0 &&
                   !deadline_passed(start, E2E_REACTION_MS))
                Sleep(0);
            press_key(VK_F8);
            wait_stop_line(&s, STOPPED_BY_F8, &sent);
            sync_recorder_soon(&s);
            drain(s.rec, &d, 1);
            last_press = d.n_presses > 0 ? d.presses[d.n_presses - 1] : 0;
            points[n_points++] = sample_resources(&s, pid, "end of the long run", launched);
        }

        // The short runs: F6, a hold of 0 to 20 ms after the first press, F6,
        // and the stop line; every press must be released by then.
        // A failed check of the long run does not keep the short runs from
        // being measured; a failed short run ends them.
        note("soak: %d start/stop cycles by F6", cycles);
        const int32_t failures_before = s.failures;
        for (int32_t c = 0; c < cycles && s.failures == failures_before; ++c) {
            Drain one;
            memset(&one, 0, sizeof one);
            one.next = recorder_count(s.rec);
            if (GetForegroundWindow() != s.rec->window &&
                !bring_to_front(&s, s.rec->window, "the recorder"))
                break;
            press_key(VK_F6);
            if (!expect(&s, wait_events(&s, one.next, WM_KEYDOWN, VK_SPACE, 1, SOAK_WAIT_MS),
                        "short run %d: F6 started no run", c + 1))
                break;
            Sleep((DWORD)((c * 7919u) % (SOAK_CYCLE_MAX_HOLD_MS + 1)));
            press_key(VK_F6);
            long counted = 0;
            if (!wait_stop_line(&s, STOPPED_BY_F6, &counted) || !sync_recorder_soon(&s)) break;
            drain(s.rec, &one, 0);
            ++cycles_done;
            const uint32_t seen = one.pairs + one.unreleased + (uint32_t)one.open;
            cycle_presses += seen;
            if (one.open || one.unreleased || one.stray) ++cycles_unreleased;
            // The program counts no pair whose hold the stop cut short.
            if ((long)seen < counted) cycle_lost += (uint32_t)(counted - (long)seen);
            if ((long)seen > counted + 1) cycle_doubled += (uint32_t)((long)seen - counted - 1);
            if (c == 0) points[n_points++] = sample_resources(&s, pid, "after the first short run", launched);
            if ((c + 1) % 250 == 0) note("soak: %d short runs", c + 1);
        }
        if (cycles > 0)
            points[n_points++] = sample_resources(&s, pid, "after the last short run", launched);
    }
    const uint32_t dropped = recorder.dropped.load();
    session_end(&s);

    // ---- the long run's figures ----
    // The first press and those sent back to back after it are the start
    // (pacing_driver.cpp explains why); the figures are taken after it.
    const double period_us = period_from_rate(SOAK_RATE);
    for (uint32_t i = 0; i < d.n_presses; ++i) press_us[i] = recorder_us(d.presses[i] - first_press);
    uint32_t start = d.n_presses > 0 ? 1 : 0;
    while (start < d.n_presses && press_us[start] - press_us[start - 1] < 0.5 * period_us) ++start;
    const uint32_t rest = d.n_presses - start;
    const double *steady = press_us + start;
    // Each press against the worker's schedule: whole periods from a deadline
    // that each restart resets.
    const uint32_t segments = split_at_restarts(steady, rest, period_us, segment_start, work);
    fit_segment_offsets(steady, rest, segment_start, segments, period_us, offsets);
    deviations_from_segments(steady, rest, segment_start, segments, period_us, offsets, deviation);
    const Spread spread = spread_of(deviation, rest, work);
    const double run_us = rest > 1 ? steady[rest - 1] - steady[0] : 0.0;
    const double achieved = rest > 1 ? (rest - 1) * 1e6 / run_us : 0.0;

    // Per minute, counted from the first press: presses, the segments that
    // begin in it, and the gaps that end in it.
    for (uint32_t i = 0; i < d.n_presses; ++i) {
        const uint32_t minute = (uint32_t)(press_us[i] / SOAK_MINUTE_US);
        if (minute < minutes_done) ++per_minute[minute].presses;
    }
    for (uint32_t g = 1; g < segments; ++g) {
        const uint32_t minute = (uint32_t)(steady[segment_start[g]] / SOAK_MINUTE_US);
        if (minute < minutes_done) ++per_minute[minute].restarts;
    }
    for (uint32_t i = 1; i < rest; ++i) {
        const uint32_t minute = (uint32_t)(steady[i] / SOAK_MINUTE_US);
        const double gap_ms = (steady[i] - steady[i - 1]) / 1000.0;
        if (minute < minutes_done && gap_ms > per_minute[minute].longest_gap_ms)
            per_minute[minute].longest_gap_ms = gap_ms;
    }
    fprintf(minutes_out, "minute\tpresses\trate\trestarts\tlongest_gap_ms\tcpu_percent\tseconds\t"
                         "rss_kb\tlinux_threads\thandles\tthreads\tgdi_objects\tuser_objects\t"
                         "gui_error\tcpu_s\tload\n");
    for (uint32_t m = 0; m < minutes_done; ++m) {
        const MinuteFigures *f = &per_minute[m];
        char first[96];
        snprintf(first, sizeof first, "%u\t%u\t%.4f\t%u\t%.3f\t%.2f", m + 1, f->presses,
                 f->presses / 60.0, f->restarts, f->longest_gap_ms, f->cpu_percent);
        write_resources(minutes_out, first, &f->resources);
    }
    for (int32_t p = 0; p < n_points; ++p) write_resources(resources_out, points[p].point, &points[p]);

    // The deviations as a histogram: a 30-minute run has too many presses
    // to keep one a line.
    uint32_t *bins = (uint32_t *)calloc(DEVIATION_BINS, sizeof(uint32_t));
    fprintf(histogram, "from_us\tpresses\n");
    if (bins) {
        for (uint32_t i = 0; i < rest; ++i) {
            const uint32_t bin = (uint32_t)(fabs(deviation[i]) / DEVIATION_BIN_US);
            ++bins[bin < (uint32_t)DEVIATION_BINS ? bin : DEVIATION_BINS - 1];
        }
        for (int32_t b = 0; b < DEVIATION_BINS; ++b)
            if (bins[b]) fprintf(histogram, "%.0f\t%u\n", b * DEVIATION_BIN_US, bins[b]);
        free(bins);
    }

    const uint32_t restarts = segments > 0 ? segments - 1 : 0;
    const uint32_t seen = d.pairs + d.unreleased + (uint32_t)d.open;
    fprintf(summary, "name\tvalue\n");
    fprintf(summary, "minutes\t%u\nwarmup_minutes\t%d\nrate\t%s\nperiod_us\t%.0f\n", minutes_done,
            warmup, SOAK_RATE_TEXT, period_us);
    fprintf(summary, "presses\t%u\nreleases\t%u\nunreleased\t%u\nstray_releases\t%u\n", seen,
            d.releases, d.unreleased + (uint32_t)d.open, d.stray);
    fprintf(summary, "presses_not_stored\t%u\nrecorder_dropped\t%u\n", d.overflow, dropped);
    fprintf(summary, "sent\t%ld\nstart_presses\t%u\n", sent, start);
    fprintf(summary, "seconds\t%.3f\nachieved_rate\t%.5f\nrate_ratio\t%.7f\n", run_us / 1e6,
            achieved, achieved * period_us / 1e6);
    fprintf(summary, "restarts\t%u\nrestarts_per_hour\t%.2f\nlongest_gap_ms\t%.3f\n", restarts,
            run_us > 0 ? restarts * 3600e6 / run_us : 0.0, longest_gap_us(steady, rest) / 1000.0);
    fprintf(summary, "press_mean_us\t%.1f\npress_p50_us\t%.1f\npress_p99_us\t%.1f\n"
                     "press_max_us\t%.1f\n",
            spread.mean_abs, spread.p50, spread.p99, spread.max);
    fprintf(summary, "last_press_s\t%.3f\n", last_press ? recorder_us(last_press - first_press) / 1e6 : 0.0);
    fprintf(summary, "cycles\t%u\ncycles_asked\t%d\ncycle_presses\t%u\ncycles_unreleased\t%u\n"
                     "cycle_lost\t%u\ncycle_doubled\t%u\n",
            cycles_done, cycles, cycle_presses, cycles_unreleased, cycle_lost, cycle_doubled);
    int32_t probe_before = 0, probe_after = 0;
    probe_handle_count(&probe_before, &probe_after);
    fprintf(summary, "handle_probe_before\t%d\nhandle_probe_after\t%d\nhandle_probe_opened\t%d\n",
            probe_before, probe_after, HANDLE_PROBE_COUNT);
    fprintf(summary, "failures\t%d\n", s.failures);
    fclose(minutes_out);
    fclose(resources_out);
    fclose(summary);
    fclose(histogram);
    note("soak: %u presses in %.1f s, rate x%.7f, %u restarts, longest stall %.2f ms, "
         "p99 %.1f us; %u unreleased; %u short runs, %u with a press unreleased",
         seen, run_us / 1e6, achieved * period_us / 1e6, restarts,
         longest_gap_us(steady, rest) / 1000.0, spread.p99, d.unreleased + (uint32_t)d.open,
         cycles_done, cycles_unreleased);
    if (s.failures) printf("%d check(s) failed\n", s.failures);
    return s.failures == 0 ? 0 : 1;
}
