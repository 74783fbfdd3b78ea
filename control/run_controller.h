// Win32: the run controller. Drives the worker from run events, validates
// and applies the settings, and writes the status texts of a run. Window
// thread only.
#pragma once
#include <windows.h>
#include "control/run_transition.h"

enum {
    TIMER_ID_UI = 1,
    ARM_TICK_MS = 100,
    STATUS_REFRESH_MS = 500,
    WORKER_STOP_WAIT_MS = 500,
    // Longest extra wait at exit for a worker that outlived its stop.
    WORKER_EXIT_WAIT_MS = 1000,
};

extern RunState run_state;
// The last worker created; kept until that thread has ended, so that a new
// worker is never created beside one still alive.
extern HANDLE worker_thread;

void handle_run_event(RunEvent event, const char *message);
// 1 when the settings were accepted and copied; 0 when refused (the reason
// is already showing in status_label).
int32_t apply_settings(void);
void enter_armed(void);
// Ends any run: stops and waits for the worker, releases what is held,
// restores the controls and shows "<message>  (<n> presses|clicks sent)".
// A worker still alive after the wait keeps the latch: its own end releases
// what it pressed, so no release can overtake its press.
void stop_run(const char *message);
// Waits up to wait_ms for the last worker to end. Returns 1 when no worker
// thread is left (its handle is then closed), 0 while one still runs (the
// handle is kept).
int32_t finish_worker(DWORD wait_ms);
