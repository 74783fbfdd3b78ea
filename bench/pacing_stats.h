// Figures of a recorded run of press/release pairs: pairing the recorded
// edges, the restarts of the sender's schedule, the evenly spaced schedules
// fitted to the presses by least squares, and the spread of deviations
// (mean, percentiles, maximum). Portable; used by the pacing benchmark's and
// the soak's drivers and tested natively.
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

// ---- restarts of the schedule ---------------------------------------------------
//
// The worker's rule (next_deadline in pacing/pacing_math.h): after each pair
// the next press is due a whole period after the last deadline, unless the
// counter already stands more than CATCH_UP_PERIODS periods beyond that; then
// it is due at once and the schedule goes on from there. A press never goes
// out before its deadline, and presses that fell behind go out back to back
// until the schedule is caught up. So against the grid of whole periods
// through the earliest press of a segment (press i at t_i - i * period, the
// lowest so far), a sender that has not restarted comes back to within four
// periods of the grid once its backlog is worked off, while after a restart
// every later press stays more than four periods behind it. The gap between
// two presses alone does not tell: a press on time followed by a stall of 4.5
// to 5 periods leaves a gap of more than 4.5 periods without a restart, and a
// press that was itself late can be followed by a restart within a period.

// Splits n press stamps (ascending, microseconds) of a sender whose schedule
// has the given period into segments, one per stretch without a restart:
// press k begins a new segment when it and every press after it (at least
// one) lie more than CATCH_UP_PERIODS periods behind the grid of the
// segment's presses before k. The last press alone never begins one.
// Writes the index of each segment's first press to segment_start (room for
// n) and returns the number of segments: 0 for no press, else the restarts
// plus 1. scratch: room for n values.
uint32_t split_at_restarts(const double *press_us, uint32_t n, double period_us,
                           uint32_t *segment_start, double *scratch);

// The longest time between two consecutive presses, in microseconds; 0 for
// fewer than two.
double longest_gap_us(const double *press_us, uint32_t n);

// The period common to all segments and the offset of each that together fit
// the presses best in the least-squares sense, press j of a segment against
// offset + period * j. Writes the offsets to offset_us (room for segments)
// and returns the period; when no segment holds two presses the period is 0
// and each offset is its segment's first stamp.
double fit_segments(const double *press_us, uint32_t n, const uint32_t *segment_start,
                    uint32_t segments, double *offset_us);

// The offset of each segment that fits its presses best at the given period
// (only the offsets are fitted), to offset_us (room for segments).
void fit_segment_offsets(const double *press_us, uint32_t n, const uint32_t *segment_start,
                         uint32_t segments, double period_us, double *offset_us);

// Writes each press's signed deviation from its segment's schedule (offset +
// period * j for press j of the segment) to deviation_us (room for n).
void deviations_from_segments(const double *press_us, uint32_t n, const uint32_t *segment_start,
                              uint32_t segments, double period_us, const double *offset_us,
                              double *deviation_us);

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
