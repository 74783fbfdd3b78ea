#include "control/run_controller_win.h"

#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "control/hotkey_hint.h"
#include "control/run_hotkeys.h"
#include "control/status_texts.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "pacing/pacing_worker_win.h"
#include "rate/rate_boxes_win.h"
#include "rate/rate_plan.h"

HANDLE worker_thread = NULL;

// The portable hotkey values must be the platform's own.
static_assert(HOTKEY_MOD_ALT == MOD_ALT, "modifier flag");
static_assert(HOTKEY_MOD_CONTROL == MOD_CONTROL, "modifier flag");
static_assert(HOTKEY_MOD_SHIFT == MOD_SHIFT, "modifier flag");
static_assert(HOTKEY_MOD_NOREPEAT == MOD_NOREPEAT, "modifier flag");
static_assert(HOTKEY_VK_F6 == VK_F6 && HOTKEY_VK_F8 == VK_F8, "hotkey codes");

namespace {

// Refusal shown when a start is asked for while the worker of the last run,
// which outlived its stop, has not ended yet.
const char PREVIOUS_RUN_ENDING_TEXT[] = "The previous run is still ending; try again in a moment.";

// The rate box the user has to correct for a refused rate status.
HWND box_to_correct(uint32_t status)
{
    if (!interval_mode_selected()) return cps_edit;
    return status == RATE_BAD_INTERVAL ? ms_edit : count_edit;
}

// 1 while the user holds a key of switching between applications: Alt (the
// task switcher is in front while it is held) or a Windows key (the Start
// menu or the task view). The physical state, whichever window has the focus.
int32_t switching_key_held(void)
{
    const int keys[] = {VK_MENU, VK_LWIN, VK_RWIN};
    for (int key : keys)
        if (GetAsyncKeyState(key) & 0x8000) return 1;
    return 0;
}

// For an arming tick: 1 while the run must stay armed. During a switch the
// foreground can be no window at all, and with Alt held it is the task
// switcher: the first presses would go there.
int32_t arming_must_wait(void)
{
    return arming_may_start(GetForegroundWindow() != NULL, own_window_in_front(),
                            switching_key_held())
               ? 0
               : 1;
}

// Gives the keyboard focus to the Start/Stop button when this window is in
// front and the focus is somewhere in it. Windows leaves the focus on a
// control that is disabled under it, and the window's keyboard then does
// nothing until a click; the button is the one control a run leaves enabled.
// A window in the background is left alone, so that the focus never pulls it
// forward.
void focus_start_button(void)
{
    if (!own_window_in_front()) return;
    const HWND focus = GetFocus();
    if (!focus || focus == start_button) return;
    if (focus == main_window || IsChild(main_window, focus)) SetFocus(start_button);
}

// ACT_START after accepted settings: the start text, the worker and the
// status refresh timer. A worker that cannot be created ends as a stop.
void start_worker(void)
{
    KillTimer(main_window, TIMER_ID_UI);
    char text[STATUS_START_SIZE];
    compose_start_text(text, sizeof text, &current_input, period_us, hotkey_hint());
    SetWindowTextA(status_label, text);
    running.exchange(1);
    worker_thread = CreateThread(NULL, 0, worker_main, NULL, 0, NULL);
    if (worker_thread) {
        SetTimer(main_window, TIMER_ID_UI, STATUS_REFRESH_MS, NULL);
        return;
    }
    running.store(0);
    stop_run("Could not start the worker thread.");
}

// 1 when the plain registration of key succeeded at WM_CREATE.
int32_t plain_key_registered(uint32_t key)
{
    return key == HOTKEY_VK_F6 ? hotkey_f6_ok : hotkey_f8_ok;
}

}  // namespace

int32_t wait_for_worker_end(DWORD wait_ms)
{
    if (!worker_thread) return 1;
    if (WaitForSingleObject(worker_thread, wait_ms) != WAIT_OBJECT_0) return 0;
    CloseHandle(worker_thread);
    worker_thread = NULL;
    return 1;
}

int32_t worker_still_alive(void)
{
    return wait_for_worker_end(0) ? 0 : 1;
}

void handle_run_event(RunEvent event, const char *message)
{
    // The table's next state is kept aside until the start or the arming is
    // certain, so that a refusal leaves run_state as it was.
    RunState next = run_state;
    // An arming tick treats a switch still under way like the program's own
    // window in front: the run stays armed until the switch is over.
    const int32_t own = event == EV_ARM_TICK ? arming_must_wait() : own_window_in_front();
    const RunAction action = run_transition(&next, event, own);
    if (action == ACT_STOP) {
        stop_run(message);  // sets run_state to RUN_IDLE itself
        return;
    }
    if (action == ACT_NONE) {
        run_state = next;
        return;
    }
    // The settings are shared with the worker: they may only be rewritten
    // once the last worker has ended.
    if (worker_still_alive()) {
        SetWindowTextA(status_label, PREVIOUS_RUN_ENDING_TEXT);
        return;
    }
    if (!apply_settings()) return;
    run_state = next;
    if (action == ACT_ARM) {
        enter_armed();
        return;
    }
    start_worker();
}

int32_t apply_settings(void)
{
    const uint32_t index = (uint32_t)(int32_t)SendMessageA(input_combo, CB_GETCURSEL, 0, 0);
    if (index >= INPUT_CATALOGUE_COUNT) {
        SetWindowTextA(status_label, "Choose a key first.");
        return 0;
    }
    const InputSpec &chosen = INPUT_CATALOGUE[index];
    // The catalogue holds neither key; the check stays so that a catalogue
    // grown later can never make a run press its own stop key.
    if (chosen.kind == KIND_KEYBOARD && (chosen.vk == VK_F6 || chosen.vk == VK_F8)) {
        SetWindowTextA(status_label, "F6 and F8 are the hotkeys and cannot be the pressed key.");
        return 0;
    }
    const RateEntry entry = read_rate_entry();
    if (entry.status > RATE_BELOW_MIN) {
        char text[STATUS_RATE_REFUSAL_SIZE];
        SetWindowTextA(status_label, compose_rate_refusal(text, sizeof text, entry.status));
        // Only a user looking at this window gets the caret moved for them.
        if (own_window_in_front()) SetFocus(box_to_correct(entry.status));
        return 0;
    }
    current_input = chosen;
    // SendInput's mouse flags name physical buttons, which Windows swaps for
    // a left-handed mouse: the run sends the one delivered as the chosen
    // button. A swap changed during the run does not split a press from
    // its release, both go to the same physical button.
    current_input.button = physical_button_for(chosen.button, GetSystemMetrics(SM_SWAPBUTTON) != 0);
    period_us = period_from_rate(entry.scheduled_rate);
    hold_us = hold_from_period(period_us);
    sent_count.store(0);
    input_refused.store(0);
    // Accepted settings put the window into run mode here, not in the
    // caller: the arming and the start both need it, and a refusal never.
    // The focus leaves the controls before they are disabled under it.
    focus_start_button();
    EnableWindow(input_combo, FALSE);
    set_rate_controls_enabled(0);
    SetWindowTextA(start_button, "Stop");
    register_run_hotkeys();
    return 1;
}

void register_run_hotkeys(void)
{
    for (uint32_t row = 0; row < RUN_HOTKEY_COUNT; ++row) {
        const HotkeySpec &hotkey = RUN_HOTKEYS[row];
        const uint32_t bit = UINT32_C(1) << row;
        // A key that another program held at start-up is left to it with
        // every modifier: the hint keeps saying it is unavailable.
        if ((run_hotkeys_registered & bit) || !plain_key_registered(hotkey.vk)) continue;
        if (RegisterHotKey(main_window, hotkey.id, hotkey.modifiers, hotkey.vk))
            run_hotkeys_registered |= bit;
    }
}

void unregister_run_hotkeys(void)
{
    for (uint32_t row = 0; row < RUN_HOTKEY_COUNT; ++row) {
        const uint32_t bit = UINT32_C(1) << row;
        if (run_hotkeys_registered & bit) UnregisterHotKey(main_window, RUN_HOTKEYS[row].id);
    }
    run_hotkeys_registered = 0;
}

void enter_armed(void)
{
    char text[STATUS_ARMED_SIZE];
    SetWindowTextA(status_label, compose_armed_text(text, sizeof text, &current_input, hotkey_hint()));
    SetTimer(main_window, TIMER_ID_UI, ARM_TICK_MS, NULL);
}

void stop_run(const char *message)
{
    KillTimer(main_window, TIMER_ID_UI);
    run_state = RUN_IDLE;
    const int32_t was_running = running.exchange(0);
    // A worker left over from an earlier stop is only looked at, not waited for.
    const int32_t worker_gone = wait_for_worker_end(was_running ? WORKER_STOP_WAIT_MS : 0);
    // While the worker lives it may sit between latching and pressing; a
    // release taken now could overtake that press. Its own end releases.
    if (worker_gone) release_held_input();
    unregister_run_hotkeys();
    SetWindowTextA(start_button, "Start");
    EnableWindow(input_combo, TRUE);
    set_rate_controls_enabled(1);
    focus_start_button();
    char text[STATUS_STOP_SIZE];
    compose_stop_text(text, sizeof text, message, sent_count.load(), current_input.kind);
    SetWindowTextA(status_label, text);
}
