// The pacing worker's cycle and its wait, written against a table of the
// platform operations they need, so that the same code runs on the
// performance counter in the program and on a simulated clock in the tests
// and the timer model. Portable.
#pragma once
#include <stdint.h>
#include "input/input_catalogue.h"

// The platform operations of the cycle. Every member is set; none may block
// on the window thread.
struct PacingOps {
    // The performance counter, in perf_frequency ticks per second.
    int64_t (*read_counter)(void);
    // Sleeps for ms whole milliseconds (1..WAIT_MAX_SLEEP_MS, or PAUSE_POLL_MS).
    void (*sleep_ms)(uint32_t ms);
    // Gives up the rest of the time slice (Sleep(0)).
    void (*give_up_slice)(void);
    // One processor spin-wait hint; no sleep.
    void (*spin_hint)(void);
    // Sends one edge of input; returns the number of events the system
    // inserted (1, or 0 when it refused or nothing was sent).
    uint32_t (*send_edge)(const InputSpec &input, InputEdge edge);
    // 1 while the run must not send: the program's own window in front, or a
    // mouse input with the cursor over it.
    int32_t (*should_pause)(void);
    // The running flag: 0 once the run controller has stopped the run.
    int32_t (*is_running)(void);
    // Under input_lock: latches input into held_input.
    void (*latch_input)(const InputSpec &input);
    // Under input_lock: empties held_input without sending anything.
    void (*clear_latch)(void);
};

// Waits until the counter reaches target. Returns 1 then, or 0 as soon as
// is_running gives 0, which it asks before every reading of the counter, so
// a passed target still returns 0 once the run is stopped. Sleeps while more
// than 2.5 ms remain, gives up the slice down to 0.2 ms and spins below.
int32_t pacing_wait_until(const PacingOps *ops, int64_t target);

// The worker's cycle, from its first counter reading until is_running gives
// 0: press/release pairs of current_input on absolute deadlines period_us
// apart (Schedule and perf_frequency read once, at the start), each press
// latched before it is sent and held until its deadline plus hold_us, the
// counted pairs added to sent_count, and after every press input_refused set
// to whether the system refused it (inserted nothing). Returns with the
// latch still holding a press whose hold the stop cut short: sending that
// release is the caller's end step. Allocates nothing and holds no lock
// across a wait or a send.
void pacing_cycle(const PacingOps *ops);
