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
};

extern RunState run_state;
extern HANDLE worker_thread;

void handle_run_event(RunEvent event, const char *message);
// 1 when the settings were accepted and copied; 0 when refused (the reason
// is already showing in status_label).
int32_t apply_settings(void);
void enter_armed(void);
// Ends any run: stops and waits for the worker, releases what is held,
// restores the controls and shows "<message>  (<n> presses|clicks sent)".
void stop_run(const char *message);
