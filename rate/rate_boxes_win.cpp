#include "rate/rate_boxes_win.h"

#include "common/window_handles_win.h"
#include "rate/rate_plan.h"

namespace {

// Reads a box's text into text (RATE_BOX_TEXT_SIZE bytes); a missing box or a
// failed read leaves the empty text.
void read_box_text(HWND box, char *text)
{
    text[0] = '\0';
    if (box) GetWindowTextA(box, text, RATE_BOX_TEXT_SIZE);
    text[RATE_BOX_TEXT_SIZE - 1] = '\0';
}

RateEntry read_boxes_of_mode(int32_t interval)
{
    char first[RATE_BOX_TEXT_SIZE];
    if (interval) {
        char second[RATE_BOX_TEXT_SIZE];
        read_box_text(count_edit, first);
        read_box_text(ms_edit, second);
        return read_rate_interval(first, second);
    }
    read_box_text(cps_edit, first);
    return read_rate_per_second(first);
}

}  // namespace

int32_t interval_mode_selected(void)
{
    if (!interval_radio) return 0;
    return SendMessageA(interval_radio, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

RateEntry read_rate_entry(void)
{
    return read_boxes_of_mode(interval_mode_selected());
}

void update_plan_line(void)
{
    // The mode is read once, so that the boxes read and the line's wording agree.
    const int32_t interval = interval_mode_selected();
    const RateEntry entry = read_boxes_of_mode(interval);
    char line[PLAN_TEXT_SIZE];
    compose_plan_line(&entry, interval, line, sizeof line);
    if (plan_label) SetWindowTextA(plan_label, line);
}

void set_rate_controls_enabled(int32_t enable)
{
    // Before the radio button exists the interval mode counts as not selected.
    const BOOL interval = interval_mode_selected() ? TRUE : FALSE;
    EnableWindow(cps_radio, enable ? TRUE : FALSE);
    EnableWindow(interval_radio, enable ? TRUE : FALSE);
    EnableWindow(cps_edit, enable && !interval);
    EnableWindow(fastest_button, enable ? TRUE : FALSE);
    EnableWindow(count_edit, enable && interval);
    EnableWindow(ms_edit, enable && interval);
}
