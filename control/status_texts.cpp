#include "control/status_texts.h"

#include <stdio.h>
#include "rate/rate_plan.h"
#include "control/hotkey_hint.h"

namespace {

const char *text_or_empty(const char *text) { return text ? text : ""; }

const char *name_of(const InputSpec *input) { return input ? text_or_empty(input->name) : ""; }

int is_mouse(const InputSpec *input) { return input && input->kind == KIND_MOUSE; }

// The rate a whole-microsecond period gives, as the status texts show it.
double rate_of_period(int32_t period) { return 1000000.0 / (double)period; }

// The count as the texts show it: never with a minus sign (see the header).
unsigned long shown_count(int32_t count) { return (unsigned long)(uint32_t)count; }

// Whether the caller gave a buffer that can take at least the terminator.
int usable(char *out, size_t size) { return out && size > 0; }

}  // namespace

const char RUNNING_SUFFIX_PAUSED_OWN_WINDOW[] = " - PAUSED while this window is active";
const char RUNNING_SUFFIX_PAUSED_CURSOR[] = " - PAUSED while the cursor is over this window";
const char RUNNING_SUFFIX_REFUSED[] =
    " - Windows is refusing the input (is the window in front running as administrator?)";

const char *running_suffix(int32_t own_in_front, int32_t paused, int32_t refused)
{
    if (own_in_front) return RUNNING_SUFFIX_PAUSED_OWN_WINDOW;
    if (paused) return RUNNING_SUFFIX_PAUSED_CURSOR;
    if (refused) return RUNNING_SUFFIX_REFUSED;
    return "";
}

char *compose_ready_text(char *out, size_t size, int32_t f6_ok, int32_t f8_ok)
{
    if (!usable(out, size)) return out;
    const char *hint = hotkey_hint_for(f6_ok, f8_ok);
    if (f6_ok && f8_ok) {
        snprintf(out, size, "Ready. Nothing is sent until you press F6 or Start. %s.", hint);
    } else {
        snprintf(out, size, "Ready, but %s%s%s already taken by another program. %s.",
                 f6_ok ? "" : "F6", (!f6_ok && !f8_ok) ? " and " : "", f8_ok ? "" : "F8", hint);
    }
    return out;
}

char *compose_start_text(char *out, size_t size, const InputSpec *input, int32_t period,
                         const char *hint)
{
    if (!usable(out, size)) return out;
    snprintf(out, size, "Running: %s at %.4g per second%s. %s.", name_of(input),
             rate_of_period(period),
             is_mouse(input) ? " at the cursor position" : " in the active application",
             text_or_empty(hint));
    return out;
}

char *compose_armed_text(char *out, size_t size, const InputSpec *input, const char *hint)
{
    if (!usable(out, size)) return out;
    if (is_mouse(input)) {
        snprintf(out, size,
                 "Armed (%s): switch to the application you want clicked and put the cursor where "
                 "the clicks should land. Clicking starts there automatically. %s.",
                 name_of(input), text_or_empty(hint));
    } else {
        snprintf(out, size,
                 "Armed (%s): switch to the application you want it pressed in (click it or "
                 "Alt+Tab). Pressing starts there automatically. %s.",
                 name_of(input), text_or_empty(hint));
    }
    return out;
}

char *compose_running_text(char *out, size_t size, const InputSpec *input, int32_t period,
                           int32_t count, const char *suffix, const char *hint)
{
    if (!usable(out, size)) return out;
    snprintf(out, size, "Running: %s at %.4g per second, %lu sent%s. %s.", name_of(input),
             rate_of_period(period), shown_count(count), text_or_empty(suffix),
             text_or_empty(hint));
    return out;
}

char *compose_stop_text(char *out, size_t size, const char *message, int32_t count, uint32_t kind)
{
    if (!usable(out, size)) return out;
    snprintf(out, size, "%s  (%lu %s sent)", text_or_empty(message), shown_count(count),
             kind == KIND_MOUSE ? "clicks" : "presses");
    return out;
}

char *compose_rate_refusal(char *out, size_t size, uint32_t status)
{
    if (!usable(out, size)) return out;
    snprintf(out, size, "Rate: %s.", rate_status_text(status));
    return out;
}

char *compose_fastest_text(char *out, size_t size, const char *preset, const char *hint)
{
    if (!usable(out, size)) return out;
    snprintf(out, size,
             "Fastest mode applied: %s per second scheduled (this app's fastest scheduled rate, 1 "
             "ms apart - not a measured in-game rate). Input unchanged. Nothing is sent until F6 "
             "or Start. %s.",
             text_or_empty(preset), text_or_empty(hint));
    return out;
}

char *compose_fastest_caption(char *out, size_t size, const char *preset)
{
    if (!usable(out, size)) return out;
    snprintf(out, size, "Fastest mode (%s/s scheduled)", text_or_empty(preset));
    return out;
}
