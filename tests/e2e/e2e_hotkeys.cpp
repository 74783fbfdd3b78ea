// End-to-end scenario of the hotkeys under modifiers: F8 stops a run that
// holds Shift down nearly all the time, F6 stops a run while the user holds
// Ctrl, and while idle the combinations belong to other programs.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include "e2e_checks.h"

namespace {

// The running status line is refreshed this often; a stop must show within it.
const double STATUS_REFRESH_LIMIT_MS = 500.0;
const int32_t E2E_HOTKEY_PROBE_ID = 0x300;  // the driver's own registrations

// 1 when the driver itself can register the hotkey (it gives it back at once):
// no other program holds it.
int32_t hotkey_free(UINT modifiers, UINT vk)
{
    if (!RegisterHotKey(NULL, E2E_HOTKEY_PROBE_ID, modifiers, vk)) return 0;
    UnregisterHotKey(NULL, E2E_HOTKEY_PROBE_ID);
    return 1;
}

// Lets go of every modifier the scenario may have pressed, and checks that
// neither the driver nor the program left one down.
void release_modifiers(Session *s, const char *when)
{
    const WORD modifiers[] = {VK_LCONTROL, VK_LSHIFT, VK_LMENU};
    for (WORD vk : modifiers)
        if (GetAsyncKeyState(vk) & 0x8000) key_edge(vk, 1);
    const int generic[] = {VK_CONTROL, VK_SHIFT, VK_MENU};
    for (int vk : generic)
        expect(s, !(GetAsyncKeyState(vk) & 0x8000), "%s: modifier 0x%02x left down", when, vk);
}

// Sends F8 or F6, as soon as the modifier `down_first` reads down when it
// is not 0, and returns how long the stop text "<message>  (" took to show,
// in ms, or -1 when it did not come within E2E_REACTION_MS.
double stop_latency_ms(Session *s, WORD vk, int down_first, const char *message)
{
    char prefix[64], got[E2E_TEXT_SIZE];
    snprintf(prefix, sizeof prefix, "%s  (", message);
    DWORD start = GetTickCount();
    while (down_first && !(GetAsyncKeyState(down_first) & 0x8000) &&
           !deadline_passed(start, E2E_REACTION_MS)) {
    }
    int64_t sent = recorder_now();
    press_key(vk);
    if (!wait_text_prefix(control(s, IDC_STATUS), prefix, got, sizeof got, E2E_REACTION_MS))
        return -1.0;
    return recorder_ms(recorder_now() - sent);
}

}  // namespace

void scenario_modifier_hotkeys(Session *s)
{
    if (!open_recorder_beside(s)) return;

    // Idle: Ctrl+F6 and Shift+F8 belong to whoever wants them.
    expect(s, hotkey_free(MOD_CONTROL | MOD_NOREPEAT, VK_F6) && hotkey_free(MOD_SHIFT | MOD_NOREPEAT, VK_F8),
           "while idle the program holds F6 or F8 with a modifier");

    // "Keyboard: Shift (left)" at 1000 per second: Shift is down nearly all
    // the time, and F8 stops it all the same, within one status refresh.
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, 8, 0);
    set_text(control(s, IDC_CPS_EDIT), "1000");
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SHIFT)) {
        release_modifiers(s, "after a Shift run that did not start");
        return;
    }
    expect(s, wait_events(s, from, WM_KEYDOWN, VK_SHIFT, 200, E2E_REACTION_MS),
           "fewer than 200 Shift presses arrived at 1000 per second");
    expect(s, !hotkey_free(MOD_SHIFT | MOD_NOREPEAT, VK_F8),
           "while running Shift+F8 is not the program's");
    int64_t stop_sent = recorder_now();
    // F8 goes out right after Shift was seen down, as a user's would.
    double latency = stop_latency_ms(s, VK_F8, VK_SHIFT, "Stopped by F8.");
    if (latency >= 0) note("F8 during a Shift run at 1000 per second: stopped %.1f ms after F8", latency);
    expect(s, latency >= 0 && latency < STATUS_REFRESH_LIMIT_MS,
           "F8 did not stop a Shift run within one status refresh (%.0f ms; -1: not at all)", latency);
    if (latency < 0) {
        press_key(VK_F8);  // try once more so that the program stops pressing Shift
        sync_program(s);
    }
    expect_stop_count(s, "Stopped by F8.", "presses", from, WM_KEYDOWN, WM_KEYUP, VK_SHIFT,
                      stop_sent, 0);
    release_modifiers(s, "after the Shift run");
    expect(s, hotkey_free(MOD_SHIFT | MOD_NOREPEAT, VK_F8), "Shift+F8 was not given back after the stop");

    // "Keyboard: Space" at 20 per second with the user holding Ctrl: F6
    // arrives as Ctrl+F6 and stops the run.
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, 2, 0);
    set_text(control(s, IDC_CPS_EDIT), "20");
    from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SPACE)) return;
    expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 3, E2E_REACTION_MS),
           "the Space run sent fewer than 3 presses");
    key_edge(VK_LCONTROL, 0);
    wait_next_release(s, WM_KEYUP, VK_SPACE);
    stop_sent = recorder_now();
    latency = stop_latency_ms(s, VK_F6, 0, "Stopped by F6.");
    key_edge(VK_LCONTROL, 1);
    if (latency >= 0) note("F6 with Ctrl held: stopped %.1f ms after F6", latency);
    expect(s, latency >= 0, "F6 with Ctrl held did not stop the run");
    if (latency < 0) {
        press_key(VK_F8);
        sync_program(s);
    }
    expect_stop_count(s, "Stopped by F6.", "presses", from, WM_KEYDOWN, WM_KEYUP, VK_SPACE,
                      stop_sent, 0);
    release_modifiers(s, "after the Space run with Ctrl held");
    expect(s, hotkey_free(MOD_CONTROL | MOD_NOREPEAT, VK_F6), "Ctrl+F6 was not given back after the stop");
    expect_idle_controls(s, "stopped by Ctrl+F6", 0);
}
