#include "common/window_handles_win.h"

HWND main_window = NULL;
HFONT ui_font = NULL;
HWND input_combo = NULL, cps_radio = NULL, cps_edit = NULL, fastest_button = NULL,
     interval_radio = NULL, count_edit = NULL, ms_edit = NULL, plan_label = NULL,
     start_button = NULL, status_label = NULL;
