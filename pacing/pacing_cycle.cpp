#include "pacing/pacing_cycle.h"

#include "common/shared_state.h"
#include "pacing/pacing_math.h"

int32_t pacing_wait_until(const PacingOps *ops, int64_t target)
{
    // running is looked at before every reading of the counter, so a stop is
    // seen within one sleep even when the target has already passed.
    while (ops->is_running() != 0) {
        const WaitStep step = wait_step_for(target - ops->read_counter(), perf_frequency);
        switch (step.action) {
        case WAIT_STEP_DONE: return 1;
        case WAIT_STEP_SLEEP: ops->sleep_ms(step.sleep_ms); break;
        case WAIT_STEP_YIELD: ops->give_up_slice(); break;
        default: ops->spin_hint(); break;
        }
    }
    return 0;
}

void pacing_cycle(const PacingOps *ops)
{
    int64_t deadline = ops->read_counter();  // the first press is due at once
    const int64_t period_ticks = ticks_from_us(period_us, perf_frequency);
    const int64_t hold_ticks = ticks_from_us(hold_us, perf_frequency);
    const int64_t catch_up_ticks = CATCH_UP_PERIODS * period_ticks;

    while (ops->is_running() != 0) {
        // Checked only before a press: once a press is out, its release
        // follows after the hold whatever comes to the front meanwhile.
        if (ops->should_pause()) {
            ops->sleep_ms(PAUSE_POLL_MS);
            deadline = ops->read_counter();  // paused time is never made up
            continue;
        }
        // Latched before the press, so that whoever ends the run finds it.
        ops->latch_input(current_input);
        const uint32_t press = ops->send_edge(current_input, EDGE_PRESS);
        // Windows tells neither why nor for whom it refused: the window
        // thread can only say that the most recent press went nowhere. The
        // pair goes on as usual, so the release still follows.
        input_refused.store(press == 0 ? 1 : 0);

        // The hold runs from the press's deadline, not from when it went
        // out: an overdue pair whose release is due as well goes out back to
        // back. A stop during the hold leaves the press latched for the
        // caller to release, and the pair is not counted.
        if (!pacing_wait_until(ops, deadline + hold_ticks)) break;
        const uint32_t release = ops->send_edge(current_input, EDGE_RELEASE);
        ops->clear_latch();
        // Only this thread adds to the count while it runs, so the test and
        // the add cannot be overtaken.
        if (pair_is_counted(sent_count.load(), press, release)) sent_count.fetch_add(1);

        // Whole periods from the previous deadline, so that the time spent
        // sending and waking does not make the cadence drift.
        deadline = next_deadline(deadline, period_ticks, catch_up_ticks, ops->read_counter());
        if (!pacing_wait_until(ops, deadline)) break;
    }
}
