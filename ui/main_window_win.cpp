// The main window's contents: the font, the sixteen controls, the input
// list, the hotkeys, the Ready text and the first plan line (WM_CREATE).
#include "ui/main_window_private_win.h"

#include "common/count_of.h"
#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "control/hotkey_hint.h"
#include "control/status_texts.h"
#include "input/input_catalogue.h"
#include "rate/rate_boxes_win.h"
#include "rate/rate_plan.h"

namespace {

// The help text under the Start button.
const char MAIN_HELP_TEXT[] =
    "How to use: pick the input (a keyboard key, or Mouse: Left / Right click) and the "
    "rate, either as clicks per second or as N clicks every T milliseconds (both mean the "
    "same evenly spaced cadence; at most 1000 events per second are scheduled, and the plan "
    "line shows requested vs scheduled). Fastest mode fills in that 1000/s preset (the "
    "app's fastest scheduled rate, not a measured one) without starting. Then either switch "
    "to the program you want and press F6 there, or press Start here and switch to that "
    "program: pressing begins as soon as it is the active window. Mouse clicks land "
    "wherever your cursor is; the cursor is never moved. Everything pauses while this "
    "window is active, and mouse clicks also pause while the cursor is over this window, so "
    "you cannot click or type into it by accident. F6 or F8 (any application) or Stop ends "
    "it; the key or button is always released on stop or exit.\n"
    "Limits: Windows-only, unsigned (SmartScreen may warn), runs as a normal user. "
    "Elevated, protected or anti-cheat programs may ignore synthetic input; this cannot "
    "work in every program. No network, no auto-start, no background activity.";

const char MAIN_HOTKEY_LABEL[] =
    "F6 = start / stop toggle, F8 = emergency stop\n(both work while any application is active)";

// One child control of the main window. A null text on the fastest button
// means its caption is built from the fastest preset.
struct ControlSpec {
    const char *class_name;
    const char *text;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    int32_t x, y, width, height;
    int32_t id;
    HWND *handle;  // where the handle is kept; null for controls not remembered
};

// The sixteen controls in creation order, which is also their Z order and the
// order Tab moves through them. Each mode button is a group of its own, and
// the controls between and after them start groups too: the dialog manager's
// arrow-key move stays inside a group and so never reaches a mode button from
// another control (Windows would click it on arrival). The interval button
// starts unchecked, so it is no tab stop (see mode_buttons_win.cpp).
const ControlSpec MAIN_CONTROLS[] = {
    {"STATIC", "1. Input to repeat (keyboard key or mouse button):", SS_LEFT, 16, 14, 440, 20, -1, NULL},
    {"COMBOBOX", "", WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 16, 36, 220, 400, IDC_INPUT_COMBO, &input_combo},
    {"STATIC", "2. How fast (choose one way to enter the rate):", SS_LEFT, 16, 72, 420, 20, -1, NULL},
    {"BUTTON", "Clicks per second (e.g. 20, 1e6, 1 centillion, infinite):",
     WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 16, 94, 440, 20, IDC_MODE_CPS, &cps_radio},
    {"EDIT", "20", WS_GROUP | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 36, 116, 200, 26, IDC_CPS_EDIT, &cps_edit},
    {"BUTTON", NULL, WS_TABSTOP | BS_PUSHBUTTON, 246, 115, 210, 28, IDC_FASTEST, &fastest_button},
    {"BUTTON", "Clicks every ... milliseconds (decimals allowed, e.g. 10 every 0.1 ms):",
     WS_GROUP | BS_AUTORADIOBUTTON, 16, 150, 440, 20, IDC_MODE_INTERVAL, &interval_radio},
    {"EDIT", "10", WS_GROUP | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 36, 172, 90, 26, IDC_COUNT_EDIT, &count_edit},
    {"STATIC", "clicks every", SS_LEFT, 132, 176, 80, 20, -1, NULL},
    {"EDIT", "100", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 214, 172, 90, 26, IDC_MS_EDIT, &ms_edit},
    {"STATIC", "ms", SS_LEFT, 310, 176, 40, 20, -1, NULL},
    {"STATIC", "", SS_LEFT, 16, 206, 440, 80, IDC_PLAN, &plan_label},
    {"BUTTON", "Start", WS_TABSTOP | BS_PUSHBUTTON, 16, 292, 220, 36, IDC_START, &start_button},
    {"STATIC", NULL, SS_LEFT, 250, 292, 220, 40, -1, NULL},
    {"STATIC", "", SS_LEFT, 16, 340, 440, 56, IDC_STATUS, &status_label},
    {"STATIC", NULL, SS_LEFT, 16, 402, 440, 240, IDC_HELP, NULL},
};
static_assert(COUNT_OF(MAIN_CONTROLS) == 16, "the layout has sixteen controls");

// The text a control is created with; the three long or built ones are
// filled in here.
const char *initial_text(const ControlSpec &control, const char *fastest_caption)
{
    if (control.text) return control.text;
    if (control.id == IDC_FASTEST) return fastest_caption;
    if (control.id == IDC_HELP) return MAIN_HELP_TEXT;
    return MAIN_HOTKEY_LABEL;
}

HFONT create_ui_font(void)
{
    return CreateFontA(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, "Segoe UI");
}

void fill_input_list(void)
{
    for (const InputSpec &input : INPUT_CATALOGUE)
        SendMessageA(input_combo, CB_ADDSTRING, 0, (LPARAM)input.name);
    SendMessageA(input_combo, CB_SETCURSEL, INPUT_DEFAULT_INDEX, 0);
}

int32_t register_hotkey(HWND window, const HotkeySpec &hotkey)
{
    return RegisterHotKey(window, hotkey.id, hotkey.modifiers, hotkey.vk) ? 1 : 0;
}

// F6 first, then F8; each flag says whether its registration succeeded.
void register_hotkeys(HWND window)
{
    hotkey_f6_ok = register_hotkey(window, HOTKEY_F6);
    hotkey_f8_ok = register_hotkey(window, HOTKEY_F8);
}

}  // namespace

HWND create_child(const char *class_name, const char *text, DWORD style, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t id)
{
    HWND child = CreateWindowExA(0, class_name, text, style | WS_CHILD | WS_VISIBLE, x, y, width,
                                 height, main_window, (HMENU)(INT_PTR)id, GetModuleHandleA(NULL), NULL);
    SendMessageA(child, WM_SETFONT, (WPARAM)ui_font, TRUE);
    return child;
}

LRESULT on_create(HWND window)
{
    main_window = window;
    ui_font = create_ui_font();

    char preset[STATUS_PRESET_SIZE];
    char caption[STATUS_FASTEST_CAPTION_SIZE];
    fastest_preset_text(preset, sizeof preset);
    compose_fastest_caption(caption, sizeof caption, preset);

    for (const ControlSpec &control : MAIN_CONTROLS) {
        HWND child = create_child(control.class_name, initial_text(control, caption), control.style,
                                  control.x, control.y, control.width, control.height, control.id);
        if (control.handle) *control.handle = child;
        if (control.id == IDC_INPUT_COMBO) fill_input_list();
        if (control.id == IDC_MS_EDIT) check_mode_button(cps_radio);
    }
    give_mode_buttons_arrow_keys();

    register_hotkeys(window);
    char ready[STATUS_READY_SIZE];
    SetWindowTextA(status_label, compose_ready_text(ready, sizeof ready, hotkey_f6_ok, hotkey_f8_ok));
    set_rate_controls_enabled(1);
    update_plan_line();
    return 0;
}
