// The two mode buttons: which one is checked, which one Tab reaches, and the
// arrow keys that move between them.
//
// Windows clicks a radio button that receives the keyboard focus (it sends
// BN_CLICKED, see BM_SETDONTCLICK). So the focus may only ever reach the
// checked mode button: it alone is a tab stop, and each mode button is a
// group of its own, so that the dialog manager's arrow-key move, which stays
// inside a group, never carries the focus onto one from another control. The
// arrow keys between the two buttons are handled here instead.
#include "ui/main_window_private_win.h"

#include <commctrl.h>

#include "common/window_handles_win.h"

namespace {

const UINT_PTR ARROW_KEYS_SUBCLASS_ID = 1;

HWND other_mode_button(HWND button)
{
    return button == cps_radio ? interval_radio : cps_radio;
}

bool is_arrow_key(WPARAM key)
{
    return key == VK_UP || key == VK_DOWN || key == VK_LEFT || key == VK_RIGHT;
}

void set_tab_stop(HWND button, bool on)
{
    const LONG_PTR style = GetWindowLongPtrA(button, GWL_STYLE);
    const LONG_PTR wanted = on ? (style | WS_TABSTOP) : (style & ~(LONG_PTR)WS_TABSTOP);
    if (wanted != style) SetWindowLongPtrA(button, GWL_STYLE, wanted);
}

// The other button is checked before it gets the focus, so that the focus
// never rests on an unchecked mode button (on Windows the focus alone would
// click it); the command then takes the same path as a click.
void move_to_other_mode(HWND button)
{
    HWND other = other_mode_button(button);
    check_mode_button(other);
    SetFocus(other);
    SendMessageA(main_window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(other), BN_CLICKED), (LPARAM)other);
}

LRESULT CALLBACK mode_button_keys(HWND button, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR id, DWORD_PTR)
{
    switch (message) {
    case WM_GETDLGCODE:
        // The dialog manager would move inside the button's own group, which
        // holds nothing else; the arrows come here instead.
        return DefSubclassProc(button, message, wparam, lparam) | DLGC_WANTARROWS;
    case WM_KEYDOWN:
        if (is_arrow_key(wparam)) {
            move_to_other_mode(button);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(button, mode_button_keys, id);
        break;
    default:
        break;
    }
    return DefSubclassProc(button, message, wparam, lparam);
}

}  // namespace

void check_mode_button(HWND chosen)
{
    const HWND buttons[] = {cps_radio, interval_radio};
    for (HWND button : buttons) {
        if (!button) continue;
        const bool on = button == chosen;
        SendMessageA(button, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
        set_tab_stop(button, on);
    }
}

void follow_mode_button_click(HWND clicked)
{
    // A command that came without a check (sent by the program, not a click)
    // changes nothing but puts the tab stop where the check is.
    if (SendMessageA(clicked, BM_GETCHECK, 0, 0) == BST_CHECKED) check_mode_button(clicked);
    else check_mode_button(other_mode_button(clicked));
}

void give_mode_buttons_arrow_keys(void)
{
    const HWND buttons[] = {cps_radio, interval_radio};
    for (HWND button : buttons)
        if (button) SetWindowSubclass(button, mode_button_keys, ARROW_KEYS_SUBCLASS_ID, 0);
}
