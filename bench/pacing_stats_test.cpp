#include <gtest/gtest.h>
#include <math.h>
#include <vector>
#include "common/shared_state.h"
#include "input/input_catalogue.h"
#include "pacing/pacing_cycle.h"
#include "pacing/pacing_math.h"
#include "pacing_stats.h"
#include "rate/rate_plan.h"
#include "tests/reset_shared_state.h"

namespace {

// The segments split_at_restarts finds, as the index of each one's first press.
std::vector<uint32_t> segments_of(const std::vector<double> &presses, double period_us)
{
    const uint32_t n = (uint32_t)presses.size();
    std::vector<uint32_t> starts(n + 1);
    std::vector<double> scratch(n + 1);
    const uint32_t segments = split_at_restarts(presses.data(), n, period_us, starts.data(),
                                                scratch.data());
    starts.resize(segments);
    return starts;
}

}  // namespace

TEST(PacingStatsPairs, RecordedEdgesIntoPressesAndHolds)
{
    struct Case {
        const char *label;
        std::vector<Edge> edges;
        PairCount count;              // presses, releases, pairs, unreleased, stray
        std::vector<double> presses;
        std::vector<double> holds;
    };
    const Case cases[] = {
        {"empty", {}, {0, 0, 0, 0, 0}, {}, {}},
        {"alternating pairs", {{0, 1}, {5, 0}, {10, 1}, {16, 0}},
         {2, 2, 2, 0, 0}, {0, 10}, {5, 6}},
        {"last press never released", {{0, 1}, {5, 0}, {10, 1}},
         {2, 1, 1, 1, 0}, {0, 10}, {5}},
        {"press doubled before its release", {{0, 1}, {1, 1}, {5, 0}},
         {2, 1, 1, 1, 0}, {0, 1}, {4}},
        {"release before any press", {{0, 0}, {3, 1}, {8, 0}},
         {1, 2, 1, 0, 1}, {3}, {5}},
        {"release doubled", {{0, 1}, {5, 0}, {6, 0}, {10, 1}, {15, 0}},
         {2, 3, 2, 0, 1}, {0, 10}, {5, 5}},
    };
    for (const Case &c : cases) {
        const uint32_t n = (uint32_t)c.edges.size();
        std::vector<double> presses(n + 1), holds(n + 1);
        const PairCount got = pair_edges(c.edges.data(), n, presses.data(), holds.data());
        EXPECT_EQ(got.presses, c.count.presses) << c.label;
        EXPECT_EQ(got.releases, c.count.releases) << c.label;
        EXPECT_EQ(got.pairs, c.count.pairs) << c.label;
        EXPECT_EQ(got.unreleased, c.count.unreleased) << c.label;
        EXPECT_EQ(got.stray_releases, c.count.stray_releases) << c.label;
        presses.resize(got.presses);
        holds.resize(got.pairs);
        EXPECT_EQ(presses, c.presses) << c.label;
        EXPECT_EQ(holds, c.holds) << c.label;
    }
}

TEST(PacingStatsFit, LeastSquaresEvenSchedule)
{
    // Worked by hand: slots 0..3 at 0, 10, 20, 40 us fit 13 us apart from -2.
    const double stamps[] = {0, 10, 20, 40};
    const EvenFit fit = fit_even_schedule(stamps, 4);
    EXPECT_DOUBLE_EQ(fit.period_us, 13.0);
    EXPECT_DOUBLE_EQ(fit.offset_us, -2.0);
    double dev[4];
    deviations_from_fit(stamps, 4, fit, dev);
    const double want[] = {2, -1, -4, 3};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(dev[i], want[i], 1e-12) << i;

    // Fewer than two presses give no period.
    const double one = 7.0;
    EXPECT_EQ(fit_even_schedule(&one, 1).period_us, 0.0);
    EXPECT_EQ(fit_even_schedule(&one, 1).offset_us, 7.0);
    EXPECT_EQ(fit_even_schedule(nullptr, 0).period_us, 0.0);

    // A long run far from the counter's origin, presses 3 us either side of
    // a 1000.5 us cadence: the fit finds the cadence and the 3 us.
    const uint32_t n = 20000;
    std::vector<double> run(n), run_dev(n);
    for (uint32_t i = 0; i < n; ++i) run[i] = 1e12 + 1000.5 * i + (i % 2 ? 3.0 : -3.0);
    const EvenFit long_fit = fit_even_schedule(run.data(), n);
    EXPECT_NEAR(long_fit.period_us, 1000.5, 1e-3);
    deviations_from_fit(run.data(), n, long_fit, run_dev.data());
    for (uint32_t i = 0; i < n; i += 997) EXPECT_NEAR(fabs(run_dev[i]), 3.0, 0.01) << i;
}

TEST(PacingStatsFit, OffsetAtAGivenPeriod)
{
    // Presses 1% slower than a 1000 us schedule: the free fit finds their own
    // period and no deviation; held to 1000 us, the drift shows, centred.
    const double stamps[] = {0, 1010, 2020, 3030, 4040};
    const EvenFit free_fit = fit_even_schedule(stamps, 5);
    EXPECT_NEAR(free_fit.period_us, 1010.0, 1e-9);
    const EvenFit held = fit_offset_at_period(stamps, 5, 1000.0);
    EXPECT_EQ(held.period_us, 1000.0);
    EXPECT_NEAR(held.offset_us, 20.0, 1e-9);
    double dev[5];
    deviations_from_fit(stamps, 5, held, dev);
    const double want[] = {-20, -10, 0, 10, 20};
    for (int i = 0; i < 5; ++i) EXPECT_NEAR(dev[i], want[i], 1e-9) << i;

    // Far from the counter's origin the offset keeps its precision.
    const double far[] = {1e12 + 3, 1e12 + 1003, 1e12 + 2003};
    EXPECT_NEAR(fit_offset_at_period(far, 3, 1000.0).offset_us - 1e12, 3.0, 1e-3);
    EXPECT_EQ(fit_offset_at_period(nullptr, 0, 1000.0).offset_us, 0.0);
}

TEST(PacingStatsSpread, AbsoluteDeviationsAndNearestRankPercentiles)
{
    struct Case {
        const char *label;
        std::vector<double> values;
        Spread spread;  // n, mean_abs, p50, p99, max
    };
    std::vector<double> hundred;
    for (int i = 1; i <= 100; ++i) hundred.push_back(i % 2 ? i : -i);
    std::vector<double> fifteen(15, 1.0);
    fifteen[14] = 40.0;
    const Case cases[] = {
        {"empty", {}, {0, 0, 0, 0, 0}},
        {"one value", {-4}, {1, 4, 4, 4, 4}},
        {"signs dropped", {-5, 1, -2}, {3, 8.0 / 3.0, 2, 5, 5}},
        {"1..100 with alternating signs", hundred, {100, 50.5, 50, 99, 100}},
        // Fewer than 100 values: the 99th percentile is the largest.
        {"15 values", fifteen, {15, 54.0 / 15.0, 1, 40, 40}},
    };
    for (const Case &c : cases) {
        const uint32_t n = (uint32_t)c.values.size();
        std::vector<double> scratch(n + 1);
        const std::vector<double> before = c.values;
        const Spread got = spread_of(c.values.data(), n, scratch.data());
        EXPECT_EQ(got.n, c.spread.n) << c.label;
        EXPECT_DOUBLE_EQ(got.mean_abs, c.spread.mean_abs) << c.label;
        EXPECT_EQ(got.p50, c.spread.p50) << c.label;
        EXPECT_EQ(got.p99, c.spread.p99) << c.label;
        EXPECT_EQ(got.max, c.spread.max) << c.label;
        EXPECT_EQ(c.values, before) << c.label;
    }
}

TEST(PacingStatsRestarts, SegmentsBeginWhereEveryLaterPressStaysMoreThanFourPeriodsBehind)
{
    // Period 1000 us; stamps as the recorder would see them.
    struct Case {
        const char *label;
        std::vector<double> presses;
        std::vector<uint32_t> starts;
    };
    const Case cases[] = {
        {"no press", {}, {}},
        {"one press", {5}, {0}},
        {"on the grid, each press a little late", {0, 1030, 2005, 3080, 4010}, {0}},
        {"3.5 periods behind, worked off back to back", {0, 1000, 5500, 5510, 5520, 5530, 6000, 7000},
         {0}},
        // A gap of 4.7 periods after a press on time, yet the backlog is
        // worked off: no restart, although the gap is longer than 4.5 periods.
        {"a 4.7-period gap worked off", {0, 1000, 5700, 5710, 5720, 5730, 6000, 7000}, {0}},
        {"a restart after a stall of six periods", {0, 1000, 7000, 8000, 9000}, {0, 2}},
        // Press 2 went out 5.5 periods late; the reading after its release
        // restarted the schedule, so press 3 followed it within 10 us. Every
        // press from the late one on lies behind: the late press begins the
        // new segment.
        {"a restart right behind a late press", {0, 1000, 7500, 7510, 8510, 9510}, {0, 2}},
        {"exactly four periods behind is not more than four", {0, 1000, 6000, 7000, 8000}, {0}},
        {"two restarts", {0, 1000, 2000, 9100, 10100, 11100, 18000, 19000}, {0, 3, 6}},
        {"the last press alone never begins a segment", {0, 1000, 2000, 9000}, {0}},
        // The first press of a run goes out ten periods late and the rest
        // catch up: the grid is the one of the presses that came on time.
        {"a first press ten periods late, caught up",
         {10000, 10010, 10020, 10030, 10040, 10050, 10060, 10070, 10080, 10090, 10100, 11000, 12000},
         {0}},
    };
    for (const Case &c : cases) EXPECT_EQ(segments_of(c.presses, 1000.0), c.starts) << c.label;

    // Far from the counter's origin, with a restart after press 50000.
    std::vector<double> run;
    for (uint32_t i = 0; i < 100000; ++i) run.push_back(1e12 + 1000.0 * i + (i >= 50000 ? 5300.0 : 0.0));
    EXPECT_EQ(segments_of(run, 1000.0), (std::vector<uint32_t>{0, 50000}));
}

TEST(PacingStatsSegments, CommonPeriodAndOneOffsetPerSegment)
{
    // Worked by hand: segment A at 0, 10, 20, 40 and segment B at 100, 113,
    // 126 fit a common period of 13 (sum of the centred products 65 + 26 over
    // the centred squares 5 + 2) from -2 and from 100.
    const double stamps[] = {0, 10, 20, 40, 100, 113, 126};
    const uint32_t starts[] = {0, 4};
    double offsets[2];
    EXPECT_DOUBLE_EQ(fit_segments(stamps, 7, starts, 2, offsets), 13.0);
    EXPECT_DOUBLE_EQ(offsets[0], -2.0);
    EXPECT_DOUBLE_EQ(offsets[1], 100.0);
    double dev[7];
    deviations_from_segments(stamps, 7, starts, 2, 13.0, offsets, dev);
    const double want[] = {2, -1, -4, 3, 0, 0, 0};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(dev[i], want[i], 1e-12) << i;

    // Held to a period of 12, each segment's offset is fitted alone.
    fit_segment_offsets(stamps, 7, starts, 2, 12.0, offsets);
    EXPECT_DOUBLE_EQ(offsets[0], (0 + 10 + 20 + 40 - 12.0 * (0 + 1 + 2 + 3)) / 4);
    EXPECT_DOUBLE_EQ(offsets[1], (100 + 113 + 126 - 12.0 * (0 + 1 + 2)) / 3);

    // Segments of one press each give no period; each offset is its stamp
    // and its deviation 0.
    const uint32_t singles[] = {0, 1, 2};
    const double three[] = {5, 7000, 9999};
    double single_offsets[3], single_dev[3];
    EXPECT_EQ(fit_segments(three, 3, singles, 3, single_offsets), 0.0);
    deviations_from_segments(three, 3, singles, 3, 0.0, single_offsets, single_dev);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(single_offsets[i], three[i]) << i;
        EXPECT_EQ(single_dev[i], 0.0) << i;
    }
}

TEST(PacingStatsSegments, ARestartShiftsTheRestOfARunOnlyAgainstOneFitToTheWhole)
{
    // 2000 presses at 1000 us, the schedule restarted after press 1000 with
    // 5.3 periods lost, every press 0 to 40 us late by a fixed pattern.
    const uint32_t n = 2000;
    std::vector<double> presses(n), scratch(n), dev(n);
    for (uint32_t i = 0; i < n; ++i)
        presses[i] = 1000.0 * i + (i >= 1000 ? 5300.0 : 0.0) + (double)((i * 7) % 41);
    const EvenFit whole = fit_even_schedule(presses.data(), n);
    deviations_from_fit(presses.data(), n, whole, dev.data());
    const Spread against_whole = spread_of(dev.data(), n, scratch.data());

    std::vector<uint32_t> starts(n);
    const uint32_t segments = split_at_restarts(presses.data(), n, 1000.0, starts.data(), scratch.data());
    ASSERT_EQ(segments, 2u);
    EXPECT_EQ(starts[1], 1000u);
    double offsets[2];
    const double period = fit_segments(presses.data(), n, starts.data(), segments, offsets);
    EXPECT_NEAR(period, 1000.0, 0.01);
    deviations_from_segments(presses.data(), n, starts.data(), segments, period, offsets, dev.data());
    const Spread against_segments = spread_of(dev.data(), n, scratch.data());

    EXPECT_GT(against_whole.p99, 1000.0) << "one fit to the whole run";
    EXPECT_LT(against_segments.max, 25.0) << "each segment fitted alone";
    // Presses 999 and 1000, 23 and 30 us late.
    EXPECT_EQ(longest_gap_us(presses.data(), n), 1000.0 + 5300.0 + 30.0 - 23.0);
    EXPECT_EQ(longest_gap_us(presses.data(), 1), 0.0);
}

// ---- the segments against the worker's own cycle ------------------------------------

namespace {

const int64_t SIM_HZ = 10000000;  // a 10 MHz counter: one tick is 0.1 us

// Where a stall holds the worker up: right before press k goes out, right
// before its release goes out (in the hold), or between its release and the
// reading that sets the next deadline.
enum StallPlace : uint32_t { BEFORE_PRESS = 0, BEFORE_RELEASE = 1, AFTER_RELEASE = 2 };

struct Stall {
    uint32_t press;    // which pair
    uint32_t place;    // a StallPlace
    double periods;    // how long
};

// The simulated platform of one run: sends, yields and spins take a little
// time, sleeps wake 50 us late, and each press is stamped by a recorder that
// gets it 20 to 70 us after it went out (in order, as a window's queue does).
struct CycleRun {
    int64_t now;
    int64_t period_ticks;
    const std::vector<Stall> *stalls;
    uint32_t presses, releases, total;
    int32_t started;         // the first reading, the first deadline, was made
    int32_t reading_due;     // the next reading sets the next deadline
    int64_t deadline;
    int32_t restarts;        // next deadlines the cycle took from the reading
    uint64_t rng;
    std::vector<double> stamps_us;
};

CycleRun cycle_run;

int64_t stall_ticks(uint32_t press, uint32_t place)
{
    int64_t ticks = 0;
    for (const Stall &s : *cycle_run.stalls)
        if (s.press == press && s.place == place)
            ticks += (int64_t)(s.periods * (double)cycle_run.period_ticks);
    return ticks;
}

int64_t cycle_read_counter(void)
{
    if (!cycle_run.started) {
        cycle_run.started = 1;
        cycle_run.deadline = cycle_run.now;  // the first press is due at once
    } else if (cycle_run.reading_due) {
        // The reading right after a release is the one the cycle's next
        // deadline comes from: follow it with the cycle's own rule.
        cycle_run.reading_due = 0;
        const int64_t nominal = cycle_run.deadline + cycle_run.period_ticks;
        cycle_run.deadline = next_deadline(cycle_run.deadline, cycle_run.period_ticks,
                                           CATCH_UP_PERIODS * cycle_run.period_ticks, cycle_run.now);
        if (cycle_run.deadline != nominal) ++cycle_run.restarts;
    }
    cycle_run.now += 1;
    return cycle_run.now - 1;
}

void cycle_sleep_ms(uint32_t ms) { cycle_run.now += (int64_t)ms * SIM_HZ / 1000 + 500; }
void cycle_give_up_slice(void) { cycle_run.now += 10; }
void cycle_spin_hint(void) { cycle_run.now += 1; }

uint32_t cycle_send_edge(const InputSpec &, InputEdge edge)
{
    if (edge == EDGE_PRESS) {
        cycle_run.now += stall_ticks(cycle_run.presses, BEFORE_PRESS);
        cycle_run.rng = cycle_run.rng * 6364136223846793005ull + 1442695040888963407ull;
        const double delivered = (double)cycle_run.now / 10.0 + 20.0 + (double)(cycle_run.rng >> 58);
        const double previous = cycle_run.stamps_us.empty() ? 0.0 : cycle_run.stamps_us.back();
        cycle_run.stamps_us.push_back(delivered > previous ? delivered : previous + 0.1);
        ++cycle_run.presses;
    } else {
        cycle_run.now += stall_ticks(cycle_run.releases, BEFORE_RELEASE);
    }
    cycle_run.now += 50;  // 5 us per SendInput
    return 1;
}

int32_t cycle_never_pause(void) { return 0; }
int32_t cycle_is_running(void) { return cycle_run.presses < cycle_run.total ? 1 : 0; }
void cycle_latch(const InputSpec &) {}

void cycle_clear(void)
{
    cycle_run.now += stall_ticks(cycle_run.releases, AFTER_RELEASE);
    ++cycle_run.releases;
    cycle_run.reading_due = 1;
}

const PacingOps CYCLE_OPS = {
    cycle_read_counter,   // read_counter
    cycle_sleep_ms,       // sleep_ms
    cycle_give_up_slice,  // give_up_slice
    cycle_spin_hint,      // spin_hint
    cycle_send_edge,      // send_edge
    cycle_never_pause,    // should_pause
    cycle_is_running,     // is_running
    cycle_latch,          // latch_input
    cycle_clear,          // clear_latch
};

class PacingStatsCycle : public ::testing::Test {
protected:
    void SetUp() override { saved_frequency = perf_frequency; }
    void TearDown() override
    {
        reset_shared_state();
        perf_frequency = saved_frequency;
    }
    int64_t saved_frequency = 0;
};

}  // namespace

TEST_F(PacingStatsCycle, RestartsFoundInTheStampsAreTheOnesTheCycleMade)
{
    // The program's own cycle on a simulated clock, held up by stalls; its
    // restarts are counted as it decides them, and the presses are stamped
    // as a recorder would. Each case names the gaps a rule of "more than 4.5
    // periods between presses" would get wrong.
    struct Case {
        const char *label;
        double rate;
        std::vector<Stall> stalls;
        int32_t restarts;
    };
    const Case cases[] = {
        {"1000/s, no stall", 1000, {}, 0},
        {"1000/s, 3.8 periods in a hold: a 4.8-period gap, worked off", 1000,
         {{100, BEFORE_RELEASE, 3.8}}, 0},
        {"1000/s, 4.2 periods in a hold: restarted", 1000, {{100, BEFORE_RELEASE, 4.2}}, 1},
        {"1000/s, 4.5 periods before a press: a 5.5-period gap, worked off", 1000,
         {{100, BEFORE_PRESS, 4.5}}, 0},
        {"1000/s, 5.5 periods before a press: restarted right behind it", 1000,
         {{100, BEFORE_PRESS, 5.5}}, 1},
        {"1000/s, 4.3 periods after a release: restarted", 1000, {{100, AFTER_RELEASE, 4.3}}, 1},
        {"1000/s, five stalls, three of them restarts", 1000,
         {{100, BEFORE_RELEASE, 6.0}, {300, BEFORE_PRESS, 3.0}, {500, AFTER_RELEASE, 9.5},
          {700, BEFORE_RELEASE, 2.0}, {900, BEFORE_PRESS, 12.0}},
         3},
        {"333/s, 4.4 periods in a hold: 4.9 periods between presses, worked off", 333,
         {{50, BEFORE_RELEASE, 4.4}}, 0},
        {"333/s, 4.6 periods in a hold: restarted", 333, {{50, BEFORE_RELEASE, 4.6}}, 1},
        {"20/s, two stalls in holds, one a restart", 20,
         {{20, BEFORE_RELEASE, 4.4}, {60, BEFORE_RELEASE, 4.6}}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        reset_shared_state();
        perf_frequency = SIM_HZ;
        period_us = period_from_rate(c.rate);
        hold_us = hold_from_period(period_us);
        current_input = INPUT_CATALOGUE[INPUT_DEFAULT_INDEX];
        running.store(1);
        cycle_run = CycleRun{};
        cycle_run.now = 123456789;
        cycle_run.period_ticks = ticks_from_us(period_us, SIM_HZ);
        cycle_run.stalls = &c.stalls;
        cycle_run.total = 1000;
        cycle_run.rng = 42;

        pacing_cycle(&CYCLE_OPS);

        ASSERT_EQ(cycle_run.stamps_us.size(), 1000u);
        EXPECT_EQ(cycle_run.restarts, c.restarts) << "the cycle's own count";
        const std::vector<uint32_t> starts = segments_of(cycle_run.stamps_us, period_us);
        EXPECT_EQ((int32_t)starts.size() - 1, c.restarts) << "segments found in the stamps";
    }
}
