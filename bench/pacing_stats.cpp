#include "pacing_stats.h"
#include <math.h>
#include <stdlib.h>
#include "pacing/pacing_math.h"

namespace {

int compare_doubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

// Segment g holds the presses from segment_start[g] up to this index.
uint32_t segment_end(const uint32_t *segment_start, uint32_t segments, uint32_t g, uint32_t n)
{
    return g + 1 < segments ? segment_start[g + 1] : n;
}

}  // namespace

PairCount pair_edges(const Edge *edges, uint32_t n, double *press_us, double *hold_us)
{
    PairCount c = {0, 0, 0, 0, 0};
    int32_t open = 0;     // a press waits for its release
    double open_at = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        if (edges[i].down) {
            if (open) ++c.unreleased;
            press_us[c.presses++] = edges[i].us;
            open = 1;
            open_at = edges[i].us;
        } else {
            ++c.releases;
            if (open) {
                hold_us[c.pairs++] = edges[i].us - open_at;
                open = 0;
            } else {
                ++c.stray_releases;
            }
        }
    }
    if (open) ++c.unreleased;
    return c;
}

EvenFit fit_even_schedule(const double *press_us, uint32_t n)
{
    EvenFit fit = {n > 0 ? press_us[0] : 0.0, 0.0};
    if (n < 2) return fit;
    // Stamps are summed relative to the first and the sums are centred on
    // the means, so that long runs far from the counter's origin lose no
    // precision.
    const double base = press_us[0];
    double mean_i = (double)(n - 1) / 2.0;
    double mean_t = 0.0;
    for (uint32_t i = 0; i < n; ++i) mean_t += press_us[i] - base;
    mean_t /= (double)n;
    double sxy = 0.0, sxx = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        double di = (double)i - mean_i;
        sxy += di * (press_us[i] - base - mean_t);
        sxx += di * di;
    }
    fit.period_us = sxy / sxx;
    fit.offset_us = base + (mean_t - fit.period_us * mean_i);
    return fit;
}

EvenFit fit_offset_at_period(const double *press_us, uint32_t n, double period_us)
{
    EvenFit fit = {0.0, period_us};
    if (n == 0) return fit;
    const double base = press_us[0];  // summed relative to the first, as above
    double sum = 0.0;
    for (uint32_t i = 0; i < n; ++i) sum += press_us[i] - base - period_us * (double)i;
    fit.offset_us = base + sum / (double)n;
    return fit;
}

void deviations_from_fit(const double *press_us, uint32_t n, EvenFit fit, double *deviation_us)
{
    for (uint32_t i = 0; i < n; ++i)
        deviation_us[i] = press_us[i] - (fit.offset_us + fit.period_us * (double)i);
}

uint32_t split_at_restarts(const double *press_us, uint32_t n, double period_us,
                           uint32_t *segment_start, double *scratch)
{
    if (n == 0) return 0;
    // Positions on the grid of whole periods through press 0 (press m at
    // press_us[m] - period * m), relative to the first stamp so that long
    // runs keep their precision; a later position is a press further behind.
    // scratch[m] holds the earliest position of press m and every press after it.
    const double base = press_us[0];
    scratch[n - 1] = press_us[n - 1] - base - period_us * (double)(n - 1);
    for (uint32_t m = n - 1; m-- > 0;) {
        const double at = press_us[m] - base - period_us * (double)m;
        scratch[m] = at < scratch[m + 1] ? at : scratch[m + 1];
    }
    const double limit = (double)CATCH_UP_PERIODS * period_us;
    uint32_t segments = 0;
    segment_start[segments++] = 0;
    double earliest = 0.0;  // of the segment's presses so far
    for (uint32_t k = 1; k + 1 < n; ++k) {
        const double at = press_us[k] - base - period_us * (double)k;
        if (scratch[k] > earliest + limit) {
            segment_start[segments++] = k;
            earliest = at;
        } else if (at < earliest) {
            earliest = at;
        }
    }
    return segments;
}

double longest_gap_us(const double *press_us, uint32_t n)
{
    double longest = 0.0;
    for (uint32_t i = 1; i < n; ++i)
        if (press_us[i] - press_us[i - 1] > longest) longest = press_us[i] - press_us[i - 1];
    return longest;
}

double fit_segments(const double *press_us, uint32_t n, const uint32_t *segment_start,
                    uint32_t segments, double *offset_us)
{
    // Each segment is centred on its own means (stamps relative to its first
    // press), so the common period weighs every segment by its spread alone.
    double sxy = 0.0, sxx = 0.0;
    for (uint32_t g = 0; g < segments; ++g) {
        const uint32_t first = segment_start[g], end = segment_end(segment_start, segments, g, n);
        const uint32_t m = end - first;
        const double base = press_us[first], mean_j = (double)(m - 1) / 2.0;
        double mean_t = 0.0;
        for (uint32_t i = first; i < end; ++i) mean_t += press_us[i] - base;
        mean_t /= (double)m;
        for (uint32_t i = first; i < end; ++i) {
            const double dj = (double)(i - first) - mean_j;
            sxy += dj * (press_us[i] - base - mean_t);
            sxx += dj * dj;
        }
        offset_us[g] = mean_t;  // finished below, once the period is known
    }
    const double period = sxx > 0.0 ? sxy / sxx : 0.0;
    for (uint32_t g = 0; g < segments; ++g) {
        const uint32_t first = segment_start[g], end = segment_end(segment_start, segments, g, n);
        offset_us[g] = press_us[first] + offset_us[g] - period * (double)(end - first - 1) / 2.0;
    }
    return period;
}

void fit_segment_offsets(const double *press_us, uint32_t n, const uint32_t *segment_start,
                         uint32_t segments, double period_us, double *offset_us)
{
    for (uint32_t g = 0; g < segments; ++g) {
        const uint32_t first = segment_start[g], end = segment_end(segment_start, segments, g, n);
        offset_us[g] = fit_offset_at_period(press_us + first, end - first, period_us).offset_us;
    }
}

void deviations_from_segments(const double *press_us, uint32_t n, const uint32_t *segment_start,
                              uint32_t segments, double period_us, const double *offset_us,
                              double *deviation_us)
{
    for (uint32_t g = 0; g < segments; ++g) {
        const uint32_t first = segment_start[g], end = segment_end(segment_start, segments, g, n);
        const EvenFit fit = {offset_us[g], period_us};
        deviations_from_fit(press_us + first, end - first, fit, deviation_us + first);
    }
}

double percentile_sorted(const double *sorted, uint32_t n, double p)
{
    if (n == 0) return 0.0;
    double rank = ceil(p / 100.0 * (double)n);
    if (rank < 1.0) rank = 1.0;
    if (rank > (double)n) rank = (double)n;
    return sorted[(uint32_t)rank - 1];
}

Spread spread_of(const double *values, uint32_t n, double *scratch)
{
    Spread s = {n, 0.0, 0.0, 0.0, 0.0};
    if (n == 0) return s;
    double sum = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        scratch[i] = fabs(values[i]);
        sum += scratch[i];
    }
    qsort(scratch, n, sizeof scratch[0], compare_doubles);
    s.mean_abs = sum / (double)n;
    s.p50 = percentile_sorted(scratch, n, 50.0);
    s.p99 = percentile_sorted(scratch, n, 99.0);
    s.max = scratch[n - 1];
    return s;
}
