#include <gtest/gtest.h>
#include "pacing/pacing_math.h"

namespace {
const int64_t MHZ10 = 10000000;   // a 10 MHz performance counter
const int64_t ACPI = 3579545;     // the ACPI power-management timer's rate
}  // namespace

TEST(PacingTicks, MicrosecondsToCounterTicks)
{
    struct Case { int32_t us; int64_t frequency; int64_t ticks; };
    const Case cases[] = {
        {50000, MHZ10, 500000},       // the initial period
        {25000, MHZ10, 250000},       // the initial hold
        {1000, MHZ10, 10000},         // the top rate's period and hold
        {10000000, MHZ10, 100000000}, // the slowest period, 10 s
        {50000, ACPI, 178977},        // 178977.25 truncated
        {25000, ACPI, 89488},         // 89488.625 truncated, not rounded
        {1000, ACPI, 3579},
        // A conversion that truncates to 0, or is not positive, gives 1 tick.
        {1, 100000, 1},               // 0.1 tick
        {0, MHZ10, 1},
        {-50000, MHZ10, 1},
        {50000, 0, 1},
        // Far beyond any real period or counter: bounded, never overflowing.
        {INT32_MAX, INT64_MAX, PACING_MAX_TICKS},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ticks_from_us(c.us, c.frequency), c.ticks) << c.us << " us at " << c.frequency;

    // The catch-up window of the initial period on a 10 MHz counter: 200 ms.
    EXPECT_EQ(CATCH_UP_PERIODS * ticks_from_us(50000, MHZ10), 2000000);
}

TEST(PacingWait, StepForTheRemainingTime)
{
    // Remaining times on a 10 MHz counter (10000 ticks per ms).
    struct Case { int64_t remaining; uint32_t action; uint32_t sleep_ms; };
    const Case cases[] = {
        {500000, WAIT_STEP_SLEEP, 20},  // 50 ms: the longest single sleep
        {215000, WAIT_STEP_SLEEP, 20},  // 21.5 ms: 20 ms exactly
        {214000, WAIT_STEP_SLEEP, 19},  // 21.4 ms: 19.9 truncated
        {100000, WAIT_STEP_SLEEP, 8},   // 10 ms
        {26000, WAIT_STEP_SLEEP, 1},    // 2.6 ms: 1.1 truncated
        {25001, WAIT_STEP_SLEEP, 1},    // just over 2.5 ms
        {25000, WAIT_STEP_YIELD, 0},    // exactly 2.5 ms: strict, so no sleep
        {2500, WAIT_STEP_YIELD, 0},     // 0.25 ms
        {2001, WAIT_STEP_YIELD, 0},
        {2000, WAIT_STEP_SPIN, 0},      // exactly 0.2 ms: spins
        {1000, WAIT_STEP_SPIN, 0},
        {1, WAIT_STEP_SPIN, 0},
        {0, WAIT_STEP_DONE, 0},         // target reached
        {-123456, WAIT_STEP_DONE, 0},   // target long passed
    };
    for (const Case &c : cases) {
        const WaitStep step = wait_step_for(c.remaining, MHZ10);
        EXPECT_EQ(step.action, c.action) << c.remaining << " ticks";
        EXPECT_EQ(step.sleep_ms, c.sleep_ms) << c.remaining << " ticks";
    }
}

TEST(PacingWait, StepOnAnotherCounterRate)
{
    // The same rule on a 3579545 Hz counter: the decision follows the time,
    // not the tick count.
    struct Case { int64_t remaining; uint32_t action; uint32_t sleep_ms; };
    const Case cases[] = {
        {178977, WAIT_STEP_SLEEP, 20},  // 50 ms
        {35796, WAIT_STEP_SLEEP, 8},    // 10.0001 ms
        {9307, WAIT_STEP_SLEEP, 1},     // 2.6001 ms
        {8948, WAIT_STEP_YIELD, 0},     // 2.4998 ms
        {716, WAIT_STEP_YIELD, 0},      // 0.2000254 ms
        {715, WAIT_STEP_SPIN, 0},       // 0.1997 ms
    };
    for (const Case &c : cases) {
        const WaitStep step = wait_step_for(c.remaining, ACPI);
        EXPECT_EQ(step.action, c.action) << c.remaining << " ticks";
        EXPECT_EQ(step.sleep_ms, c.sleep_ms) << c.remaining << " ticks";
    }
}

TEST(PacingDeadline, NextDeadlineKeepsCadenceOrRestarts)
{
    // 10 MHz counter, initial schedule: period 500000 ticks, catch-up 2000000.
    const int64_t deadline = 7000000, period = 500000, catch_up = 2000000;
    const int64_t nominal = deadline + period;
    struct Case { int64_t now; int64_t next; const char *what; };
    const Case cases[] = {
        {deadline + 250000, nominal, "on time, after the hold"},
        {nominal, nominal, "reading exactly on the nominal deadline"},
        {nominal + 1200000, nominal, "backlog of 2.4 periods is worked off"},
        {nominal + catch_up, nominal, "exactly four periods late still keeps the cadence"},
        {nominal + catch_up + 1, nominal + catch_up + 1, "one tick more restarts from now"},
        {nominal + 50 * period, nominal + 50 * period, "a long stall restarts from now"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(next_deadline(deadline, period, catch_up, c.now), c.next) << c.what;
}

TEST(PacingDeadline, TopRateReleaseAndNextPressShareOneDeadline)
{
    // 1000 per second on a 10 MHz counter: period and hold are both 10000
    // ticks, so the release of one pair is due when the next press is.
    const int64_t period = ticks_from_us(1000, MHZ10), hold = ticks_from_us(1000, MHZ10);
    const int64_t deadline = 42;
    EXPECT_EQ(next_deadline(deadline, period, CATCH_UP_PERIODS * period, deadline + hold),
              deadline + hold);
}

TEST(PacingCount, OnlyPairsTheSystemTookAreCounted)
{
    struct Case { int32_t count; uint32_t press, release; int32_t counted; };
    const Case cases[] = {
        {0, 1, 1, 1},
        {41, 1, 1, 1},
        {41, 0, 1, 0},  // the press was refused (for instance by a higher-integrity window)
        {41, 1, 0, 0},  // the release was refused
        {41, 0, 0, 0},
        {INT32_MAX - 1, 1, 1, 1},
        {INT32_MAX, 1, 1, 0},  // the count stays at its top instead of turning negative
    };
    for (const Case &c : cases)
        EXPECT_EQ(pair_is_counted(c.count, c.press, c.release), c.counted)
            << c.count << " " << c.press << "/" << c.release;
}
