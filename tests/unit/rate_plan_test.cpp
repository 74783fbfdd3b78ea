// The rate plan: classification against the limits, per-second and interval
// readings, period and hold, the status texts and the plan line.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include "common/shared_state.h"
#include "rate/rate_entry.h"
#include "rate/rate_plan.h"
#include "same_rate.h"

namespace {

const double INF = INFINITY;
const int32_t NOT_RUNNABLE = -1;

std::string plan_line(const RateEntry &e, int interval_mode)
{
    char line[PLAN_TEXT_SIZE];
    compose_plan_line(&e, interval_mode, line, sizeof line);
    return line;
}

// The Schedule that starting on this entry would set, as the run controller
// computes it; NOT_RUNNABLE for statuses 3 and above.
void schedule_of(const RateEntry &e, int32_t *period, int32_t *hold)
{
    *period = *hold = NOT_RUNNABLE;
    if (e.status > RATE_BELOW_MIN) return;
    *period = period_from_rate(e.scheduled_rate);
    *hold = hold_from_period(*period);
}

struct Expected {
    uint32_t status;
    double requested;
    double scheduled;
    int32_t period;
    int32_t hold;
    uint32_t overflowed;
    const char *description;
};

void expect_entry(const RateEntry &e, const Expected &x, const std::string &what)
{
    EXPECT_EQ(e.status, x.status) << what;
    EXPECT_TRUE(same_rate(x.requested, e.requested_rate)) << what;
    EXPECT_TRUE(same_rate(x.scheduled, e.scheduled_rate)) << what;
    int32_t period, hold;
    schedule_of(e, &period, &hold);
    EXPECT_EQ(period, x.period) << what;
    EXPECT_EQ(hold, x.hold) << what;
    EXPECT_EQ(e.overflowed, x.overflowed) << what;
    EXPECT_STREQ(e.description, x.description) << what;
    size_t length = strnlen(e.description, sizeof e.description);
    ASSERT_LT(length, (size_t)RATE_DESCRIPTION_BOUND) << what;
    for (size_t i = length; i < sizeof e.description; ++i) ASSERT_EQ(e.description[i], 0) << what;
    if (x.status <= RATE_BELOW_MIN) {
        EXPECT_GE(e.scheduled_rate, MIN_SCHEDULED_RATE) << what;
        EXPECT_LE(e.scheduled_rate, MAX_SCHEDULED_RATE) << what;
    }
}

const char TAIL_OK[] =
    "The actual rate in the game depends on Windows and the game; it is not measured here.";
const char TAIL_LIMITED[] =
    "LIMITED: this tool tops out at the practical maximum of 1000 events per second (1 ms apart, "
    "evenly spaced, never a burst). Scheduled: 1000 per second. There is no infinite or "
    "sub-millisecond click speed; games usually register far fewer.";

}  // namespace

TEST(RatePlan, ClassificationUsesTheValueNotItsText)
{
    struct Case {
        double requested;
        uint32_t status;
        double scheduled;
    };
    const Case cases[] = {
        {20, RATE_OK, 20},
        {1000, RATE_OK, 1000},
        {0.1, RATE_OK, 0.1},
        {nextafter(1000.0, INF), RATE_ABOVE_MAX, 1000},
        {INF, RATE_ABOVE_MAX, 1000},
        {1e308, RATE_ABOVE_MAX, 1000},
        {nextafter(0.1, 0.0), RATE_BELOW_MIN, 0.1},
        {4.9406564584124654e-324, RATE_BELOW_MIN, 0.1},
        {0.0, RATE_NOT_POSITIVE, 0},
        {-0.0, RATE_NOT_POSITIVE, 0},
        {-3, RATE_NOT_POSITIVE, 0},
        {-INF, RATE_NOT_POSITIVE, 0},
        {NAN, RATE_NOT_POSITIVE, 0},
    };
    for (const Case &c : cases) {
        RateEntry e;
        memset(&e, 0, sizeof e);
        e.status = 77;
        e.requested_rate = c.requested;
        e.scheduled_rate = 123;
        e.overflowed = 1;
        strcpy(e.description, "kept");
        classify_rate(&e);
        EXPECT_EQ(e.status, c.status) << c.requested;
        EXPECT_EQ(bits_of(e.scheduled_rate), bits_of(c.scheduled)) << c.requested;
        EXPECT_TRUE(same_rate(c.requested, e.requested_rate)) << "requested rate changed";
        EXPECT_EQ(e.overflowed, 1u) << "overflow flag changed";
        EXPECT_STREQ(e.description, "kept");
    }
}

TEST(RatePlan, PerSecondReading)
{
    struct Case {
        const char *text;
        Expected x;
    };
    const Case cases[] = {
        {"20", {RATE_OK, 20, 20, 50000, 25000, 0, "20"}},
        {"1000", {RATE_OK, 1000, 1000, 1000, 1000, 0, "1000"}},
        {"999.9", {RATE_OK, 999.9, 999.9, 1000, 1000, 0, "999.9"}},
        {"1001", {RATE_ABOVE_MAX, 1001, 1000, 1000, 1000, 0, "1001"}},
        {"unlimited", {RATE_ABOVE_MAX, INF, 1000, 1000, 1000, 0, "infinite"}},
        {"1e400", {RATE_ABOVE_MAX, INF, 1000, 1000, 1000, 1, "beyond 1e308 (treated as infinite)"}},
        {"1000.0000000000001", {RATE_ABOVE_MAX, 1000.0000000000001, 1000, 1000, 1000, 0, "1000"}},
        {"333", {RATE_OK, 333, 333, 3003, 1501, 0, "333"}},
        {"7", {RATE_OK, 7, 7, 142857, 25000, 0, "7"}},
        {"3", {RATE_OK, 3, 3, 333333, 25000, 0, "3"}},
        {"0.1", {RATE_OK, 0.1, 0.1, 10000000, 25000, 0, "0.1"}},
        {"0.05", {RATE_BELOW_MIN, 0.05, 0.1, 10000000, 25000, 0, "0.05"}},
        {"0.09999999999999999", {RATE_BELOW_MIN, 0.09999999999999999, 0.1, 10000000, 25000, 0, "0.1"}},
        {"1e-400", {RATE_NOT_POSITIVE, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, "0"}},
        {"0", {RATE_NOT_POSITIVE, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, "0"}},
        {"-3", {RATE_NOT_POSITIVE, -3, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, "-3"}},
        {"1e400 -1e400", {RATE_NOT_POSITIVE, NAN, 0, NOT_RUNNABLE, NOT_RUNNABLE, 1, "nan"}},
        {"", {RATE_EMPTY, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {NULL, {RATE_EMPTY, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"hundred", {RATE_EMPTY, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"twenty", {RATE_NOT_UNDERSTOOD, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1e400 abc", {RATE_NOT_UNDERSTOOD, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
    };
    for (const Case &c : cases) expect_entry(read_rate_per_second(c.text), c.x, c.text ? c.text : "(null)");
}

TEST(RatePlan, IntervalReading)
{
    struct Case {
        const char *count;
        const char *ms;
        Expected x;
    };
    const Case cases[] = {
        {"10", "100", {RATE_OK, 100, 100, 10000, 5000, 0, "10 every 100 ms = 100 per second"}},
        {"3", "7", {RATE_OK, 428.57142857142856, 428.57142857142856, 2333, 1166, 0, "3 every 7 ms = 428.6 per second"}},
        {"1", "1000", {RATE_OK, 1, 1, 1000000, 25000, 0, "1 every 1000 ms = 1 per second"}},
        {"1", "10000", {RATE_OK, 0.1, 0.1, 10000000, 25000, 0, "1 every 10000 ms = 0.1 per second"}},
        {"1", "10001", {RATE_BELOW_MIN, 0.09999000099990002, 0.1, 10000000, 25000, 0, "1 every 10001 ms = 0.09999 per second"}},
        {"10", "0.1", {RATE_ABOVE_MAX, 100000, 1000, 1000, 1000, 0, "10 every 0.1 ms = 1e+05 per second"}},
        {"1e300", "1e-300", {RATE_ABOVE_MAX, INF, 1000, 1000, 1000, 1, "1e+300 every 1e-300 ms (beyond 1e308 per second)"}},
        {"max", "1000", {RATE_ABOVE_MAX, INF, 1000, 1000, 1000, 1, "infinite every 1000 ms (beyond 1e308 per second)"}},
        {"1e-300", "1e300", {RATE_BELOW_MIN, UNDERFLOW_RATE, 0.1, 10000000, 25000, 0, "1e-300 every 1e+300 ms = 1e-07 per second"}},
        {"two thousand", "1 000", {RATE_ABOVE_MAX, 2000, 1000, 1000, 1000, 0, "2000 every 1000 ms = 2000 per second"}},
        {"1", "0", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1", "-5", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1", "", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1", NULL, {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1", "infinite", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1", "abc", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1", "1e400 -1e400", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"1e400", "abc", {RATE_BAD_INTERVAL, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 1, ""}},
        {"0", "100", {RATE_NOT_POSITIVE, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, "0"}},
        {"-3", "abc", {RATE_NOT_POSITIVE, -3, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, "-3"}},
        {"1e400 -1e400", "100", {RATE_NOT_POSITIVE, NAN, 0, NOT_RUNNABLE, NOT_RUNNABLE, 1, "nan"}},
        {"", "100", {RATE_EMPTY, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"clicks", "abc", {RATE_EMPTY, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
        {"abc", "0", {RATE_NOT_UNDERSTOOD, 0, 0, NOT_RUNNABLE, NOT_RUNNABLE, 0, ""}},
    };
    for (const Case &c : cases) {
        std::string what = std::string(c.count ? c.count : "(null)") + " every " + (c.ms ? c.ms : "(null)");
        expect_entry(read_rate_interval(c.count, c.ms), c.x, what);
    }
}

TEST(RatePlan, LongIntervalDescriptionIsCutAfter95Characters)
{
    RateEntry e = read_rate_interval("1.23456 centillion", "1 centillion");
    const std::string whole =
        "1.23e+303 (about 1 centillion = 10^303) every 1e+303 (about 1 centillion = 10^303) ms = 1235 per second";
    EXPECT_EQ(e.status, (uint32_t)RATE_ABOVE_MAX);
    EXPECT_EQ(std::string(e.description), whole.substr(0, 95));
    for (size_t i = 95; i < sizeof e.description; ++i) ASSERT_EQ(e.description[i], 0);

    // The longest plan line fits its buffer whole.
    e = read_rate_interval("1 centillion", "1e-300 centillion");
    ASSERT_EQ(e.status, (uint32_t)RATE_ABOVE_MAX);
    ASSERT_EQ(strlen(e.description), 95u);
    std::string line = plan_line(e, 0);
    EXPECT_LT(line.size(), (size_t)PLAN_TEXT_SIZE - 1);
    EXPECT_EQ(line, "Requested: " + std::string(e.description) + " CPS. " + TAIL_LIMITED);
}

TEST(RatePlan, PlanLines)
{
    struct Case {
        const char *first;   // the per-second text, or the count
        const char *second;  // null in per-second mode, else the milliseconds
        std::string line;
    };
    const Case cases[] = {
        {"20", NULL, std::string("Requested: 20 CPS. Scheduled: 20 per second, evenly spaced (50.00 ms between events). ") + TAIL_OK},
        {"0.1", NULL, std::string("Requested: 0.1 CPS. Scheduled: 0.1 per second, evenly spaced (10000.00 ms between events). ") + TAIL_OK},
        {"333", NULL, std::string("Requested: 333 CPS. Scheduled: 333 per second, evenly spaced (3.00 ms between events). ") + TAIL_OK},
        {"1001", NULL, std::string("Requested: 1001 CPS. ") + TAIL_LIMITED},
        {"infinite", NULL, std::string("Requested: infinite CPS. ") + TAIL_LIMITED},
        {"0.05", NULL, "Requested: 0.05 CPS: below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every 10 s)."},
        {"0.09999999999999999", NULL, "Requested: 0.1 CPS: below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every 10 s)."},
        {"0", NULL, "Rate: must be greater than zero."},
        {"-3", NULL, "Rate: must be greater than zero."},
        {"", NULL, "Rate: enter a number of clicks per second."},
        {"abc", NULL, "Rate: not a number we understand (try 20, 1e6, 1 centillion, infinite)."},
        {"10", "100", std::string("Requested: 10 every 100 ms = 100 per second. Scheduled: 100 per second, evenly spaced (10.00 ms between events). ") + TAIL_OK},
        {"3", "7", std::string("Requested: 3 every 7 ms = 428.6 per second. Scheduled: 428.6 per second, evenly spaced (2.33 ms between events). ") + TAIL_OK},
        {"10", "0.1", std::string("Requested: 10 every 0.1 ms = 1e+05 per second. ") + TAIL_LIMITED},
        {"1e-300", "1e300", "Requested: 1e-300 every 1e+300 ms = 1e-07 per second: below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every 10 s)."},
        {"1", "0", "Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3)."},
        {"0", "100", "Rate: must be greater than zero."},
    };
    for (const Case &c : cases) {
        int interval = c.second != NULL;
        RateEntry e = interval ? read_rate_interval(c.first, c.second) : read_rate_per_second(c.first);
        EXPECT_EQ(plan_line(e, interval), c.line) << c.first << (interval ? " every " : "") << (c.second ? c.second : "");
    }

    RateEntry unknown;
    memset(&unknown, 0, sizeof unknown);
    unknown.status = 99;
    EXPECT_EQ(plan_line(unknown, 0), "Rate: ?.");
}

TEST(RatePlan, PlanLineIsBoundedByItsBuffer)
{
    RateEntry e = read_rate_per_second("20");
    char small[16];
    memset(small, 'x', sizeof small);
    EXPECT_EQ(compose_plan_line(&e, 0, small, sizeof small), small);
    EXPECT_STREQ(small, "Requested: 20 C");

    char untouched = 'x';
    EXPECT_EQ(compose_plan_line(&e, 0, &untouched, 0), &untouched);
    EXPECT_EQ(untouched, 'x');

    // A description that lost its terminator is read no further than its field.
    memset(e.description, 'd', sizeof e.description);
    std::string line = plan_line(e, 0);
    EXPECT_EQ(line.substr(0, 11 + 95 + 5), "Requested: " + std::string(95, 'd') + " CPS.");
}

TEST(RatePlan, PeriodAndHold)
{
    struct PeriodCase {
        double rate;
        int32_t period;
    };
    const PeriodCase periods[] = {
        {1000, 1000}, {999.9, 1000}, {20, 50000}, {7, 142857}, {3, 333333}, {333, 3003},
        {0.1, 10000000}, {1000.5, 1000}, {INF, 1000}, {0.05, 10000000},
        {0, 1000000}, {-5, 1000000}, {NAN, 1000000}, {-INF, 1000000},
        {800, 1250}, {1.0 / 3.0, 3000000},
    };
    for (const PeriodCase &c : periods) EXPECT_EQ(period_from_rate(c.rate), c.period) << c.rate;

    struct HoldCase {
        int32_t period;
        int32_t hold;
    };
    const HoldCase holds[] = {
        {1000, 1000}, {1999, 1000}, {2000, 1000}, {2001, 1000}, {3003, 1501}, {10000, 5000},
        {49999, 24999}, {50000, 25000}, {50001, 25000}, {50002, 25000}, {10000000, 25000},
        {0, 1000}, {-1, 1000}, {INT32_MAX, 25000},
    };
    for (const HoldCase &c : holds) EXPECT_EQ(hold_from_period(c.period), c.hold) << c.period;

    // For every runnable rate the hold fits inside the period.
    for (double rate = MIN_SCHEDULED_RATE; rate <= MAX_SCHEDULED_RATE; rate *= 1.01) {
        int32_t period = period_from_rate(rate);
        int32_t hold = hold_from_period(period);
        ASSERT_GE(period, 1000) << rate;
        ASSERT_LE(period, 10000000) << rate;
        ASSERT_GE(hold, 1000) << rate;
        ASSERT_LE(hold, 25000) << rate;
        ASSERT_LE(hold, period) << rate;
    }
}

TEST(RatePlan, TextsAndConstants)
{
    struct Case {
        uint32_t status;
        const char *text;
    };
    const Case cases[] = {
        {RATE_OK, "ok"},
        {RATE_ABOVE_MAX, "above the practical maximum; running at the maximum"},
        {RATE_BELOW_MIN, "below the minimum; running at the minimum"},
        {RATE_EMPTY, "enter a number of clicks per second"},
        {RATE_NOT_UNDERSTOOD, "not a number we understand (try 20, 1e6, 1 centillion, infinite)"},
        {RATE_NOT_POSITIVE, "must be greater than zero"},
        {RATE_BAD_INTERVAL, "the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3)"},
        {7, "?"},
        {0x80000000u, "?"},
        {0xFFFFFFFFu, "?"},
    };
    for (const Case &c : cases) EXPECT_STREQ(rate_status_text(c.status), c.text) << c.status;

    char buffer[8];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(fastest_preset_text(buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "1000");
    char tiny[3] = {'x', 'x', 'x'};
    fastest_preset_text(tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "10");
    char none = 'x';
    EXPECT_EQ(fastest_preset_text(&none, 0), &none);
    EXPECT_EQ(none, 'x');
    EXPECT_EQ(fastest_preset_text(NULL, 8), (char *)NULL);

    EXPECT_EQ(bits_of(UNDERFLOW_RATE), 0x3E7AD7F29ABCAF49ull);
    EXPECT_EQ(nextafter(1e-7, 1.0), UNDERFLOW_RATE);
    char text[32];
    snprintf(text, sizeof text, "%.17g", UNDERFLOW_RATE);
    EXPECT_STREQ(text, "1.0000000000000001e-07");
}

TEST(RatePlan, ScheduleStartsAtTwentyPerSecond)
{
    // The values of the per-second box's initial text, 20.
    EXPECT_EQ(period_us, 50000);
    EXPECT_EQ(hold_us, 25000);
    RateEntry e = read_rate_per_second("20");
    EXPECT_EQ(period_from_rate(e.scheduled_rate), period_us);
    EXPECT_EQ(hold_from_period(period_us), hold_us);
}
