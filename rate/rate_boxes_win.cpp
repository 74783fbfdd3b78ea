// Reading the rate boxes of the main window and showing the plan line. Win32.
#include "rate/rate_boxes.h"
#include "rate/rate_plan.h"
#include "ui/main_window.h"

int interval_mode_selected(void)
{
    if (!interval_radio) return 0;
    return SendMessageA(interval_radio, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Reads a box's text into text (RATE_BOX_TEXT_SIZE bytes); a missing box or a
// failed read leaves the empty text.
static void read_box_text(HWND box, char *text)
{
    text[0] = '\0';
    if (box) GetWindowTextA(box, text, RATE_BOX_TEXT_SIZE);
    text[RATE_BOX_TEXT_SIZE - 1] = '\0';
}

RateEntry read_rate_entry(void)
{
    char first[RATE_BOX_TEXT_SIZE];
    if (interval_mode_selected()) {
        char second[RATE_BOX_TEXT_SIZE];
        read_box_text(count_edit, first);
        read_box_text(ms_edit, second);
        return read_rate_interval(first, second);
    }
    read_box_text(cps_edit, first);
    return read_rate_per_second(first);
}

void update_plan_line(void)
{
    RateEntry entry = read_rate_entry();
    char line[PLAN_TEXT_SIZE];
    compose_plan_line(&entry, interval_mode_selected(), line, sizeof line);
    if (plan_label) SetWindowTextA(plan_label, line);
}
