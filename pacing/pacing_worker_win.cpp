// The pacing worker: sends press/release pairs of current_input on absolute
// deadlines of the performance counter, pausing while the program's own
// window is in front. The cycle itself is pacing_cycle; this file binds it
// to the platform and keeps the worker's start and end steps.
#include "pacing/pacing_worker_win.h"

#include "pacing/timer_resolution_win.h"

#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "input/input_catalogue.h"
#include "input/held_input.h"
#include "input/synthetic_input_win.h"
#include "pacing/pacing_cycle.h"
#include "pacing/pacing_math.h"

// Documented values, for SDKs that predate them.
#ifndef PROCESS_POWER_THROTTLING_CURRENT_VERSION
#define PROCESS_POWER_THROTTLING_CURRENT_VERSION 1
#endif
#ifndef PROCESS_POWER_THROTTLING_EXECUTION_SPEED
#define PROCESS_POWER_THROTTLING_EXECUTION_SPEED 0x1
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

void sleep_whole_ms(uint32_t ms) { Sleep(ms); }

void give_up_slice(void) { Sleep(0); }

void spin_hint(void) { YieldProcessor(); }

int32_t running_now(void) { return running.load(); }

void latch_under_lock(const InputSpec &input)
{
    EnterCriticalSection(&input_lock);
    latch_held_input(&held_input, &input);
    LeaveCriticalSection(&input_lock);
}

void clear_under_lock(void)
{
    EnterCriticalSection(&input_lock);
    take_held_input(&held_input, NULL);
    LeaveCriticalSection(&input_lock);
}

// The worker's thread priority. The program leaves it at the default: in the
// last 2.5 ms before each deadline the worker gives up its slice with Sleep(0)
// but stays ready to run, and raised above the application in front it would
// keep a busy core from that application's threads. Builds of the
// pacing benchmark compile this file again with RIVANTA_BENCH_WORKER_PRIORITY
// (a THREAD_PRIORITY_ value) or RIVANTA_BENCH_WORKER_MMCSS (the multimedia
// class scheduler's "Games" task) to measure what raising it would give
// (bench/CMakeLists.txt); the shipped program is built with neither.
#if defined(RIVANTA_BENCH_WORKER_MMCSS)
typedef HANDLE(WINAPI *AvSetMmThreadCharacteristicsFn)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI *AvRevertMmThreadCharacteristicsFn)(HANDLE);
HMODULE avrt_module = NULL;

// Joins the worker to the "Games" task; returns the task's handle, or null.
// avrt.dll is loaded from the system folder only.
HANDLE worker_priority_begin(void)
{
    avrt_module = LoadLibraryExA("avrt.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (avrt_module == NULL) return NULL;
    const FARPROC found = GetProcAddress(avrt_module, "AvSetMmThreadCharacteristicsA");
    if (found == NULL) return NULL;
    const AvSetMmThreadCharacteristicsFn join =
        reinterpret_cast<AvSetMmThreadCharacteristicsFn>(reinterpret_cast<void (*)(void)>(found));
    DWORD task_index = 0;
    return join("Games", &task_index);
}

void worker_priority_end(HANDLE task)
{
    if (avrt_module == NULL) return;
    const FARPROC found = GetProcAddress(avrt_module, "AvRevertMmThreadCharacteristics");
    if (task != NULL && found != NULL)
        reinterpret_cast<AvRevertMmThreadCharacteristicsFn>(reinterpret_cast<void (*)(void)>(found))(
            task);
    FreeLibrary(avrt_module);
    avrt_module = NULL;
}
#elif defined(RIVANTA_BENCH_WORKER_PRIORITY)
HANDLE worker_priority_begin(void)
{
    SetThreadPriority(GetCurrentThread(), RIVANTA_BENCH_WORKER_PRIORITY);
    return NULL;
}

void worker_priority_end(HANDLE) {}
#else
HANDLE worker_priority_begin(void) { return NULL; }

void worker_priority_end(HANDLE) {}
#endif

// The cycle's platform: the performance counter, Sleep, the processor's
// spin hint, SendInput and the pause test, and input_lock around the latch.
const PacingOps WIN32_PACING_OPS = {
    counter_now,          // read_counter
    sleep_whole_ms,       // sleep_ms
    give_up_slice,        // give_up_slice
    spin_hint,            // spin_hint
    send_input_edge,      // send_edge
    worker_should_pause,  // should_pause
    running_now,          // is_running
    latch_under_lock,     // latch_input
    clear_under_lock,     // clear_latch
};

}  // namespace

int32_t wait_until(int64_t target) { return pacing_wait_until(&WIN32_PACING_OPS, target); }

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
    const HANDLE priority = worker_priority_begin();
    pacing_cycle(&WIN32_PACING_OPS);
    // A press whose hold the stop cut short is still latched: released here.
    release_held_input();
    worker_priority_end(priority);
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

    // Control mask: these settings are ours to decide; state mask 0: do not
    // relax the timer resolution while the windows are hidden or covered,
    // and do not throttle the execution speed (efficiency cores) of a
    // process whose window is in the background for the whole of every run.
    PROCESS_POWER_THROTTLING_STATE state;
    ZeroMemory(&state, sizeof state);
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    state.ControlMask =
        PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION | PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
    state.StateMask = 0;
    set_information(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}
