// The rate plan: classification against the limits, per-second and interval
// readings of box texts, the Schedule, the status texts and the plan-line
// text. Portable; the Win32 side (reading the boxes, showing the line) is in
// rate_boxes_win.h.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "rate/rate_entry.h"

const double MAX_SCHEDULED_RATE = 1000.0;
const double MIN_SCHEDULED_RATE = 0.1;
const int32_t RATE_BOX_TEXT_SIZE = 128;  // a box is read up to 127 characters
const int32_t PLAN_TEXT_SIZE = 512;
// 1.0000000000000001e-07, one ulp above the double nearest 1e-7; stands in
// for an interval quotient that came out not greater than zero.
extern const double UNDERFLOW_RATE;

// Sets status and scheduled_rate from requested_rate; touches nothing else.
void classify_rate(RateEntry *entry);
// Reads the per-second box text (null reads as empty).
RateEntry read_rate_per_second(const char *text);
// Reads "count every ms milliseconds" from the two box texts.
RateEntry read_rate_interval(const char *count_text, const char *ms_text);
// Period in microseconds for a rate, in [1000, 10000000].
int32_t period_from_rate(double rate);
// Hold for a period: half of it, bounded to [1000, 25000].
int32_t hold_from_period(int32_t period);
// Constant text naming a status; "?" for unknown codes.
const char *rate_status_text(uint32_t status);
// Writes "1000" (the top scheduled rate) into buffer, bounded by size; does
// nothing for a null buffer or a size of 0. Returns buffer.
char *fastest_preset_text(char *buffer, uint64_t size);
// Composes the plan line for an entry read in the given mode (interval_mode
// 1: no " CPS" suffix) into out, bounded by out_size. Returns out.
char *compose_plan_line(const RateEntry *entry, int interval_mode, char *out, size_t out_size);
