// End-to-end scenarios of runs: armed by Start and stopped by F6 with the
// presses evenly paced, the hotkeys from another application and the pause
// rules, and closing the window while a key is held down.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include "e2e_checks.h"

namespace {

// Prints the cadence of the recorded presses and checks that they come at
// period_ms and are held for hold_ms, within tolerances that allow for a
// loaded machine while still catching a wrong period, hold or drift.
void expect_even_cadence(Session *s, uint32_t from, uint32_t down_message,
                         uint32_t up_message, uint32_t wparam, double period_ms,
                         double hold_ms)
{
    Cadence c = measure_cadence(s, from, down_message, up_message, wparam);
    note("cadence: %u presses, interval median %.2f ms, mean %.2f ms, min %.2f ms, max %.2f ms; "
         "hold median %.2f ms (Wine's Sleep is finer than Windows', so this is better than "
         "Windows gives)",
         c.presses, c.median_interval, c.mean_interval, c.min_interval, c.max_interval,
         c.median_hold);
    expect(s, c.median_interval > period_ms * 0.9 && c.median_interval < period_ms * 1.1,
           "presses are not evenly spaced at %.1f ms: median interval %.2f ms", period_ms,
           c.median_interval);
    expect(s, c.mean_interval > period_ms * 0.9 && c.mean_interval < period_ms * 1.1,
           "the presses drift from %.1f ms: mean interval %.2f ms", period_ms, c.mean_interval);
    expect(s, c.median_hold > hold_ms * 0.6 && c.median_hold < hold_ms * 1.4,
           "presses are not held %.1f ms: median hold %.2f ms", hold_ms, c.median_hold);
}

// The running texts of the default input at the default rate.
const char SPACE_AT_20[] = "Keyboard: Space at 20 per second";
const char START_TEXT_SPACE[] =
    "Running: Keyboard: Space at 20 per second in the active application. F6 toggles, F8 stops "
    "(from any application).";

// The running texts of a left click at the default rate.
const char MOUSE_LEFT_AT_20[] = "Mouse: Left click (at cursor position) at 20 per second";
const char START_TEXT_MOUSE[] =
    "Running: Mouse: Left click (at cursor position) at 20 per second at the cursor position. F6 "
    "toggles, F8 stops (from any application).";

}  // namespace

// ---- scenario: arm by Start, run in the recorder, stop by F6 -----------------------------

// Start in the program's window arms; the recorder in front starts the run;
// the presses arrive evenly paced; F6 stops with the count the recorder saw.
void scenario_arm_and_f6_stop(Session *s)
{
    if (!open_recorder_beside(s)) return;
    if (!bring_to_front(s, s->main, "the program's window")) return;
    click(control(s, IDC_START));
    if (!expect_text_soon(s, "armed text", control(s, IDC_STATUS), ARMED_SPACE)) return;
    expect_busy_controls(s, "armed");
    expect(s, recorder_count(s->rec) == 0, "input arrived while the run was only armed");

    uint32_t from = recorder_count(s->rec);
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    int64_t front_at = recorder_now();
    if (!expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 1, E2E_REACTION_MS),
                "the armed run did not start once the recorder was in front"))
        return;
    RecordedEvent first = recorder_event(s->rec, (uint32_t)first_event(s, from, WM_KEYDOWN, VK_SPACE));
    double latency = recorder_ms(first.qpc - front_at);
    note("armed start: first press %.1f ms after the recorder came to the front", latency);
    expect(s, latency < E2E_ARM_START_LIMIT_MS,
           "the armed run started %.1f ms after the recorder came to the front", latency);

    char text[E2E_TEXT_SIZE];
    long sent = 0;
    read_text(control(s, IDC_STATUS), text, sizeof text);
    expect(s, strcmp(text, START_TEXT_SPACE) == 0 || parse_running_line(text, SPACE_AT_20, "", &sent),
           "status line once running: \"%s\"", text);
    expect_busy_controls(s, "running");
    // The status refresh, with no pause suffix: the recorder is in front.
    if (wait_running_line(s, SPACE_AT_20, "", &sent))
        expect(s, sent >= 1, "the running line counts %ld presses", sent);

    expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 21, E2E_REACTION_MS),
           "fewer than 21 presses arrived within %d ms at 20 per second", E2E_REACTION_MS);
    wait_next_release(s, WM_KEYUP, VK_SPACE);
    int64_t stop_sent = recorder_now();
    press_key(VK_F6);
    expect_stop_count(s, "Stopped by F6.", "presses", from, WM_KEYDOWN, WM_KEYUP, VK_SPACE,
                      stop_sent, 0);
    expect_even_cadence(s, from, WM_KEYDOWN, WM_KEYUP, VK_SPACE, 50.0, 25.0);
    expect(s, !(GetAsyncKeyState(VK_SPACE) & 0x8000), "Space is still down after the stop");
    expect_idle_controls(s, "stopped by F6", 0);
}

// ---- scenario: hotkeys from another application, and the pause rules ------------------

// F8 while idle does nothing; F6 from another application starts at once; the
// program in front pauses; F8 stops; a click run pauses while the cursor is
// over the program, and otherwise clicks where the cursor is.
void scenario_hotkeys_and_pause(Session *s)
{
    if (!open_recorder_beside(s)) return;
    HWND status = control(s, IDC_STATUS);
    char text[E2E_TEXT_SIZE];

    // F8 while idle changes nothing, not even the status line. The hotkey is
    // posted to the program ahead of the Tab pressed after it, so once the
    // focus has moved the F8 has been handled.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    expect(s, wait_focus_change(s, NULL, E2E_REACTION_MS), "the program's window has no focus");
    HWND focus_before = thread_focus(s);
    press_key(VK_F8);
    press_key(VK_TAB);
    expect(s, wait_focus_change(s, focus_before, E2E_REACTION_MS), "Tab after F8 was not handled");
    read_text(status, text, sizeof text);
    expect_text(s, "status line after F8 while idle", text, READY_TEXT);
    expect_idle_controls(s, "after F8 while idle", 0);

    // F6 with the recorder in front starts at once.
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SPACE)) return;
    long sent = 0;
    wait_running_line(s, SPACE_AT_20, "", &sent);

    // The program's own window in front pauses the run.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    wait_running_line(s, SPACE_AT_20, PAUSED_ACTIVE, &sent);
    read_text(control(s, IDC_CPS_EDIT), text, sizeof text);
    expect_text(s, "per-second box while paused (no press may reach the program)", text, "20");

    // Back in the recorder the presses resume; F8 stops, and the count equals
    // what the recorder saw, so nothing was sent during the pause.
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    wait_running_line(s, SPACE_AT_20, "", &sent);
    uint32_t resumed = recorder_count(s->rec);
    expect(s, wait_events(s, resumed, WM_KEYDOWN, VK_SPACE, 3, E2E_REACTION_MS),
           "the presses did not resume with the recorder in front");
    wait_next_release(s, WM_KEYUP, VK_SPACE);
    int64_t stop_sent = recorder_now();
    press_key(VK_F8);
    expect_stop_count(s, "Stopped by F8.", "presses", from, WM_KEYDOWN, WM_KEYUP, VK_SPACE,
                      stop_sent, 2);
    expect_idle_controls(s, "stopped by F8", 0);

    // A left click with the cursor over the program's window is paused, even
    // with the recorder in front. The cursor is placed before each run and
    // never moved while clicks are live: under Wine a click sent just as the
    // cursor moves can still be routed by its old position.
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, 0, 0);
    POINT over_help = screen_center_of(control(s, IDC_HELP));
    if (!move_cursor(s, over_help.x, over_help.y)) return;
    from = recorder_count(s->rec);
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    press_key(VK_F6);
    char got[E2E_TEXT_SIZE];
    if (!expect(s, wait_text_prefix(status, "Running: Mouse", got, sizeof got, E2E_REACTION_MS),
                "F6 did not start the mouse run: \"%s\"", got))
        return;
    expect(s, strcmp(got, START_TEXT_MOUSE) == 0 || parse_running_line(got, MOUSE_LEFT_AT_20,
                                                                       PAUSED_CURSOR, &sent),
           "start text of the mouse run: \"%s\"", got);
    wait_running_line(s, MOUSE_LEFT_AT_20, PAUSED_CURSOR, &sent);
    expect(s, sent == 0, "clicks were counted while the cursor was over the program: %ld", sent);
    press_key(VK_F8);
    expect_text_soon(s, "stop text of a click run paused throughout", status,
                     "Stopped by F8.  (0 clicks sent)");
    sync_recorder(s);
    expect(s, recorder_collect(s->rec, from, WM_LBUTTONDOWN, RECORDER_ANY, NULL, 0) == 0,
           "clicks arrived while the cursor was over the program");

    // Over the recorder the clicks land where the cursor is, and the cursor
    // stays there.
    POINT over_recorder = screen_center_of(s->rec->window);
    if (!move_cursor(s, over_recorder.x, over_recorder.y)) return;
    from = recorder_count(s->rec);
    press_key(VK_F6);
    if (expect(s, wait_events(s, from, WM_LBUTTONDOWN, RECORDER_ANY, 5, E2E_REACTION_MS),
               "no clicks arrived with the cursor over the recorder")) {
        int32_t last = recorder_last(s->rec, from, WM_LBUTTONDOWN, RECORDER_ANY);
        RecordedEvent e = recorder_event(s->rec, (uint32_t)last);
        POINT at = over_recorder;
        ScreenToClient(s->rec->window, &at);
        expect(s, (int32_t)(short)LOWORD(e.lparam) == at.x && (int32_t)(short)HIWORD(e.lparam) == at.y,
               "the click landed at (%d, %d), not at the cursor (%ld, %ld)",
               (int32_t)(short)LOWORD(e.lparam), (int32_t)(short)HIWORD(e.lparam), at.x, at.y);
        POINT cursor;
        GetCursorPos(&cursor);
        expect(s, cursor.x == over_recorder.x && cursor.y == over_recorder.y,
               "the cursor moved while clicking");
    }
    wait_running_line(s, MOUSE_LEFT_AT_20, "", &sent);
    wait_next_release(s, WM_LBUTTONUP, RECORDER_ANY);
    stop_sent = recorder_now();
    press_key(VK_F8);
    expect_stop_count(s, "Stopped by F8.", "clicks", from, WM_LBUTTONDOWN, WM_LBUTTONUP,
                      RECORDER_ANY, stop_sent, 0);
    expect(s, !(GetAsyncKeyState(VK_LBUTTON) & 0x8000), "the left button is still down");
}

// ---- scenario: closing during a hold -----------------------------------------------------

// Closing the window while a key is held down releases it before the process
// ends, with exit code 0.
void scenario_close_during_hold(Session *s)
{
    if (!open_recorder_beside(s)) return;
    // Page Down (an extended key), twice a second: each press is held 25 ms.
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, 66, 0);
    set_text(control(s, IDC_CPS_EDIT), "2");
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_NEXT)) return;

    // Close as soon as a press has arrived and its release has not.
    int32_t closed_in_hold = 0;
    DWORD start = GetTickCount();
    while (!closed_in_hold && !deadline_passed(start, 4 * E2E_REACTION_MS)) {
        uint32_t mark = recorder_count(s->rec);
        if (!wait_events(s, mark, WM_KEYDOWN, VK_NEXT, 1, E2E_REACTION_MS)) break;
        uint32_t press = (uint32_t)first_event(s, mark, WM_KEYDOWN, VK_NEXT);
        if (recorder_collect(s->rec, press, WM_KEYUP, VK_NEXT, NULL, 0) == 0) {
            PostMessageA(s->main, WM_CLOSE, 0, 0);
            closed_in_hold = recorder_collect(s->rec, press, WM_KEYUP, VK_NEXT, NULL, 0) == 0;
        }
    }
    if (!expect(s, closed_in_hold, "could not close the window while a press was held")) return;
    PROCESS_INFORMATION *process = &s->process;
    expect_exit_zero(s, process, "rivanta.exe closed during a hold");
    s->main = NULL;

    sync_recorder(s);
    uint32_t downs = recorder_collect(s->rec, from, WM_KEYDOWN, VK_NEXT, NULL, 0);
    uint32_t ups = recorder_collect(s->rec, from, WM_KEYUP, VK_NEXT, NULL, 0);
    int32_t last_down = recorder_last(s->rec, from, WM_KEYDOWN, VK_NEXT);
    int32_t last_up = recorder_last(s->rec, from, WM_KEYUP, VK_NEXT);
    expect(s, downs == ups && last_up > last_down,
           "the held key was not released before the program ended: %u presses, %u releases",
           downs, ups);
    expect(s, !(GetAsyncKeyState(VK_NEXT) & 0x8000), "Page Down is still down after the exit");
    if (last_up >= 0) {
        RecordedEvent up = recorder_event(s->rec, (uint32_t)last_up);
        expect(s, (up.lparam >> 24) & 1, "Page Down arrived without the extended-key flag");
        if (last_down >= 0 && last_up > last_down)
            note("last hold, cut by closing: %.2f ms",
                 recorder_ms(up.qpc - recorder_event(s->rec, (uint32_t)last_down).qpc));
    }
}
