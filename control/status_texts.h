// The texts of the main window's status line (ready, armed, running, stopped,
// refusals, fastest mode) and the fastest button's caption, composed into
// caller-owned buffers. Portable: the run controller and the window call it.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "input/input_catalogue.h"

// Buffer size of each text; a longer text is cut at its buffer's size.
const size_t STATUS_READY_SIZE = 300;
const size_t STATUS_START_SIZE = 256;
const size_t STATUS_ARMED_SIZE = 300;
const size_t STATUS_RUNNING_SIZE = 256;
const size_t STATUS_STOP_SIZE = 256;
const size_t STATUS_RATE_REFUSAL_SIZE = 200;
const size_t STATUS_FASTEST_SIZE = 300;
const size_t STATUS_FASTEST_CAPTION_SIZE = 64;
const size_t STATUS_PRESET_SIZE = 32;

// Each function writes its text into out, bounded by size (nothing for a null
// out or a size of 0), and returns out. A null text argument reads as empty.
//
// Counts of sent pairs: the worker's count stops at 2147483647, its top, and
// is never negative. Should a negative value reach a text all the same, it is
// shown as its unsigned 32-bit reading, never with a minus sign.

// "Ready. ..." naming whichever hotkey could not be registered.
char *compose_ready_text(char *out, size_t size, int32_t f6_ok, int32_t f8_ok);
// "Running: <name> at <rate> per second<where>. <hint>." for a run just
// started; the rate is 1000000 / period, the period in microseconds.
char *compose_start_text(char *out, size_t size, const InputSpec *input, int32_t period,
                         const char *hint);
// "Armed (<name>): switch to ..." in its keyboard or mouse wording.
char *compose_armed_text(char *out, size_t size, const InputSpec *input, const char *hint);
// The suffixes the running status line puts after its count.
extern const char RUNNING_SUFFIX_PAUSED_OWN_WINDOW[];  // " - PAUSED while this window is active"
extern const char RUNNING_SUFFIX_PAUSED_CURSOR[];      // " - PAUSED while the cursor is over this window"
extern const char RUNNING_SUFFIX_REFUSED[];            // " - Windows is refusing the input (...)"
// The suffix for the state of the run: the program's own window in front
// first, then any other pause (a mouse input with the cursor over the
// window), then the system refusing the most recent press; else "". A
// paused run sends nothing, so a refusal seen before the pause is no news.
const char *running_suffix(int32_t own_in_front, int32_t paused, int32_t refused);
// The status refresh while running: "Running: <name> at <rate> per second,
// <count> sent<suffix>. <hint>."; with the longest name, rate, count, suffix
// and hint it still fits STATUS_RUNNING_SIZE.
char *compose_running_text(char *out, size_t size, const InputSpec *input, int32_t period,
                           int32_t count, const char *suffix, const char *hint);
// "<message>  (<count> presses|clicks sent)"; clicks for a mouse input.
char *compose_stop_text(char *out, size_t size, const char *message, int32_t count, uint32_t kind);
// "Rate: <status text>." for a rate that cannot run.
char *compose_rate_refusal(char *out, size_t size, uint32_t status);
// "Fastest mode applied: <preset> per second scheduled (...). <hint>."
char *compose_fastest_text(char *out, size_t size, const char *preset, const char *hint);
// "Fastest mode (<preset>/s scheduled)", the fastest button's caption.
char *compose_fastest_caption(char *out, size_t size, const char *preset);
