// Win32 only. The run controller: drives the worker from run events,
// validates and applies the settings, and writes the status texts of a run.
// Window thread only.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "control/run_transition.h"

const UINT_PTR TIMER_ID_UI = 1;          // the window's one timer: arming tick or status refresh
const UINT ARM_TICK_MS = 100;            // timer period while armed
const UINT STATUS_REFRESH_MS = 500;      // timer period while running
const DWORD WORKER_STOP_WAIT_MS = 500;   // longest wait for the worker when stopping
const DWORD WORKER_EXIT_WAIT_MS = 1000;  // longest extra wait at exit for a worker that outlived its stop

// The last worker created; kept until that thread has ended, so that a new
// worker is never created beside one still alive.
extern HANDLE worker_thread;

// Arms, starts or stops a run as the transition table says for event;
// message is the stop text's first part, used only if the event stops a run.
void handle_run_event(RunEvent event, const char *message);
// 1 when the settings were accepted and copied; 0 when refused (the reason
// is already showing in status_label). The mouse button is copied as the
// physical one that the system delivers as the chosen button (the swap
// setting is read here, at every arming and start). Also switches the
// window into run mode: the input list and rate controls disabled, the
// button reading "Stop" and, when the window is in front, holding the
// focus, and F6 and F8 registered with modifiers.
int32_t apply_settings(void);
void enter_armed(void);
// Ends any run: stops and waits for the worker, releases what is held,
// gives back F6 and F8 with modifiers, restores the controls (the focus,
// when the window is in front, on the Start button) and shows
// "<message>  (<n> presses|clicks sent)".
// A worker still alive after the wait keeps the latch: its own end releases
// what it pressed, so no release can overtake its press.
void stop_run(const char *message);
// Registers, for main_window, those rows of RUN_HOTKEYS not registered yet
// whose plain key could be registered when the window was created. A row
// that another program holds stays unregistered: that combination then
// does not reach the program, and nothing else changes.
void register_run_hotkeys(void);
// Unregisters every row of RUN_HOTKEYS that register_run_hotkeys registered.
void unregister_run_hotkeys(void);
// Waits up to wait_ms for the last worker to end. Returns 1 when no worker
// thread is left (its handle is then closed), 0 while one still runs (the
// handle is kept).
int32_t wait_for_worker_end(DWORD wait_ms);
// 1 while the last worker's thread has not ended. Closes the handle of one
// that has.
int32_t worker_still_alive(void);
