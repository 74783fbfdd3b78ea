// The pacing worker's arithmetic as pure functions: counter ticks from
// microseconds, what to do for the time left before a deadline, the next
// press deadline, and whether a finished pair is counted. Portable.
#pragma once
#include <stdint.h>

const uint32_t TIMER_RESOLUTION_MS = 1;  // system timer resolution asked for while the worker runs
const uint32_t PAUSE_POLL_MS = 50;       // sleep between two pause checks
const int64_t CATCH_UP_PERIODS = 4;      // backlog, in periods, beyond which the schedule restarts
const uint32_t WAIT_MAX_SLEEP_MS = 20;   // longest single sleep of a wait
const double WAIT_SLEEP_ABOVE_MS = 2.5;  // sleep only when more than this remains
const double WAIT_SLEEP_MARGIN_MS = 1.5; // taken off the remaining time before sleeping
const double WAIT_SPIN_BELOW_MS = 0.2;   // at or below this remaining time, spin

// Largest tick count ticks_from_us returns: CATCH_UP_PERIODS times it, added
// to any counter reading, stays far inside 64 bits.
const int64_t PACING_MAX_TICKS = INT64_C(1) << 56;

// What a wait does next for the time left before its target.
enum WaitAction : uint32_t {
    WAIT_STEP_DONE = 0,   // target reached
    WAIT_STEP_SLEEP = 1,  // Sleep(sleep_ms)
    WAIT_STEP_YIELD = 2,  // Sleep(0): give up the rest of the time slice
    WAIT_STEP_SPIN = 3,   // one processor spin-wait hint, no sleep
};

struct WaitStep {
    uint32_t action;    // a WaitAction
    uint32_t sleep_ms;  // 1..WAIT_MAX_SLEEP_MS for WAIT_STEP_SLEEP, else 0
};

// Microseconds as counter ticks at frequency ticks per second, truncated
// toward zero; never less than 1 and never more than PACING_MAX_TICKS.
int64_t ticks_from_us(int32_t us, int64_t frequency);
// The step for remaining_ticks left before a target (0 or less: done). The
// remaining time in ms is compared strictly: more than 2.5 ms sleeps for
// remaining - 1.5 ms truncated, at most 20 ms; more than 0.2 ms yields;
// anything else spins.
WaitStep wait_step_for(int64_t remaining_ticks, int64_t frequency);
// The deadline of the next press after the one due at deadline, given the
// counter reading now: the nominal deadline + period_ticks, unless now lies
// more than catch_up_ticks beyond it, in which case now (the backlog is
// dropped and the schedule restarts).
int64_t next_deadline(int64_t deadline, int64_t period_ticks, int64_t catch_up_ticks, int64_t now);
// 1 when a pair whose press and release went out in the cycle adds to the
// count: both edges were inserted by the system (nonzero results), and the
// count is below its largest value, where it stays instead of wrapping to a
// negative number.
int32_t pair_is_counted(int32_t count_so_far, uint32_t press_inserted, uint32_t release_inserted);
