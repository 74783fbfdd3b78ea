// The pacing worker: sends press/release pairs of current_input on absolute
// deadlines of the performance counter, pausing while the program's own
// window is in front. All arithmetic is in pacing_math; this file only puts
// the platform calls in order around it.
#include "pacing/pacing_worker_win.h"

#include "pacing/timer_resolution_win.h"

#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "input/input_catalogue.h"
#include "input/held_input.h"
#include "input/synthetic_input_win.h"
#include "pacing/pacing_math.h"

// Documented values, for SDKs that predate them.
#ifndef PROCESS_POWER_THROTTLING_CURRENT_VERSION
#define PROCESS_POWER_THROTTLING_CURRENT_VERSION 1
#endif
#ifndef PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
#define PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION 0x4
#endif

namespace {

int64_t counter_now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace

int32_t wait_until(int64_t target)
{
    // running is looked at before every reading of the counter, so a stop is
    // seen within one sleep even when the target has already passed.
    while (running.load() != 0) {
        const WaitStep step = wait_step_for(target - counter_now(), perf_frequency);
        switch (step.action) {
        case WAIT_STEP_DONE: return 1;
        case WAIT_STEP_SLEEP: Sleep(step.sleep_ms); break;
        case WAIT_STEP_YIELD: Sleep(0); break;
        default: YieldProcessor(); break;
        }
    }
    return 0;
}

int32_t cursor_over_main_window(void)
{
    POINT at;
    // An unreadable position counts as over the window: a click must not
    // land on the program itself.
    if (!GetCursorPos(&at)) return 1;
    const HWND under = WindowFromPoint(at);
    if (under == NULL) return 0;
    return GetAncestor(under, GA_ROOT) == main_window ? 1 : 0;
}

int32_t own_window_in_front(void)
{
    // Without a main window nothing of ours can be in front (and a top-level
    // window's null parent must not match a null handle).
    if (main_window == NULL) return 0;
    const HWND front = GetForegroundWindow();
    if (front == NULL) return 0;
    if (front == main_window) return 1;
    return GetParent(front) == main_window ? 1 : 0;
}

int32_t worker_should_pause(void)
{
    if (own_window_in_front()) return 1;
    return current_input.kind == KIND_MOUSE && cursor_over_main_window() ? 1 : 0;
}

DWORD WINAPI worker_main(LPVOID unused)
{
    (void)unused;
    begin_timer_resolution(TIMER_RESOLUTION_MS);
    int64_t deadline = counter_now();  // the first press is due at once
    const int64_t period_ticks = ticks_from_us(period_us, perf_frequency);
    const int64_t hold_ticks = ticks_from_us(hold_us, perf_frequency);
    const int64_t catch_up_ticks = CATCH_UP_PERIODS * period_ticks;

    while (running.load() != 0) {
        // Checked only before a press: once a press is out, its release
        // follows after the hold whatever comes to the front meanwhile.
        if (worker_should_pause()) {
            Sleep(PAUSE_POLL_MS);
            deadline = counter_now();  // paused time is never made up
            continue;
        }
        // Latched before the press, so that whoever ends the run finds it.
        EnterCriticalSection(&input_lock);
        latch_held_input(&held_input, &current_input);
        LeaveCriticalSection(&input_lock);
        const uint32_t press = send_input_edge(current_input, EDGE_PRESS);

        // A stop during the hold leaves the press latched: it is released
        // below, and the pair is not counted.
        if (!wait_until(deadline + hold_ticks)) break;
        const uint32_t release = send_input_edge(current_input, EDGE_RELEASE);
        EnterCriticalSection(&input_lock);
        take_held_input(&held_input, NULL);
        LeaveCriticalSection(&input_lock);
        // Only this thread adds to the count while it runs, so the test and
        // the add cannot be overtaken.
        if (pair_is_counted(sent_count.load(), press, release)) sent_count.fetch_add(1);

        deadline = next_deadline(deadline, period_ticks, catch_up_ticks, counter_now());
        if (!wait_until(deadline)) break;
    }

    release_held_input();
    end_timer_resolution(TIMER_RESOLUTION_MS);
    PostMessageA(main_window, WM_WORKER_DONE, 0, 0);
    return 0;
}

void keep_timer_resolution_honoured(void)
{
    // Looked up at run time: the exe must still load where kernel32 lacks it.
    typedef BOOL(WINAPI * SetProcessInformationFn)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID,
                                                   DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    const FARPROC found = GetProcAddress(kernel, "SetProcessInformation");
    if (found == NULL) return;
    const SetProcessInformationFn set_information =
        reinterpret_cast<SetProcessInformationFn>(reinterpret_cast<void (*)(void)>(found));

    // Control mask: this setting is ours to decide; state mask 0: do not
    // relax the timer resolution while the windows are hidden or covered.
    PROCESS_POWER_THROTTLING_STATE state;
    ZeroMemory(&state, sizeof state);
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    set_information(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}
