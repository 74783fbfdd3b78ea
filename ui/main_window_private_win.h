// Win32 only, private to ui/ (and the tests of the window): the identifiers
// of the main window's controls and hotkeys, and what its two source files
// share.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "control/run_hotkeys.h"

// winuser.h names the help cursor IDC_HELP; this program uses no such cursor
// and gives the name to its help text control.
#undef IDC_HELP

const int32_t IDC_INPUT_COMBO = 101;
const int32_t IDC_CPS_EDIT = 102;
const int32_t IDC_START = 103;
const int32_t IDC_STATUS = 104;
const int32_t IDC_PLAN = 105;
const int32_t IDC_HELP = 106;
const int32_t IDC_MODE_CPS = 107;
const int32_t IDC_MODE_INTERVAL = 108;
const int32_t IDC_COUNT_EDIT = 109;
const int32_t IDC_MS_EDIT = 110;
const int32_t IDC_FASTEST = 111;
// The hotkeys' identifiers (HOTKEY_ID_F8, HOTKEY_ID_F6 and those of the
// combinations with modifiers) are in control/run_hotkeys.h.

// Creates a child control of main_window with ui_font; returns its handle.
HWND create_child(const char *class_name, const char *text, DWORD style, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t id);
// Checks `chosen` (cps_radio or interval_radio), unchecks the other mode
// button and makes the checked one the only tab stop of the two: on Windows
// a radio button that receives the focus is clicked, so Tab must never reach
// the unchecked one. Every change of the checks goes through here.
void check_mode_button(HWND chosen);
// After a click on a mode button: the clicked button checked itself (it is an
// automatic radio button), and the other one is unchecked here, since each
// mode button is a group of its own.
void follow_mode_button_click(HWND clicked);
// Gives the two mode buttons the arrow keys: on either one, an arrow key
// moves the focus to the other one and selects its mode, as in a dialog.
void give_mode_buttons_arrow_keys(void);
// WM_CREATE: sets main_window, creates the font, the sixteen controls, the
// input list and the hotkeys, shows the Ready text and the first plan line.
// Returns 0 whatever could not be created.
LRESULT on_create(HWND window);
