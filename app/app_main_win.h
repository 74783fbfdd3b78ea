// Win32 only. The application entry and its steps: one copy per session,
// the state the worker needs, the main window and its message loop, and the
// last release on the way out. WinMain (winmain_win.cpp) only calls
// app_main; the tests call the steps themselves.
#pragma once
#include <windows.h>
#include <stdint.h>

// Marks the running copy; held, owned, while app_main runs.
extern HANDLE instance_mutex;

// Readies what the window and the worker share before the window exists:
// perf_frequency, input_lock, the common controls, the request to keep the
// timer resolution honoured and winmm's timer functions (from the system
// folder). Once per process.
void prepare_process(void);
// Registers the window class "Rivanta" for instance; 1 on success.
int32_t register_main_window_class(HINSTANCE instance);
// Creates the main window with its 476 x 652 client area at a position the
// system chooses (WM_CREATE runs inside); null when it could not be made.
HWND create_main_window(HINSTANCE instance);
// Runs the program: first restricts DLL loading to the system folder, then
// the steps above, the message loop and the last release. The exit code is
// always 0.
int app_main(HINSTANCE instance, int show_command);
