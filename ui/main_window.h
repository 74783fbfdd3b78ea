// Win32: the main window's handles, identifiers and layout, and its window
// procedure.
#pragma once
#include <windows.h>
#include <stdint.h>

// winuser.h names the help cursor IDC_HELP; this program uses no such cursor
// and gives the name to its help text control.
#undef IDC_HELP

enum {
    IDC_INPUT_COMBO = 101,
    IDC_CPS_EDIT = 102,
    IDC_START = 103,
    IDC_STATUS = 104,
    IDC_PLAN = 105,
    IDC_HELP = 106,
    IDC_MODE_CPS = 107,
    IDC_MODE_INTERVAL = 108,
    IDC_COUNT_EDIT = 109,
    IDC_MS_EDIT = 110,
    IDC_FASTEST = 111,
    HOTKEY_ID_F8 = 1,
    HOTKEY_ID_F6 = 2,
    MAIN_CLIENT_WIDTH = 476,
    MAIN_CLIENT_HEIGHT = 652,
};

#define MAIN_WINDOW_CLASS "Rivanta"
#define MAIN_WINDOW_TITLE "Rivanta 1.3.1"

// Set once when the main window is created, then only read.
extern HWND main_window;
extern HFONT ui_font;
extern HWND input_combo, cps_radio, cps_edit, fastest_button, interval_radio,
    count_edit, ms_edit, plan_label, start_button, status_label;

// Creates a child control of main_window with ui_font; returns its handle.
HWND create_child(const char *class_name, const char *text, DWORD style, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t id);
// Enables (1) or disables (0) the mode buttons, the fastest button and the
// rate box(es) of the selected mode. Never touches input_combo.
void set_rate_controls_enabled(int32_t enable);
// Gives both mode buttons WS_TABSTOP again: a radio button drops it whenever
// it is unchecked (and a version 6 radio button unchecks the rest of its
// group on BM_SETCHECK), yet Tab is to reach each of them in layout order.
// Called after every change of the mode buttons' checks.
void keep_mode_buttons_tab_stops(void);
// WM_CREATE: sets main_window, creates the font, the sixteen controls, the
// input list and the hotkeys, shows the Ready text and the first plan line.
// Returns 0 whatever could not be created.
LRESULT on_create(HWND window);
// The main window's procedure: hands each message to its handler.
LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
