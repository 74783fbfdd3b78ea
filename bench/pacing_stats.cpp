#include "pacing_stats.h"
#include <math.h>
#include <stdlib.h>

namespace {

int compare_doubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
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
