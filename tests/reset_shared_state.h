// Puts the program's process-wide state back to what a fresh process holds,
// so that a test fixture cannot forget a piece of it. What each piece is and
// who owns it is listed in common/shared_state.h. Header-only; for tests.
#pragma once
#include "common/shared_state.h"
#include "control/run_transition.h"
#include "input/held_input.h"
#include "input/input_catalogue.h"
// The Win32 pieces exist only in the Win32 test programs, which link the
// shell; the portable tests use the same function, built for Windows too.
#ifdef RIVANTA_WIN32_TEST
#include "common/window_handles_win.h"
#include "control/run_controller_win.h"
#include "input/synthetic_input_win.h"
#endif

// perf_frequency, input_lock and winmm's timer functions are left alone: they
// are prepared once per process, before any of this is used. A worker thread
// handle the test made must be ended and closed by the test itself; it is
// only forgotten here.
inline void reset_shared_state(void)
{
    running.store(0);
    sent_count.store(0);
    input_refused.store(0);
    current_input = InputSpec{};
    period_us = 50000;
    hold_us = 25000;
    held_input = HeldInput{};
    hotkey_f6_ok = 0;
    hotkey_f8_ok = 0;
    run_state = RUN_IDLE;
    run_hotkeys_registered = 0;
#ifdef RIVANTA_WIN32_TEST
    worker_thread = NULL;
    system_send_input = SendInput;
#endif
}
