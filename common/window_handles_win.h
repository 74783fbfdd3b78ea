// Win32 only. The main window and the handles of its controls: written once,
// on the window thread, while the window is created, and read afterwards by
// every layer (the worker compares the foreground window against
// main_window). Data only, so that any layer may include it.
#pragma once
#include <windows.h>

extern HWND main_window;
extern HFONT ui_font;  // the one font of every child control; never deleted
extern HWND input_combo, cps_radio, cps_edit, fastest_button, interval_radio, count_edit, ms_edit,
    plan_label, start_button, status_label;
