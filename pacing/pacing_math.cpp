#include "pacing/pacing_math.h"

int64_t ticks_from_us(int32_t us, int64_t frequency)
{
    const double ticks = (double)us * (double)frequency / 1000000.0;
    // Compared as doubles first so that the conversion below is always in range.
    if (!(ticks >= 1.0)) return 1;
    if (ticks >= (double)PACING_MAX_TICKS) return PACING_MAX_TICKS;
    return (int64_t)ticks;
}

WaitStep wait_step_for(int64_t remaining_ticks, int64_t frequency)
{
    if (remaining_ticks <= 0) return WaitStep{WAIT_STEP_DONE, 0};
    const double ms = (double)remaining_ticks * 1000.0 / (double)frequency;
    if (ms > WAIT_SLEEP_ABOVE_MS) {
        const double aim = ms - WAIT_SLEEP_MARGIN_MS;
        if (aim > (double)WAIT_MAX_SLEEP_MS) return WaitStep{WAIT_STEP_SLEEP, WAIT_MAX_SLEEP_MS};
        return WaitStep{WAIT_STEP_SLEEP, (uint32_t)aim};
    }
    if (ms > WAIT_SPIN_BELOW_MS) return WaitStep{WAIT_STEP_YIELD, 0};
    return WaitStep{WAIT_STEP_SPIN, 0};
}

int64_t next_deadline(int64_t deadline, int64_t period_ticks, int64_t catch_up_ticks, int64_t now)
{
    const int64_t nominal = deadline + period_ticks;
    if (now - catch_up_ticks <= nominal) return nominal;
    return now;
}

int32_t pair_is_counted(int32_t count_so_far, uint32_t press_inserted, uint32_t release_inserted)
{
    if (press_inserted == 0 || release_inserted == 0) return 0;
    return count_so_far < INT32_MAX;
}
