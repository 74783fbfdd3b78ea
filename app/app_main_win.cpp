// The program's entry: one copy per session, the shared state the worker
// needs, the main window and its message loop, and the last release on the
// way out.
#include "app/app_main_win.h"

#include <commctrl.h>

#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "control/run_controller_win.h"
#include "input/synthetic_input_win.h"
#include "pacing/pacing_worker_win.h"
#include "pacing/timer_resolution_win.h"
#include "ui/main_window_win.h"

HANDLE instance_mutex = NULL;

namespace {

// The lock lives until the process ends, so it is initialised only once
// however often app_main runs in a process (the tests run it many times).
bool input_lock_ready = false;

// What CreateMutexA's result and error say about the guard "Local\Rivanta",
// the one copy per session. A handle with ERROR_ALREADY_EXISTS: another copy
// holds it. No handle and ERROR_ACCESS_DENIED: it exists but this process may
// not open it (a copy running elevated, or as another user in this session),
// which is another copy too. Any other failure leaves this copy running
// without the guard.
bool another_copy_holds_the_guard(HANDLE guard, DWORD error)
{
    if (guard) return error == ERROR_ALREADY_EXISTS;
    return error == ERROR_ACCESS_DENIED;
}

void show_notice(const char *text, UINT icon)
{
    MessageBoxA(NULL, text, "Rivanta", MB_OK | icon);
}

// Until WM_QUIT or an error; Tab, Shift+Tab, Enter and Escape get the
// navigation of a dialog box.
void run_message_loop(HWND window)
{
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        if (IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

void prepare_process(void)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    perf_frequency = frequency.QuadPart;
    keep_timer_resolution_honoured();
    load_timer_resolution();
    if (!input_lock_ready) InitializeCriticalSection(&input_lock);
    input_lock_ready = true;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

int32_t register_main_window_class(HINSTANCE instance)
{
    WNDCLASSA window_class;
    ZeroMemory(&window_class, sizeof window_class);
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    window_class.hCursor = LoadCursorA(NULL, IDC_ARROW);
    window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    window_class.lpszClassName = MAIN_WINDOW_CLASS;
    return RegisterClassA(&window_class) ? 1 : 0;
}

HWND create_main_window(HINSTANCE instance)
{
    RECT outer = {0, 0, MAIN_CLIENT_WIDTH, MAIN_CLIENT_HEIGHT};
    AdjustWindowRect(&outer, MAIN_WINDOW_STYLE, FALSE);
    return CreateWindowExA(0, MAIN_WINDOW_CLASS, MAIN_WINDOW_TITLE, MAIN_WINDOW_STYLE, CW_USEDEFAULT,
                           CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, NULL,
                           NULL, instance, NULL);
}

int app_main(HINSTANCE instance, int show_command)
{
    // Before anything can load a DLL by name: from now on every load, ours
    // and those the system's DLLs make for us, looks in the system folder
    // only, never in the exe's own folder (Downloads, where anyone may have
    // left a DLL) or the current directory. The DLLs the exe imports are
    // loaded before this line, which is why it imports only DLLs that
    // Windows always takes from the system (see CMakeLists.txt).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    SetLastError(ERROR_SUCCESS);
    instance_mutex = CreateMutexA(NULL, TRUE, "Local\\Rivanta");
    if (another_copy_holds_the_guard(instance_mutex, GetLastError())) {
        show_notice("Rivanta is already running.", MB_ICONINFORMATION);
        if (instance_mutex) CloseHandle(instance_mutex);
        instance_mutex = NULL;
        return 0;
    }

    prepare_process();
    HWND window = register_main_window_class(instance) ? create_main_window(instance) : NULL;
    if (window) {
        ShowWindow(window, show_command);
        run_message_loop(window);
    } else {
        // Nothing to close and nothing to wait for: say so and end.
        show_notice("Rivanta could not open its window.", MB_ICONERROR);
    }

    // The loop can also end without WM_CLOSE (GetMessageA failing): a run
    // still going is stopped here.
    if (running.load() != 0) stop_run("Closing.");
    // A worker that outlived its stop gets a last bounded wait, so that this
    // release does not overtake its press; then the latch is emptied for good.
    wait_for_worker_end(WORKER_EXIT_WAIT_MS);
    release_held_input();
    if (instance_mutex) CloseHandle(instance_mutex);
    instance_mutex = NULL;
    return 0;
}
