// The result of reading a rate: RateStatus and RateEntry, shared by the whole
// rate language, the run controller and the window. Portable.
#pragma once
#include <stdint.h>

// Verdict on a rate text. Codes 0..2 are runnable. RATE_BAD_INTERVAL is the
// last: the status-text table in rate_plan.cpp checks its length against it.
enum RateStatus : uint32_t {
    RATE_OK = 0,
    RATE_ABOVE_MAX = 1,
    RATE_BELOW_MIN = 2,
    RATE_EMPTY = 3,
    RATE_NOT_UNDERSTOOD = 4,
    RATE_NOT_POSITIVE = 5,
    RATE_BAD_INTERVAL = 6,
};

const int32_t RATE_DESCRIPTION_SIZE = 100;  // storage of RateEntry::description
const int32_t RATE_DESCRIPTION_BOUND = 96;  // every writer bounds to this: at most 95 characters

// A plain value, copied whole. A fresh entry is all zero.
struct RateEntry {
    uint32_t status;          // a RateStatus
    double requested_rate;    // events per second as asked for (may be 0, negative, nan, +inf)
    double scheduled_rate;    // in [0.1, 1000] for statuses 0..2, else 0
    uint32_t overflowed;      // 1 when a value left the double range while reading
    char description[RATE_DESCRIPTION_SIZE];
};
