// End-to-end scenarios of the settings: the plan line after every change of
// the rate boxes and of the mode, the fastest button, and the starts that the
// program must refuse.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include "e2e_checks.h"

namespace {

// The status line after the fastest button.
const char FASTEST_STATUS[] =
    "Fastest mode applied: 1000 per second scheduled (this app's fastest scheduled rate, 1 ms "
    "apart - not a measured in-game rate). Input unchanged. Nothing is sent until F6 or Start. "
    "F6 toggles, F8 stops (from any application).";

// A box's text and the plan line it must produce.
struct PlanCase {
    const char *box_text;
    const char *plan;
};

const PlanCase PER_SECOND_PLANS[] = {
    {"1001",
     "Requested: 1001 CPS. LIMITED: this tool tops out at the practical maximum of 1000 events "
     "per second (1 ms apart, evenly spaced, never a burst). Scheduled: 1000 per second. There is "
     "no infinite or sub-millisecond click speed; games usually register far fewer."},
    {"infinite",
     "Requested: infinite CPS. LIMITED: this tool tops out at the practical maximum of 1000 "
     "events per second (1 ms apart, evenly spaced, never a burst). Scheduled: 1000 per second. "
     "There is no infinite or sub-millisecond click speed; games usually register far fewer."},
    {"0.05",
     "Requested: 0.05 CPS: below the minimum; running at the minimum. Scheduled: 0.1 per second "
     "(one event every 10 s)."},
    {"0.1",
     "Requested: 0.1 CPS. Scheduled: 0.1 per second, evenly spaced (10000.00 ms between events). "
     "The actual rate in the game depends on Windows and the game; it is not measured here."},
    {"-3", "Rate: must be greater than zero."},
    {"twenty", "Rate: not a number we understand (try 20, 1e6, 1 centillion, infinite)."},
    {"", "Rate: enter a number of clicks per second."},
};

// What the plan line shows after each keystroke of "333" typed into an empty box.
const PlanCase TYPED_PLANS[] = {
    {"3",
     "Requested: 3 CPS. Scheduled: 3 per second, evenly spaced (333.33 ms between events). The "
     "actual rate in the game depends on Windows and the game; it is not measured here."},
    {"33",
     "Requested: 33 CPS. Scheduled: 33 per second, evenly spaced (30.30 ms between events). The "
     "actual rate in the game depends on Windows and the game; it is not measured here."},
    {"333",
     "Requested: 333 CPS. Scheduled: 333 per second, evenly spaced (3.00 ms between events). The "
     "actual rate in the game depends on Windows and the game; it is not measured here."},
};

// The interval boxes' texts and the plan line they must produce.
struct IntervalPlanCase {
    const char *count;
    const char *ms;
    const char *plan;
};

const IntervalPlanCase INTERVAL_PLANS[] = {
    {"3", "7",
     "Requested: 3 every 7 ms = 428.6 per second. Scheduled: 428.6 per second, evenly spaced "
     "(2.33 ms between events). The actual rate in the game depends on Windows and the game; it "
     "is not measured here."},
    {"10", "0.1",
     "Requested: 10 every 0.1 ms = 1e+05 per second. LIMITED: this tool tops out at the practical "
     "maximum of 1000 events per second (1 ms apart, evenly spaced, never a burst). Scheduled: "
     "1000 per second. There is no infinite or sub-millisecond click speed; games usually "
     "register far fewer."},
    {"1", "0", "Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, "
               "2.5e-3)."},
    {"0", "100", "Rate: must be greater than zero."},
};

const char PLAN_10_EVERY_100[] =
    "Requested: 10 every 100 ms = 100 per second. Scheduled: 100 per second, evenly spaced (10.00 "
    "ms between events). The actual rate in the game depends on Windows and the game; it is not "
    "measured here.";

// Settings that a start must refuse, the refusal text and where the focus
// goes.
struct RefusalCase {
    const char *label;
    int32_t list_index;  // -1: no entry selected
    int32_t interval_mode;
    const char *cps, *count, *ms;
    const char *status;
    int32_t focus;  // the control that holds the focus afterwards
};

// Neighbouring cases differ in their text, so a status line left over from the
// case before cannot pass for the refusal.
const RefusalCase REFUSALS[] = {
    {"empty per-second box", 2, 0, "", "10", "100", RATE_EMPTY_TEXT, IDC_CPS_EDIT},
    {"interval of 0 ms", 2, 1, "20", "10", "0", RATE_BAD_INTERVAL_TEXT, IDC_MS_EDIT},
    {"empty count box", 2, 1, "20", "", "100", RATE_EMPTY_TEXT, IDC_COUNT_EDIT},
    {"per-second word not understood", 2, 0, "twenty", "10", "100", RATE_NOT_UNDERSTOOD_TEXT,
     IDC_CPS_EDIT},
    {"empty milliseconds box", 2, 1, "20", "10", "", RATE_BAD_INTERVAL_TEXT, IDC_MS_EDIT},
    {"negative per-second rate", 2, 0, "-3", "10", "100", RATE_NOT_POSITIVE_TEXT, IDC_CPS_EDIT},
    {"no input chosen", -1, 0, "20", "10", "100", "Choose a key first.", IDC_START},
    {"count of zero", 2, 1, "20", "0", "100", RATE_NOT_POSITIVE_TEXT, IDC_COUNT_EDIT},
    {"count not understood", 2, 1, "20", "many", "100", RATE_NOT_UNDERSTOOD_TEXT, IDC_COUNT_EDIT},
};

}  // namespace

// ---- scenario: plan line, modes and the fastest button ------------------------------

// The plan line follows each change of the boxes and of the mode; the fastest
// button selects the per-second mode with its preset; neither acts while a run
// is armed.
void scenario_plan_and_modes(Session *s)
{
    HWND plan = control(s, IDC_PLAN);
    HWND cps = control(s, IDC_CPS_EDIT);

    for (size_t i = 0; i < sizeof PER_SECOND_PLANS / sizeof PER_SECOND_PLANS[0]; ++i) {
        set_text(cps, PER_SECOND_PLANS[i].box_text);
        char what[96];
        snprintf(what, sizeof what, "plan line for \"%s\" per second", PER_SECOND_PLANS[i].box_text);
        expect_text_soon(s, what, plan, PER_SECOND_PLANS[i].plan);
    }

    // Real keystrokes into the (now empty) box: the plan follows every one.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    POINT p = screen_center_of(cps);
    left_click_at(s, p.x, p.y);
    expect(s, wait_focus(s, IDC_CPS_EDIT, E2E_REACTION_MS), "clicking the per-second box did not "
                                                            "give it the focus");
    for (size_t i = 0; i < sizeof TYPED_PLANS / sizeof TYPED_PLANS[0]; ++i) {
        press_key('3');
        char what[96];
        snprintf(what, sizeof what, "plan line after typing \"%s\"", TYPED_PLANS[i].box_text);
        expect_text_soon(s, what, plan, TYPED_PLANS[i].plan);
    }

    // The interval radio button enables the interval boxes and shows their plan.
    click(control(s, IDC_MODE_INTERVAL));
    expect(s, is_checked(control(s, IDC_MODE_INTERVAL)) && !is_checked(control(s, IDC_MODE_CPS)),
           "clicking the interval radio button did not select the interval mode alone");
    expect_idle_controls(s, "interval mode selected", 1);
    expect_text_soon(s, "plan line of the interval boxes", plan, PLAN_10_EVERY_100);
    for (size_t i = 0; i < sizeof INTERVAL_PLANS / sizeof INTERVAL_PLANS[0]; ++i) {
        set_text(control(s, IDC_COUNT_EDIT), INTERVAL_PLANS[i].count);
        set_text(control(s, IDC_MS_EDIT), INTERVAL_PLANS[i].ms);
        char what[96];
        snprintf(what, sizeof what, "plan line for %s every %s ms", INTERVAL_PLANS[i].count,
                 INTERVAL_PLANS[i].ms);
        expect_text_soon(s, what, plan, INTERVAL_PLANS[i].plan);
    }
    set_text(control(s, IDC_COUNT_EDIT), "3");
    set_text(control(s, IDC_MS_EDIT), "7");

    // Back to per-second: its box (still "333") is read again.
    click(control(s, IDC_MODE_CPS));
    expect_idle_controls(s, "per-second mode selected again", 0);
    expect_text_soon(s, "plan line back in per-second mode", plan, TYPED_PLANS[2].plan);

    // Fastest, from interval mode and with another input chosen: per-second
    // mode, the preset 1000, its status text; the input and the interval boxes
    // are left alone and nothing starts.
    click(control(s, IDC_MODE_INTERVAL));
    HWND combo = control(s, IDC_INPUT_COMBO);
    send_to(combo, CB_SETCURSEL, 14, 0);
    click(control(s, IDC_FASTEST));
    expect(s, is_checked(control(s, IDC_MODE_CPS)) && !is_checked(control(s, IDC_MODE_INTERVAL)),
           "the fastest button did not select the per-second mode alone");
    char text[E2E_TEXT_SIZE];
    read_text(cps, text, sizeof text);
    expect_text(s, "per-second box after the fastest button", text, "1000");
    expect_text_soon(s, "plan line after the fastest button", plan, PLAN_1000);
    expect_text_soon(s, "status line after the fastest button", control(s, IDC_STATUS),
                     FASTEST_STATUS);
    expect_idle_controls(s, "after the fastest button", 0);
    expect(s, send_to(combo, CB_GETCURSEL, 0, 0) == 14, "the fastest button changed the input");
    read_text(control(s, IDC_COUNT_EDIT), text, sizeof text);
    expect_text(s, "count box after the fastest button", text, "3");
    read_text(control(s, IDC_MS_EDIT), text, sizeof text);
    expect_text(s, "milliseconds box after the fastest button", text, "7");

    // Armed (Start clicked with the program in front): the fastest button
    // changes nothing, even clicked while disabled. (A disabled radio button
    // is not clicked: a user cannot, and Wine's button code, walking the
    // group for the button to uncheck, never finds its way back to a disabled
    // one and spins in the program's thread.)
    send_to(combo, CB_SETCURSEL, 2, 0);
    set_text(cps, "20");
    if (!bring_to_front(s, s->main, "the program's window")) return;
    click(control(s, IDC_START));
    if (!expect_text_soon(s, "armed text", control(s, IDC_STATUS), ARMED_SPACE)) return;
    click(control(s, IDC_FASTEST));
    read_text(cps, text, sizeof text);
    expect_text(s, "per-second box after the fastest button while armed", text, "20");
    read_text(control(s, IDC_STATUS), text, sizeof text);
    expect_text(s, "status line after the fastest button while armed", text, ARMED_SPACE);
    expect(s, is_checked(control(s, IDC_MODE_CPS)) && !is_checked(control(s, IDC_MODE_INTERVAL)),
           "the fastest button changed the mode while armed");
    expect_busy_controls(s, "armed, after the fastest button");

    // The Stop button ends the armed state with nothing sent.
    click(control(s, IDC_START));
    expect_text_soon(s, "stop text of the button while armed", control(s, IDC_STATUS),
                     "Stopped.  (0 presses sent)");
    expect_idle_controls(s, "stopped from armed", 0);
}

// ---- scenario: refusals --------------------------------------------------------------

// Refused starts show their text, move the caret to the box to correct when
// the program is in front (and leave the focus alone when it is not), and stay
// idle.
void scenario_refusals(Session *s)
{
    if (!open_recorder_beside(s)) return;
    HWND status = control(s, IDC_STATUS);
    char text[E2E_TEXT_SIZE];

    // F6 in another application with an empty box: the refusal text, and the
    // focus is left alone (the program stays in the background).
    set_text(control(s, IDC_CPS_EDIT), "");
    uint32_t from = recorder_count(s->rec);
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    // In the background the program's thread holds no focus; a refusal that
    // moved the focus would give it one (and could pull the window forward).
    wait_focus(s, 0, E2E_REACTION_MS);
    HWND focus_before = thread_focus(s);
    press_key(VK_F6);
    expect_text_soon(s, "refusal by F6 with an empty box", status, RATE_EMPTY_TEXT);
    sync_program(s);
    expect(s, thread_focus(s) == focus_before, "the refusal by F6 moved the program's focus");
    expect(s, GetForegroundWindow() == s->rec->window, "the refusal by F6 changed the foreground");
    expect_idle_controls(s, "refused by F6", 0);
    sync_recorder(s);
    expect(s, recorder_collect(s->rec, from, WM_KEYDOWN, VK_SPACE, NULL, 0) == 0,
           "a refused start sent input");

    // Start clicked in the program's window: the text, and the caret goes to
    // the box to correct. BM_CLICK first gives the button the focus, as a
    // mouse click does, so the focus has to move for the check to pass.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    for (size_t i = 0; i < sizeof REFUSALS / sizeof REFUSALS[0]; ++i) {
        const RefusalCase *c = &REFUSALS[i];
        click(control(s, c->interval_mode ? IDC_MODE_INTERVAL : IDC_MODE_CPS));
        send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, (WPARAM)c->list_index, 0);
        set_text(control(s, IDC_CPS_EDIT), c->cps);
        set_text(control(s, IDC_COUNT_EDIT), c->count);
        set_text(control(s, IDC_MS_EDIT), c->ms);
        click(control(s, IDC_START));
        char what[128];
        snprintf(what, sizeof what, "refusal, %s", c->label);
        expect_text_soon(s, what, status, c->status);
        int32_t focus = focus_id(s);
        expect(s, focus == c->focus, "%s: focus on control %d, want %d", what, focus, c->focus);
        if (c->focus != IDC_START)
            expect(s, thread_caret(s) == control(s, c->focus), "%s: the caret is not in control %d",
                   what, c->focus);
        expect_idle_controls(s, what, c->interval_mode);
        // A start that was wrongly accepted is undone, so that the next case
        // begins idle again.
        read_text(control(s, IDC_START), text, sizeof text);
        if (strcmp(text, "Stop") == 0) click(control(s, IDC_START));
    }
}
