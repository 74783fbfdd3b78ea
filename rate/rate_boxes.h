// Win32 side of the rate plan: reads the rate boxes of the selected mode and
// shows the plan line in the main window.
#pragma once
#include "rate/rate_entry.h"

// 1 when the interval radio button exists and is checked.
int interval_mode_selected(void);
// Reads the boxes of the selected mode (at most 127 characters each).
RateEntry read_rate_entry(void);
// Recomputes the plan line from the boxes and shows it in plan_label.
void update_plan_line(void);
