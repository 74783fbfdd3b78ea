// Every message of the main window but WM_CREATE: one handler per message,
// and the window procedure that dispatches to them.
#include "ui/main_window_win.h"

#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "control/hotkey_hint.h"
#include "control/run_controller_win.h"
#include "control/run_hotkeys.h"
#include "control/status_texts.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "pacing/pacing_worker_win.h"
#include "rate/rate_boxes_win.h"
#include "rate/rate_plan.h"
#include "ui/main_window_private_win.h"

namespace {

// 1 while no run is armed or running: the mode and fastest buttons act only then.
int32_t run_is_idle(void) { return running.load() == 0 && run_state == RUN_IDLE; }

// Fills in the fastest preset without starting anything.
void apply_fastest_mode(void)
{
    char preset[STATUS_PRESET_SIZE];
    fastest_preset_text(preset, sizeof preset);
    check_mode_button(cps_radio);
    set_rate_controls_enabled(1);
    SetWindowTextA(cps_edit, preset);
    update_plan_line();
    char text[STATUS_FASTEST_SIZE];
    SetWindowTextA(status_label, compose_fastest_text(text, sizeof text, preset, hotkey_hint()));
}

void show_running_status(void)
{
    // The pause test is evaluated afresh, so it reads the foreground window
    // again; the refusal is what the worker saw at its most recent press.
    const char *suffix =
        running_suffix(own_window_in_front(), worker_should_pause(), input_refused.load());
    char text[STATUS_RUNNING_SIZE];
    compose_running_text(text, sizeof text, &current_input, period_us, sent_count.load(), suffix,
                         hotkey_hint());
    SetWindowTextA(status_label, text);
}

LRESULT on_command(WPARAM wparam)
{
    const UINT id = LOWORD(wparam);
    const UINT code = HIWORD(wparam);
    switch (id) {
    case IDC_CPS_EDIT:
    case IDC_COUNT_EDIT:
    case IDC_MS_EDIT:
        if (code == EN_CHANGE) update_plan_line();
        break;
    case IDC_START:
        if (code == BN_CLICKED) handle_run_event(EV_START_BUTTON, "Stopped.");
        break;
    case IDC_MODE_CPS:
    case IDC_MODE_INTERVAL:
        if (code != BN_CLICKED) break;
        follow_mode_button_click(id == (UINT)IDC_MODE_CPS ? cps_radio : interval_radio);
        if (run_is_idle()) set_rate_controls_enabled(1);
        update_plan_line();
        break;
    case IDC_FASTEST:
        if (code == BN_CLICKED && run_is_idle()) apply_fastest_mode();
        break;
    default:  // the input list, the static texts, IDOK / IDCANCEL from navigation
        break;
    }
    return 0;
}

LRESULT on_timer(HWND window)
{
    if (running.load() != 0) {
        show_running_status();
    } else if (run_state == RUN_ARMED) {
        handle_run_event(EV_ARM_TICK, "");
    } else {
        KillTimer(window, TIMER_ID_UI);  // a tick left over from a finished run
    }
    return 0;
}

// F6 and F8 with modifiers, registered while a run is armed or running, act
// as the plain keys.
LRESULT on_hotkey(WPARAM wparam)
{
    const uint32_t key = wparam <= (WPARAM)INT32_MAX ? hotkey_key_for_id((int32_t)wparam) : 0;
    if (key == HOTKEY_VK_F8) handle_run_event(EV_HOTKEY_F8, "Stopped by F8.");
    else if (key == HOTKEY_VK_F6) handle_run_event(EV_HOTKEY_F6, "Stopped by F6.");
    return 0;
}

LRESULT on_close(HWND window)
{
    handle_run_event(EV_CLOSE, "Closing.");
    // Again whatever the state, so that even an idle close ends any worker
    // left over from an earlier stop and rewrites the status line.
    stop_run("Closing.");
    DestroyWindow(window);
    return 0;
}

LRESULT on_destroy(HWND window)
{
    UnregisterHotKey(window, HOTKEY_ID_F8);
    UnregisterHotKey(window, HOTKEY_ID_F6);
    // A window destroyed without WM_CLOSE (no stop_run) still gives back the
    // run's combinations.
    unregister_run_hotkeys();
    // A worker that outlived its stop still owns the latch; its own end
    // releases, and the exit makes a last release after waiting for it.
    if (!worker_still_alive()) release_held_input();
    PostQuitMessage(0);
    return 0;
}

// Static texts, the mode buttons and the disabled rate boxes ask for their
// colours here (WM_CTLCOLORSTATIC; a button may ask by WM_CTLCOLORBTN, which
// push buttons ignore). Background and text both come from the system's
// scheme: the device context's own text colour is black, which a dark High
// Contrast scheme would draw black on black. Disabled controls get the grey
// text colour, which Windows uses for a disabled edit box whatever is set.
LRESULT on_ctlcolor(WPARAM wparam, LPARAM lparam)
{
    const HDC dc = (HDC)wparam;
    const HWND control = (HWND)lparam;
    SetTextColor(dc, GetSysColor(IsWindowEnabled(control) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    return (LRESULT)GetSysColorBrush(COLOR_WINDOW);
}

}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE: return on_create(window);
    case WM_COMMAND: return on_command(wparam);
    case WM_TIMER: return on_timer(window);
    case WM_HOTKEY: return on_hotkey(wparam);
    case WM_CLOSE: return on_close(window);
    case WM_DESTROY: return on_destroy(window);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: return on_ctlcolor(wparam, lparam);
    case WM_WORKER_DONE: return 0;  // stopping is stop_run's work, never this message's
    default: return DefWindowProcA(window, message, wparam, lparam);
    }
}
