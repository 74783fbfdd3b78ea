// Win32 only. The pacing worker thread, its wait, and the window tests that
// the worker, the run controller and the status refresh share.
#pragma once
#include <windows.h>
#include <stdint.h>

// Posted to main_window when the worker ends; the window ignores it.
const UINT WM_WORKER_DONE = WM_APP + 1;

// Thread entry. Sends press/release pairs of current_input at the Schedule
// until running is 0; releases what it holds, posts WM_WORKER_DONE to
// main_window and returns 0.
DWORD WINAPI worker_main(LPVOID unused);
// 1 once the performance counter has reached target, 0 as soon as running is
// found 0.
int32_t wait_until(int64_t target);
// 1 when the cursor is over main_window or one of its children, or when the
// cursor position cannot be read.
int32_t cursor_over_main_window(void);
// 1 when main_window, or a window whose parent is main_window, is in front.
int32_t own_window_in_front(void);
// own_window_in_front, or a mouse input with the cursor over main_window.
int32_t worker_should_pause(void);
// Asks the system to keep honouring this process's timer resolution while its
// windows are hidden or covered, and not to throttle its execution speed in
// the background (Windows 11 power throttling), in one request. Ignores the
// result: older systems and Wine refuse it. Called once at start-up.
void keep_timer_resolution_honoured(void);
