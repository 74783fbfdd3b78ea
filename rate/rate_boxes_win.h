// Win32 only. The rate controls of the main window: which mode is selected,
// reading the boxes of that mode, showing the plan line, and which of the
// controls are enabled.
#pragma once
#include <stdint.h>
#include "rate/rate_entry.h"

// 1 when the interval radio button exists and is checked.
int32_t interval_mode_selected(void);
// Reads the boxes of the selected mode (at most 127 characters each).
RateEntry read_rate_entry(void);
// Recomputes the plan line from the boxes and shows it in plan_label.
void update_plan_line(void);
// Enables (1) or disables (0) the two mode buttons, the fastest button and
// the rate box or boxes of the selected mode; the other mode's boxes are
// always disabled. Never touches input_combo, whose enabling is the run
// controller's.
void set_rate_controls_enabled(int32_t enable);
