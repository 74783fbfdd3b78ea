#include <gtest/gtest.h>
#include <math.h>
#include <vector>
#include "pacing_stats.h"

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
