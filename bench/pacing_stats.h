// Figures of a recorded run of press/release pairs: pairing the recorded
// edges, the evenly spaced schedule fitted to the presses by least squares,
// and the spread of deviations (mean, percentiles, maximum). Portable; used
// by the pacing benchmark's driver and tested natively.
#pragma once
#include <stdint.h>

// One recorded edge of the repeated input, its stamp in microseconds.
struct Edge {
    double us;
    int32_t down;  // 1 press, 0 release
};

// What pair_edges found in a recording.
struct PairCount {
    uint32_t presses;          // press edges
    uint32_t releases;         // release edges
    uint32_t pairs;            // presses followed by a release before the next press
    uint32_t unreleased;       // presses followed by another press, or by nothing
    uint32_t stray_releases;   // releases with no press since the last release
};

// Walks the edges in order. Writes the stamp of every press to press_us and
// the hold (release minus press) of every pair to hold_us, each array with
// room for n values. Never reads past n edges.
PairCount pair_edges(const Edge *edges, uint32_t n, double *press_us, double *hold_us);

// The evenly spaced schedule t(i) = offset_us + period_us * i that fits press
// i of a run best in the least-squares sense.
struct EvenFit {
    double offset_us;
    double period_us;
};

// The fit to n press stamps (the i-th stamp belongs to slot i). With fewer
// than 2 stamps the period is 0 and the offset is the stamp (or 0).
EvenFit fit_even_schedule(const double *press_us, uint32_t n);

// The schedule with the given period that fits n press stamps best in the
// least-squares sense: only the offset is fitted (the mean of press_us[i] -
// period_us * i). With no stamps the offset is 0.
EvenFit fit_offset_at_period(const double *press_us, uint32_t n, double period_us);

// Writes press_us[i] - fit(i), the signed deviation of each press from the
// fitted schedule, to deviation_us (room for n).
void deviations_from_fit(const double *press_us, uint32_t n, EvenFit fit, double *deviation_us);

// Spread of a set of deviations, taken by absolute value.
struct Spread {
    uint32_t n;
    double mean_abs;
    double p50;
    double p99;
    double max;
};

// The spread of the absolute values of the n values. Sorts scratch (room for
// n) and leaves the sorted absolute values there; values is not changed.
// Percentiles are nearest-rank: the smallest value with at least p% of the
// set at or below it. All zero for n = 0.
Spread spread_of(const double *values, uint32_t n, double *scratch);

// The nearest-rank p-th percentile (0 < p <= 100) of n ascending values; 0
// for n = 0.
double percentile_sorted(const double *sorted, uint32_t n, double p);
