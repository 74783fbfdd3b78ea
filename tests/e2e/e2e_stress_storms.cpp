// Stress scenarios of the run control: storms of F6, F8 and Start/Stop clicks
// at 1000 per second (a key, and the left button), and stops by F8 while every
// processor is kept busy.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <atomic>
#include "e2e_checks.h"
#include "e2e_stress.h"

namespace {

// Returns once the program has handled every hotkey pressed so far. The
// system posts WM_HOTKEY when it takes in the key, so once a marker key sent
// after them has reached the recorder they are all queued; a selection posted
// to the per-second box then comes out of the same queue after them.
void sync_hotkeys(Session *s)
{
    sync_recorder(s);
    static int32_t mark = 0;
    mark = mark == 1 ? 2 : 1;
    HWND box = control(s, IDC_CPS_EDIT);
    PostMessageA(box, EM_SETSEL, (WPARAM)mark, (LPARAM)(mark + 1));
    DWORD start = GetTickCount();
    for (;;) {
        DWORD from = 0, to = 0;
        send_to(box, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
        if ((int32_t)from == mark && (int32_t)to == mark + 1) return;
        if (deadline_passed(start, E2E_REACTION_MS)) {
            expect(s, 0, "the program did not work through its queue of hotkeys");
            return;
        }
        Sleep(1);
    }
}

// Brings the program to rest after a storm: every hotkey handled, and a run
// still armed or running stopped by F8. Returns 1 once idle.
int32_t settle_idle(Session *s)
{
    sync_hotkeys(s);
    char text[E2E_TEXT_SIZE];
    read_text(control(s, IDC_START), text, sizeof text);
    if (strcmp(text, "Stop") == 0) {
        press_key(VK_F8);
        sync_hotkeys(s);
    }
    read_text(control(s, IDC_START), text, sizeof text);
    if (!expect(s, strcmp(text, "Start") == 0, "the program is not idle after the storm: button "
                                               "reads \"%s\"", text))
        return 0;
    read_text(control(s, IDC_STATUS), text, sizeof text);
    expect(s, strncmp(text, "Stopped", 7) == 0, "status line after the storm: \"%s\"", text);
    expect_idle_controls(s, "idle after the storm", 0);
    return 1;
}

const int32_t STORM_F6_PRESSES = 320;  // F6 presses of the toggle storm, clicks come on top
const int32_t STORM_F8_ACTIONS = 120;  // actions of the F8 storm
const uint32_t STORM_CLICK_PERCENT = 8;  // share of Start/Stop clicks among the actions
const uint32_t STORM_MAX_PAUSE_MS = 50;

// Brings the recorder back to the front and closes the log's span that began
// at `away`.
void back_to_recorder(Session *s, StormLog *log, int64_t away)
{
    bring_to_front(s, s->rec->window, "the recorder");
    if (log->away_count < STORM_MAX_AWAY) {
        log->away_from[log->away_count] = away;
        log->away_to[log->away_count] = recorder_now();
        ++log->away_count;
    }
}

// One action of a storm: the key, or a click on the Start/Stop button. A
// click is a BM_CLICK, which leaves the front window as it is, or (with
// real_clicks, half the time) a real click with the mouse, which brings the
// program's window to the front, so that a start arms; the recorder is then
// brought back, as a user would switch back.
void storm_action(Session *s, Random *r, WORD key, int32_t real_clicks, StormLog *log)
{
    if (random_below(r, 100) >= STORM_CLICK_PERCENT) {
        press_key(key);
        ++*(key == VK_F8 ? &log->f8 : &log->f6);
    } else if (real_clicks && random_below(r, 2) && log->away_count < STORM_MAX_AWAY) {
        int64_t away = recorder_now();
        POINT p = screen_center_of(control(s, IDC_START));
        left_click_at(s, p.x, p.y);
        expect(s, wait_foreground(s->main, E2E_REACTION_MS),
               "a click on the Start button did not bring the program's window to the front");
        ++log->clicks;
        ++log->real_clicks;
        back_to_recorder(s, log, away);
    } else {
        int64_t away = recorder_now();
        click(control(s, IDC_START));
        ++log->clicks;
        if (GetForegroundWindow() != s->rec->window) back_to_recorder(s, log, away);
    }
    random_pause(r, STORM_MAX_PAUSE_MS);
}

// F6 at random moments, then F8 among F6, with Start/Stop clicks mixed in, at
// 1000 per second; then one last run from the start to F6. Afterwards the
// program is idle, the last stop counts the pairs the recorder saw since the
// last start, and no press of the whole storm was left without its release.
// With real_clicks some clicks are made with the mouse (see storm_action).
void toggle_storm(Session *s, const StressInput *in, int32_t real_clicks)
{
    Random r = seeded_random();
    if (!prepare_fast_run(s, in)) return;
    const RecordMark from = record_mark(s);
    static StormLog log;
    memset(&log, 0, sizeof log);
    while (log.f6 < STORM_F6_PRESSES) storm_action(s, &r, VK_F6, real_clicks, &log);
    for (int32_t i = 0; i < STORM_F8_ACTIONS; ++i)
        storm_action(s, &r, random_below(&r, 3) ? VK_F8 : VK_F6, real_clicks, &log);
    if (!settle_idle(s)) return;
    PairTally storm = expect_nothing_held(s, from, in, "after the storm", &log);

    // The last start, a run of random length, and F6 to end it.
    uint32_t last_from = sync_recorder(s);
    press_key(VK_F6);
    expect(s, wait_events(s, last_from, in->down_message, in->wparam, 1 + random_below(&r, 60),
                          E2E_REACTION_MS),
           "the last start after the storm sent nothing");
    random_pause(&r, STORM_MAX_PAUSE_MS);
    int64_t stop_sent = recorder_now();
    press_key(VK_F6);
    log.f6 += 2;
    expect_stop_count(s, "Stopped by F6.", in->unit, last_from, in->down_message, in->up_message,
                      in->wparam, stop_sent, 0);
    expect_idle_controls(s, "stopped after the storm", 0);

    // Nothing may come after the program has ended.
    close_rivanta(s);
    PairTally all = expect_nothing_held(s, from, in, "after the program ended", &log);
    // At most the press in its hold when the front window changed, or one
    // whose pause test came just before, per switch.
    expect(s, all.elsewhere <= (uint32_t)log.away_count,
           "%u presses or releases missing at %d switches of the front window", all.elsewhere,
           log.away_count);
    note("[ figures ] toggle storm, %s at 1000/s: %d F6, %d F8, %d Start/Stop clicks (%d of them "
         "real, switching the front window) survived; %u pairs sent in the storm, %u in all; %u "
         "presses left down; %u presses or releases went to the program's window at a switch; %u "
         "edges the system delivered unpaired otherwise",
         in->label, log.f6, log.f8, log.clicks, log.real_clicks, storm.pairs, all.pairs, all.stuck,
         all.elsewhere, all.delivery_odd);
}

// Threads that spin until told to stop, one per processor.
struct CpuHog {
    HANDLE threads[16];
    int32_t count;
    std::atomic<int32_t> stop;
};

// A hog thread: spins on arithmetic until the stop flag is set.
DWORD WINAPI hog_main(void *argument)
{
    CpuHog *hog = (CpuHog *)argument;
    uint64_t x = 1;
    while (!hog->stop.load(std::memory_order_relaxed)) x = x * 6364136223846793005ULL + 1;
    return (DWORD)(x & 1);
}

// Starts one spinning thread per processor (at most 16).
void hog_start(CpuHog *hog)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    hog->stop.store(0);
    hog->count = 0;
    int32_t n = (int32_t)info.dwNumberOfProcessors;
    if (n > 16) n = 16;
    for (int32_t i = 0; i < n; ++i) {
        HANDLE thread = CreateThread(NULL, 0, hog_main, hog, 0, NULL);
        if (thread) hog->threads[hog->count++] = thread;
    }
}

// Stops the threads and returns the processor time they used, in seconds.
double hog_stop(CpuHog *hog)
{
    // Read while the threads still run: Wine reports no times for an ended one.
    double seconds = 0;
    for (int32_t i = 0; i < hog->count; ++i) {
        FILETIME created, ended, kernel, user;
        if (GetThreadTimes(hog->threads[i], &created, &ended, &kernel, &user))
            seconds += (double)(((uint64_t)user.dwHighDateTime << 32 | user.dwLowDateTime) +
                                ((uint64_t)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime)) /
                       1e7;
    }
    hog->stop.store(1);
    for (int32_t i = 0; i < hog->count; ++i) {
        WaitForSingleObject(hog->threads[i], E2E_EXIT_MS);
        CloseHandle(hog->threads[i]);
    }
    hog->count = 0;
    return seconds;
}

const int32_t LOAD_ROUNDS = 40;
// How long the program's stop waits for its worker.
const int32_t WORKER_STOP_WAIT_MS = 500;

// Prints min / median / max of a set of latencies (sorts them).
void note_latencies(const char *what, double *ms, int32_t n)
{
    if (n == 0) return;
    qsort(ms, (size_t)n, sizeof ms[0], compare_doubles);
    note("[ figures ] %s: min %.1f ms, median %.1f ms, max %.1f ms (%d stops)", what, ms[0],
         ms[n / 2], ms[n - 1], n);
}

}  // namespace

// ---- scenario: toggle storms ----------------------------------------------------------

void scenario_toggle_storm_keys(Session *s)
{
    toggle_storm(s, &STRESS_SPACE, 1);
}

// The clicks land where the cursor is, over the recorder: it stays there, and
// the Start button is clicked by BM_CLICK only.
void scenario_toggle_storm_mouse(Session *s)
{
    toggle_storm(s, &STRESS_LEFT, 0);
}

// ---- scenario: stop under load --------------------------------------------------------

// With every processor kept busy by spinning threads, runs at 1000 per second
// stopped by F8 at random moments: each stop ends the input and shows its
// text within the 500 ms that the stop waits for the worker, with the count
// the recorder saw and nothing held.
void scenario_stop_under_load(Session *s)
{
    Random r = seeded_random();
    if (!prepare_fast_run(s, &STRESS_SPACE)) return;
    const RecordMark from = record_mark(s);
    static CpuHog hog;
    hog_start(&hog);
    int64_t hog_started = recorder_now();
    double text_ms[LOAD_ROUNDS], input_ms[LOAD_ROUNDS];
    int32_t n = 0;
    HWND status = control(s, IDC_STATUS);
    for (int32_t round = 0; round < LOAD_ROUNDS; ++round) {
        uint32_t run_from = sync_recorder(s);
        press_key(VK_F6);
        if (!expect(s, wait_events(s, run_from, WM_KEYDOWN, VK_SPACE, 1 + random_below(&r, 40),
                                   E2E_REACTION_MS),
                    "round %d: F6 under load started no run", round))
            break;
        random_pause(&r, 20);
        int64_t stop_sent = recorder_now();
        press_key(VK_F8);
        char got[E2E_TEXT_SIZE];
        DWORD start = GetTickCount();
        int32_t shown = 0;
        for (;;) {
            read_text(status, got, sizeof got);
            if ((shown = strncmp(got, "Stopped by F8.  (", 17) == 0) != 0) break;
            if (deadline_passed(start, E2E_REACTION_MS)) break;
            Sleep(1);
        }
        double latency = recorder_ms(recorder_now() - stop_sent);
        if (!expect(s, shown, "round %d: no stop text after F8 under load: \"%s\"", round, got))
            break;
        expect_stop_count(s, "Stopped by F8.", "presses", run_from, WM_KEYDOWN, WM_KEYUP,
                          VK_SPACE, stop_sent, 0);
        int32_t last = recorder_last(s->rec, run_from, WM_KEYUP, VK_SPACE);
        double input_end = last >= 0 ? recorder_ms(recorder_event(s->rec, (uint32_t)last).qpc -
                                                   stop_sent)
                                     : 0.0;
        expect(s, latency < WORKER_STOP_WAIT_MS,
               "round %d: the stop text came %.1f ms after F8, beyond the stop's %d ms wait", round,
               latency, WORKER_STOP_WAIT_MS);
        expect(s, input_end < WORKER_STOP_WAIT_MS,
               "round %d: the last release came %.1f ms after F8", round, input_end);
        text_ms[n] = latency;
        input_ms[n] = input_end < 0 ? 0 : input_end;
        ++n;
    }
    int32_t hog_threads = hog.count;
    double hog_cpu = hog_stop(&hog);
    double hog_wall = recorder_ms(recorder_now() - hog_started) / 1000.0;
    note("[ figures ] stop under load: %d spinning threads used %.1f s of processor time in %.1f s",
         hog_threads, hog_cpu, hog_wall);
    close_rivanta(s);
    PairTally t = expect_nothing_held(s, from, &STRESS_SPACE, "after the runs under load", NULL);
    note_latencies("stop under load, F8 to the stop text", text_ms, n);
    note_latencies("stop under load, F8 to the last release (0: it came before F8)", input_ms, n);
    note("[ figures ] stop under load: %u pairs, %u keys left down", t.pairs, t.stuck);
}
