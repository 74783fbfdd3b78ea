// The texts and checks that several end-to-end scenarios share (e2e_checks.h).
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include "e2e_checks.h"

namespace {

// Whether one control should be enabled.
struct EnabledState {
    int32_t id;
    int32_t enabled;
};

// Records a failure for each control whose enabled state is not as listed.
void expect_enabled(Session *s, const char *when, const EnabledState *states, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        int32_t enabled = IsWindowEnabled(control(s, states[i].id)) ? 1 : 0;
        expect(s, enabled == states[i].enabled, "%s: control %d is %s, should be %s", when,
               states[i].id, enabled ? "enabled" : "disabled",
               states[i].enabled ? "enabled" : "disabled");
    }
}

// EnumChildWindows query: the child window showing a given text.
struct ChildTextQuery {
    const char *text;
    HWND found;
};

// EnumChildWindows callback: stops at the first child showing the text.
BOOL CALLBACK find_child_text_proc(HWND window, LPARAM lparam)
{
    ChildTextQuery *q = (ChildTextQuery *)lparam;
    char text[256];
    read_text(window, text, sizeof text);
    if (strcmp(text, q->text) == 0) {
        q->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// The texts the program shows, exactly as it must show them (both hotkeys
// registered, as in the test desktop).
const char READY_TEXT[] =
    "Ready. Nothing is sent until you press F6 or Start. F6 toggles, F8 stops (from any "
    "application).";
const char ARMED_SPACE[] =
    "Armed (Keyboard: Space): switch to the application you want it pressed in (click it or "
    "Alt+Tab). Pressing starts there automatically. F6 toggles, F8 stops (from any "
    "application).";
const char RATE_EMPTY_TEXT[] = "Rate: enter a number of clicks per second.";
const char RATE_NOT_UNDERSTOOD_TEXT[] =
    "Rate: not a number we understand (try 20, 1e6, 1 centillion, infinite).";
const char RATE_NOT_POSITIVE_TEXT[] = "Rate: must be greater than zero.";
const char RATE_BAD_INTERVAL_TEXT[] =
    "Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3).";
const char PLAN_1000[] =
    "Requested: 1000 CPS. Scheduled: 1000 per second, evenly spaced (1.00 ms between events). The "
    "actual rate in the game depends on Windows and the game; it is not measured here.";

// ---- checks shared by scenarios ---------------------------------------------------

void expect_idle_controls(Session *s, const char *when, int32_t interval_mode)
{
    const EnabledState states[] = {
        {IDC_INPUT_COMBO, 1},    {IDC_MODE_CPS, 1},       {IDC_CPS_EDIT, !interval_mode},
        {IDC_FASTEST, 1},        {IDC_MODE_INTERVAL, 1},  {IDC_COUNT_EDIT, interval_mode},
        {IDC_MS_EDIT, interval_mode}, {IDC_START, 1},
    };
    expect_enabled(s, when, states, (int32_t)(sizeof states / sizeof states[0]));
    char text[64];
    read_text(control(s, IDC_START), text, sizeof text);
    expect_text(s, when, text, "Start");
}

void expect_busy_controls(Session *s, const char *when)
{
    const EnabledState states[] = {
        {IDC_INPUT_COMBO, 0}, {IDC_MODE_CPS, 0},   {IDC_CPS_EDIT, 0}, {IDC_FASTEST, 0},
        {IDC_MODE_INTERVAL, 0}, {IDC_COUNT_EDIT, 0}, {IDC_MS_EDIT, 0}, {IDC_START, 1},
    };
    expect_enabled(s, when, states, (int32_t)(sizeof states / sizeof states[0]));
    char text[64];
    read_text(control(s, IDC_START), text, sizeof text);
    expect_text(s, when, text, "Stop");
}

void expect_stop_count(Session *s, const char *message, const char *unit, uint32_t from,
                       uint32_t down_message, uint32_t up_message, uint32_t wparam,
                       int64_t stop_sent, uint32_t switches)
{
    char got[E2E_TEXT_SIZE];
    char prefix[128];
    snprintf(prefix, sizeof prefix, "%s  (", message);
    if (!expect(s, wait_text_prefix(control(s, IDC_STATUS), prefix, got, sizeof got,
                                    E2E_REACTION_MS),
                "stop text \"%s...\" expected, status line is \"%s\"", prefix, got))
        return;
    sync_recorder(s);
    uint32_t downs = recorder_collect(s->rec, from, down_message, wparam, NULL, 0);
    uint32_t ups = recorder_collect(s->rec, from, up_message, wparam, NULL, 0);
    int32_t last_down = recorder_last(s->rec, from, down_message, wparam);
    int32_t last_up = recorder_last(s->rec, from, up_message, wparam);
    expect(s, ups + switches >= downs && ups <= downs + switches && last_up > last_down,
           "after the stop every press must be released: %u presses, %u releases", downs, ups);
    char want[E2E_TEXT_SIZE];
    snprintf(want, sizeof want, "%s  (%u %s sent)", message, downs, unit);
    if (strcmp(got, want) == 0) return;
    double last_up_ms =
        last_up >= 0 ? recorder_ms(recorder_event(s->rec, (uint32_t)last_up).qpc - stop_sent) : 0;
    int32_t cut = downs > 0 && last_up >= 0 && last_up_ms > 0;
    for (uint32_t n = downs - (uint32_t)cut; n <= downs + switches; ++n) {
        char allowed[E2E_TEXT_SIZE];
        snprintf(allowed, sizeof allowed, "%s  (%u %s sent)", message, n, unit);
        if (strcmp(got, allowed) == 0) return;
    }
    expect_text(s, "stop text with the count the recorder saw", got, want);
    note("    (the last release came %.2f ms after the stop was sent)", last_up_ms);
}

// ---- the single-instance notice ----------------------------------------------------

int32_t is_instance_notice(HWND box)
{
    ChildTextQuery q = {"Rivanta is already running.", NULL};
    EnumChildWindows(box, find_child_text_proc, (LPARAM)&q);
    return q.found != NULL;
}
