#include "rate/rate_plan.h"
#include <math.h>
#include <stdio.h>
#include <string.h>
#include "common/count_of.h"
#include "common/shared_state.h"
#include "rate/rate_eval.h"

namespace {

// Built from its bit pattern so that no compiler's or runtime's reading of a
// decimal literal can shift it by an ulp.
double double_from_bits(uint64_t bits)
{
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

// Status texts, indexed by RateStatus.
const char *const RATE_STATUS_TEXTS[] = {
    "ok",
    "above the practical maximum; running at the maximum",
    "below the minimum; running at the minimum",
    "enter a number of clicks per second",
    "not a number we understand (try 20, 1e6, 1 centillion, infinite)",
    "must be greater than zero",
    "the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3)",
};
static_assert(COUNT_OF(RATE_STATUS_TEXTS) == RATE_BAD_INTERVAL + 1, "one text per RateStatus");

}  // namespace

// The Schedule (20 per second until the first run is set up).
int32_t hold_us = 25000;
int32_t period_us = 50000;

const double UNDERFLOW_RATE = double_from_bits(0x3E7AD7F29ABCAF49ull);

const char *rate_status_text(uint32_t status)
{
    if (status >= COUNT_OF(RATE_STATUS_TEXTS)) return "?";
    return RATE_STATUS_TEXTS[status];
}

void classify_rate(RateEntry *entry)
{
    double r = entry->requested_rate;
    if (!(r > 0.0)) {
        entry->status = RATE_NOT_POSITIVE;
        entry->scheduled_rate = 0.0;
    } else if (isinf(r) || r > MAX_SCHEDULED_RATE) {
        entry->status = RATE_ABOVE_MAX;
        entry->scheduled_rate = MAX_SCHEDULED_RATE;
    } else if (r < MIN_SCHEDULED_RATE) {
        entry->status = RATE_BELOW_MIN;
        entry->scheduled_rate = MIN_SCHEDULED_RATE;
    } else {
        entry->status = RATE_OK;
        entry->scheduled_rate = r;
    }
}

RateEntry read_rate_per_second(const char *text)
{
    RateEntry entry;
    memset(&entry, 0, sizeof entry);
    int32_t status = parse_rate_text(text, &entry);
    if (status != RATE_OK) {
        entry.status = (uint32_t)status;
        return entry;
    }
    classify_rate(&entry);
    return entry;
}

RateEntry read_rate_interval(const char *count_text, const char *ms_text)
{
    RateEntry count;
    RateEntry ms;
    memset(&count, 0, sizeof count);
    memset(&ms, 0, sizeof ms);

    int32_t status = parse_rate_text(count_text, &count);
    if (status != RATE_OK) {
        count.status = (uint32_t)status;
        return count;
    }
    if (!(count.requested_rate > 0.0)) {
        count.status = RATE_NOT_POSITIVE;
        count.scheduled_rate = 0.0;
        return count;
    }
    status = parse_rate_text(ms_text, &ms);
    if (status != RATE_OK || !(ms.requested_rate > 0.0) || isinf(ms.requested_rate)) {
        count.status = RATE_BAD_INTERVAL;
        count.requested_rate = 0.0;
        count.scheduled_rate = 0.0;
        memset(count.description, 0, sizeof count.description);
        return count;
    }

    double q = (count.requested_rate / ms.requested_rate) * 1000.0;
    if (ms.overflowed || isinf(q)) count.overflowed = 1;

    // The count's own description is one input of the combined one.
    char count_description[RATE_DESCRIPTION_SIZE];
    memcpy(count_description, count.description, sizeof count_description);
    memset(count.description, 0, sizeof count.description);
    if (!(q > 0.0)) {
        count.requested_rate = UNDERFLOW_RATE;
        snprintf(count.description, RATE_DESCRIPTION_BOUND, "%s every %s ms = %.4g per second",
                 count_description, ms.description, UNDERFLOW_RATE);
    } else if (isinf(q)) {
        count.requested_rate = INFINITY;
        snprintf(count.description, RATE_DESCRIPTION_BOUND, "%s every %s ms (beyond 1e308 per second)",
                 count_description, ms.description);
    } else {
        count.requested_rate = q;
        snprintf(count.description, RATE_DESCRIPTION_BOUND, "%s every %s ms = %.4g per second",
                 count_description, ms.description, q);
    }
    classify_rate(&count);
    return count;
}

int32_t period_from_rate(double rate)
{
    if (!(rate > 0.0)) return 1000000;
    if (rate > MAX_SCHEDULED_RATE) return 1000;
    if (rate < MIN_SCHEDULED_RATE) return 10000000;
    return (int32_t)(1000000.0 / rate + 0.5);
}

int32_t hold_from_period(int32_t period)
{
    if (period < 2000) return 1000;
    if (period > 50001) return 25000;
    return period >> 1;
}

char *fastest_preset_text(char *buffer, uint64_t size)
{
    if (buffer && size) snprintf(buffer, (size_t)size, "%.10g", MAX_SCHEDULED_RATE);
    return buffer;
}

char *compose_plan_line(const RateEntry *entry, int interval_mode, char *out, size_t out_size)
{
    if (!out || !out_size) return out;
    const char *suffix = interval_mode ? "" : " CPS";
    double scheduled = entry->scheduled_rate;
    // The description is read with its bound, so that an entry whose text
    // lost its terminator cannot make the formatter read past the field.
    const int description_max = RATE_DESCRIPTION_BOUND - 1;
    switch (entry->status) {
    case RATE_OK:
        snprintf(out, out_size,
                 "Requested: %.*s%s. Scheduled: %.4g per second, evenly spaced (%.2f ms between events). "
                 "The actual rate in the game depends on Windows and the game; it is not measured here.",
                 description_max, entry->description, suffix, scheduled, (double)period_from_rate(scheduled) / 1000.0);
        break;
    case RATE_ABOVE_MAX:
        snprintf(out, out_size,
                 "Requested: %.*s%s. LIMITED: this tool tops out at the practical maximum of %.0f events "
                 "per second (1 ms apart, evenly spaced, never a burst). Scheduled: %.0f per second. "
                 "There is no infinite or sub-millisecond click speed; games usually register far fewer.",
                 description_max, entry->description, suffix, MAX_SCHEDULED_RATE, scheduled);
        break;
    case RATE_BELOW_MIN:
        snprintf(out, out_size, "Requested: %.*s%s: %s. Scheduled: %.1f per second (one event every %.0f s).",
                 description_max, entry->description, suffix, rate_status_text(RATE_BELOW_MIN), scheduled, 1.0 / scheduled);
        break;
    default:
        snprintf(out, out_size, "Rate: %s.", rate_status_text(entry->status));
        break;
    }
    return out;
}
