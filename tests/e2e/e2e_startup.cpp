// End-to-end scenarios of the window as it opens: the layout of every control,
// the input list and a screenshot; a second copy of the program, which must
// only show its notice; and the keyboard: the Tab order through the controls,
// the arrow keys, and the focus when a run is armed from the keyboard.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "e2e_checks.h"
#include "window_capture.h"

namespace {

// The plan line and the help text as the window shows them at start-up.
const char PLAN_20[] =
    "Requested: 20 CPS. Scheduled: 20 per second, evenly spaced (50.00 ms between events). The "
    "actual rate in the game depends on Windows and the game; it is not measured here.";
const char HELP_TEXT[] =
    "How to use: pick the input (a keyboard key, or Mouse: Left / Right click) and the rate, "
    "either as clicks per second or as N clicks every T milliseconds (both mean the same evenly "
    "spaced cadence; at most 1000 events per second are scheduled, and the plan line shows "
    "requested vs scheduled). Fastest mode fills in that 1000/s preset (the app's fastest "
    "scheduled rate, not a measured one) without starting. Then either switch to the program you "
    "want and press F6 there, or press Start here and switch to that program: pressing begins as "
    "soon as it is the active window. Mouse clicks land wherever your cursor is; the cursor is "
    "never moved. Everything pauses while this window is active, and mouse clicks also pause "
    "while the cursor is over this window, so you cannot click or type into it by accident. F6 "
    "or F8 (any application) or Stop ends it; the key or button is always released on stop or "
    "exit.\nLimits: Windows-only, unsigned (SmartScreen may warn), runs as a normal user. "
    "Elevated, protected or anti-cheat programs may ignore synthetic input; this cannot work in "
    "every program. No network, no auto-start, no background activity.";

// Saves a PNG of the program's window once it has finished painting.
void save_screenshot(Session *s, const char *file_name)
{
    if (!s->out_dir[0]) return;
    char path[MAX_PATH * 2];
    snprintf(path, sizeof path, "%s\\%s", s->out_dir, file_name);
    int32_t width = 0, height = 0;
    const WindowShot shot = save_window_png(s->main, path, E2E_REACTION_MS, &width, &height);
    if (expect(s, shot != WINDOW_SHOT_NOT_SETTLED, "no steady, non-blank capture of the main window") &&
        expect(s, shot == WINDOW_SHOT_SAVED, "could not write %s", path))
        note("screenshot: %s (%d x %d)", path, width, height);
}

// One control as the window must show it after start-up.
struct ControlSpec {
    const char *class_name;
    const char *text;
    uint32_t style;  // besides WS_CHILD | WS_VISIBLE
    int32_t x, y, width, height;
    int32_t id;
    int32_t enabled;
};

// The sixteen controls in creation (and Z) order, with the texts they hold
// once the window is shown. The combo box shows its selected entry; the plan
// and status lines hold the plan for 20 per second and the Ready text.
const ControlSpec STARTUP_LAYOUT[16] = {
    {"Static", "1. Input to repeat (keyboard key or mouse button):", SS_LEFT, 16, 14, 440, 20,
     IDC_LABEL, 1},
    {"ComboBox", "Keyboard: Space", WS_TABSTOP | CBS_DROPDOWNLIST, 16, 36, 220, 400,
     IDC_INPUT_COMBO, 1},
    {"Static", "2. How fast (choose one way to enter the rate):", SS_LEFT, 16, 72, 420, 20,
     IDC_LABEL, 1},
    // Each mode button is a group of its own, and so are the controls between
    // and after them; only the checked mode button is a tab stop.
    {"Button", "Clicks per second (e.g. 20, 1e6, 1 centillion, infinite):",
     WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 16, 94, 440, 20, IDC_MODE_CPS, 1},
    {"Edit", "20", WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL, 36, 116, 200, 26, IDC_CPS_EDIT, 1},
    {"Button", "Fastest mode (1000/s scheduled)", WS_TABSTOP | BS_PUSHBUTTON, 246, 115, 210, 28,
     IDC_FASTEST, 1},
    {"Button", "Clicks every ... milliseconds (decimals allowed, e.g. 10 every 0.1 ms):",
     WS_GROUP | BS_AUTORADIOBUTTON, 16, 150, 440, 20, IDC_MODE_INTERVAL, 1},
    {"Edit", "10", WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL, 36, 172, 90, 26, IDC_COUNT_EDIT, 0},
    {"Static", "clicks every", SS_LEFT, 132, 176, 80, 20, IDC_LABEL, 1},
    {"Edit", "100", WS_TABSTOP | ES_AUTOHSCROLL, 214, 172, 90, 26, IDC_MS_EDIT, 0},
    {"Static", "ms", SS_LEFT, 310, 176, 40, 20, IDC_LABEL, 1},
    {"Static", PLAN_20, SS_LEFT, 16, 206, 440, 80, IDC_PLAN, 1},
    {"Button", "Start", WS_TABSTOP | BS_PUSHBUTTON, 16, 292, 220, 36, IDC_START, 1},
    {"Static",
     "F6 = start / stop toggle, F8 = emergency stop\n(both work while any application is active)",
     SS_LEFT, 250, 292, 220, 40, IDC_LABEL, 1},
    {"Static", READY_TEXT, SS_LEFT, 16, 340, 440, 56, IDC_STATUS, 1},
    {"Static", HELP_TEXT, SS_LEFT, 16, 402, 440, 240, IDC_HELP, 1},
};

// The style bits a control keeps as the program set them. The edit boxes'
// WS_BORDER is not among them: an edit control replaces that bit by drawing
// its own border, and the combo box hands WS_VSCROLL to its drop-down list.
uint32_t checked_style_bits(const char *class_name)
{
    uint32_t common = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_GROUP;
    if (strcmp(class_name, "Button") == 0) return common | BS_TYPEMASK;
    if (strcmp(class_name, "Static") == 0) return common | SS_TYPEMASK;
    if (strcmp(class_name, "ComboBox") == 0) return common | 0x3;
    return common | ES_AUTOHSCROLL | ES_MULTILINE | ES_READONLY | ES_NUMBER | ES_PASSWORD;
}

// One entry of the input list at its index.
struct ListEntry {
    int32_t index;
    const char *name;
};

// Entries across the list: both clicks, the default, the edges of each run of
// keys, and the function keys around the two hotkeys (F6 and F8 are absent).
const ListEntry LIST_SAMPLES[] = {
    {0, "Mouse: Left click (at cursor position)"},
    {1, "Mouse: Right click (at cursor position)"},
    {2, "Keyboard: Space"},
    {3, "Keyboard: Enter"},
    {4, "Keyboard: Up arrow"},
    {8, "Keyboard: Shift (left)"},
    {13, "Keyboard: Escape"},
    {14, "Keyboard: A"},
    {39, "Keyboard: Z"},
    {40, "Keyboard: 0"},
    {49, "Keyboard: 9"},
    {54, "Keyboard: F5"},
    {55, "Keyboard: F7"},
    {56, "Keyboard: F9"},
    {59, "Keyboard: F12"},
    {63, "Keyboard: Numpad 5"},
    {64, "Keyboard: Numpad Enter"},
    {70, "Keyboard: Delete"},
};

// The text of one entry of the input list. Asked for in UTF-16: Wine hands a
// list entry of another process back unconverted to an ANSI request.
void combo_item(HWND combo, int32_t index, char *buffer, int32_t size)
{
    buffer[0] = '\0';
    WCHAR wide[256];
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, (WPARAM)index, 0, SMTO_ABORTIFHUNG,
                             E2E_REACTION_MS, &length) ||
        (LRESULT)length < 0 || length >= sizeof wide / sizeof wide[0])
        return;
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, (WPARAM)index, (LPARAM)wide, SMTO_ABORTIFHUNG,
                             E2E_REACTION_MS, &copied) ||
        (LRESULT)copied < 0)
        return;
    wide[copied < sizeof wide / sizeof wide[0] ? copied : 0] = 0;
    WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, size, NULL, NULL);
    buffer[size - 1] = '\0';
}

// The main window: class, title, client size, and its caption buttons (a
// minimise box, no maximise box, no sizing border).
void check_main_window(Session *s)
{
    char text[E2E_TEXT_SIZE];
    GetClassNameA(s->main, text, sizeof text);
    expect_text(s, "window class", text, "Rivanta");
    GetWindowTextA(s->main, text, sizeof text);
    expect_text(s, "window title", text, "Rivanta 1.3.1");
    RECT client;
    GetClientRect(s->main, &client);
    expect(s, client.right == 476 && client.bottom == 652, "client area is %ld x %ld, not 476 x 652",
           client.right, client.bottom);
    LONG style = GetWindowLongA(s->main, GWL_STYLE);
    expect(s, (style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) && (style & WS_MINIMIZEBOX),
           "window style %08lx lacks the caption, the system menu or the minimise box", style);
    expect(s, !(style & WS_THICKFRAME) && !(style & WS_MAXIMIZEBOX),
           "window style %08lx has a sizing border or a maximise box", style);
}

// One control against its expected id, class, text, position, size, style
// bits and enabled state.
void check_control(Session *s, int32_t index, HWND child, const ControlSpec *layout)
{
    char what[96], text[E2E_TEXT_SIZE];
    snprintf(what, sizeof what, "control #%d (id %d)", index + 1, layout->id);
    int32_t id = GetDlgCtrlID(child);
    expect(s, id == layout->id, "%s: id is %d", what, id);
    GetClassNameA(child, text, sizeof text);
    expect(s, _stricmp(text, layout->class_name) == 0, "%s: class is \"%s\", not \"%s\"", what, text,
           layout->class_name);
    read_text(child, text, sizeof text);
    expect_text(s, what, text, layout->text);

    RECT r = client_rect_of(s, child);
    int32_t height = r.bottom - r.top;
    if (layout->id == IDC_INPUT_COMBO) {
        // A drop-down list shows its closed height; the height it was created
        // with covers the closed box and the dropped list together. Windows
        // reports the dropped rectangle with the box, Wine without it, and
        // Wine splits the height by the font the box had when it was made,
        // before the program's font arrived: a few pixels either way.
        RECT dropped;
        memset(&dropped, 0, sizeof dropped);
        send_to(child, CB_GETDROPPEDCONTROLRECT, 0, (LPARAM)&dropped);
        int32_t dropped_height = dropped.bottom - dropped.top;
        int32_t together = dropped_height + height;
        if (dropped_height == layout->height) height = dropped_height;
        else if (together >= layout->height - 12 && together <= layout->height + 12) height = layout->height;
        else height = together;
    }
    expect(s, r.left == layout->x && r.top == layout->y && r.right - r.left == layout->width &&
                  height == layout->height,
           "%s: at (%ld, %ld) size %ld x %d, want (%d, %d) size %d x %d", what, r.left, r.top,
           r.right - r.left, height, layout->x, layout->y, layout->width, layout->height);

    uint32_t mask = checked_style_bits(layout->class_name);
    uint32_t style = (uint32_t)GetWindowLongA(child, GWL_STYLE);
    uint32_t want = layout->style | WS_CHILD | WS_VISIBLE;
    expect(s, (style & mask) == (want & mask), "%s: style bits %08x, want %08x (mask %08x)", what,
           style & mask, want & mask, mask);
    int32_t enabled = IsWindowEnabled(child) ? 1 : 0;
    expect(s, enabled == layout->enabled, "%s: %s", what, enabled ? "enabled" : "disabled");
}

// A way to select a mode and the cycle Tab must then take through the
// enabled tab stops, from the input list on.
struct TabOrderCase {
    const char *mode;
    int32_t clicks[2];     // buttons clicked first, 0 ends the list; none: the state at start-up
    int32_t interval;      // 1 when the interval mode is then selected
    int32_t order[8];      // 0 ends it
};

// In the order of the layout. Of the two mode buttons only the checked one
// is a tab stop, so Tab can never give the focus to the other one.
const TabOrderCase TAB_ORDERS[] = {
    {"start-up (per-second mode)", {0}, 0,
     {IDC_INPUT_COMBO, IDC_MODE_CPS, IDC_CPS_EDIT, IDC_FASTEST, IDC_START, 0}},
    {"interval mode selected", {IDC_MODE_INTERVAL, 0}, 1,
     {IDC_INPUT_COMBO, IDC_FASTEST, IDC_MODE_INTERVAL, IDC_COUNT_EDIT, IDC_MS_EDIT, IDC_START, 0}},
    {"per-second mode selected again", {IDC_MODE_CPS, 0}, 0,
     {IDC_INPUT_COMBO, IDC_MODE_CPS, IDC_CPS_EDIT, IDC_FASTEST, IDC_START, 0}},
    {"fastest button from the interval mode", {IDC_MODE_INTERVAL, IDC_FASTEST}, 0,
     {IDC_INPUT_COMBO, IDC_MODE_CPS, IDC_CPS_EDIT, IDC_FASTEST, IDC_START, 0}},
};

// The mode button of a mode.
int32_t mode_button(int32_t interval)
{
    return interval ? IDC_MODE_INTERVAL : IDC_MODE_CPS;
}

// What keeps the keyboard harmless on Windows, where a radio button that
// receives the focus is clicked: the focus never rests on the unchecked mode
// button, and the mode is still the one the user chose. Returns 1 when both
// hold.
int32_t expect_mode_kept(Session *s, const char *what, int32_t interval)
{
    const int32_t unchecked = mode_button(!interval);
    const int32_t focus = focus_id(s);
    const int32_t kept = is_checked(control(s, mode_button(interval))) &&
                         !is_checked(control(s, unchecked));
    expect(s, focus != unchecked, "%s: the focus rests on the unchecked mode button %d", what,
           unchecked);
    return expect(s, kept, "%s: the mode changed", what) && focus != unchecked;
}

// Presses Tab (or Shift+Tab) and returns the id of the control that then has
// the focus, or 0 when the focus did not move.
int32_t tab_step(Session *s, int32_t backwards)
{
    HWND before = thread_focus(s);
    if (backwards) press_shift_tab();
    else press_key(VK_TAB);
    if (!wait_focus_change(s, before, E2E_REACTION_MS)) return 0;
    return focus_id(s);
}

// Up and Down on the control at index i of the cycle. On the checked mode
// button they move to the other one and select it, and back; anywhere else
// they must leave the mode alone: each is then followed by Tab and Shift+Tab,
// whose focus changes show that the program has handled it.
void arrow_steps(Session *s, const TabOrderCase *c, int32_t i, int32_t n)
{
    const int32_t id = c->order[i];
    const WORD arrows[] = {VK_DOWN, VK_UP};
    char what[128];
    for (size_t k = 0; k < sizeof arrows / sizeof arrows[0]; ++k) {
        snprintf(what, sizeof what, "%s: %s on control %d", c->mode, k ? "Up" : "Down", id);
        if (id == mode_button(c->interval)) {
            const int32_t other = mode_button(!c->interval);
            press_key(arrows[k]);
            expect(s, wait_focus(s, other, E2E_REACTION_MS), "%s: the focus is on %d, not on %d", what,
                   focus_id(s), other);
            expect(s, is_checked(control(s, other)) && !is_checked(control(s, id)),
                   "%s: the other mode is not selected", what);
            press_key(arrows[k]);
            expect(s, wait_focus(s, id, E2E_REACTION_MS), "%s and back: the focus is on %d", what,
                   focus_id(s));
            expect_mode_kept(s, what, c->interval);
            continue;
        }
        press_key(arrows[k]);
        const int32_t next = tab_step(s, 0);
        expect_mode_kept(s, what, c->interval);
        expect(s, next == c->order[(i + 1) % n], "%s, then Tab: the focus went to %d, want %d", what,
               next, c->order[(i + 1) % n]);
        const int32_t back = tab_step(s, 1);
        expect_mode_kept(s, what, c->interval);
        expect(s, back == id, "%s, then Tab and Shift+Tab: the focus went to %d", what, back);
    }
}

}  // namespace

// ---- screenshot -------------------------------------------------------------------

// ---- scenario: start-up layout ------------------------------------------------------

// The window as it opens: every control, the input list, the mode, and a
// screenshot of it.
void scenario_startup(Session *s)
{
    check_main_window(s);

    int32_t n = 0;
    for (HWND child = GetWindow(s->main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (n < 16) check_control(s, n, child, &STARTUP_LAYOUT[n]);
        ++n;
    }
    expect(s, n == 16, "the window has %d child controls, not 16", n);

    HWND combo = control(s, IDC_INPUT_COMBO);
    expect(s, send_to(combo, CB_GETCOUNT, 0, 0) == 71, "the input list holds %ld entries, not 71",
           (long)send_to(combo, CB_GETCOUNT, 0, 0));
    expect(s, send_to(combo, CB_GETCURSEL, 0, 0) == 2, "the input list selects %ld, not 2",
           (long)send_to(combo, CB_GETCURSEL, 0, 0));
    char name[256];
    for (size_t i = 0; i < sizeof LIST_SAMPLES / sizeof LIST_SAMPLES[0]; ++i) {
        combo_item(combo, LIST_SAMPLES[i].index, name, sizeof name);
        char what[64];
        snprintf(what, sizeof what, "input list entry %d", LIST_SAMPLES[i].index);
        expect_text(s, what, name, LIST_SAMPLES[i].name);
    }
    for (int32_t i = 0; i < 71; ++i) {
        combo_item(combo, i, name, sizeof name);
        expect(s, strcmp(name, "Keyboard: F6") != 0 && strcmp(name, "Keyboard: F8") != 0,
               "input list entry %d offers a hotkey: %s", i, name);
    }
    expect(s, is_checked(control(s, IDC_MODE_CPS)) && !is_checked(control(s, IDC_MODE_INTERVAL)),
           "the per-second mode is not the one selected at start-up");

    if (bring_to_front(s, s->main, "the program's window"))
        save_screenshot(s, "rivanta-main-window.png");
}

// ---- scenario: a second copy --------------------------------------------------------

// A second copy shows its notice, opens no window and ends with code 0; the
// first copy runs on undisturbed.
void scenario_second_copy(Session *s)
{
    HWND status = control(s, IDC_STATUS);
    PROCESS_INFORMATION second;
    if (!launch(s, &second)) return;

    // The notice: a message box of the second process, caption "Rivanta".
    HWND box = NULL;
    DWORD start = GetTickCount();
    while (!box && !deadline_passed(start, E2E_LAUNCH_MS)) {
        box = find_windows(second.dwProcessId, "#32770").found;
        if (!box && WaitForSingleObject(second.hProcess, 0) == WAIT_OBJECT_0) break;
        if (!box) Sleep(E2E_POLL_MS);
    }
    if (expect(s, box != NULL, "the second copy showed no message box")) {
        char caption[256];
        GetWindowTextA(box, caption, sizeof caption);
        expect_text(s, "caption of the second copy's notice", caption, "Rivanta");
        expect(s, is_instance_notice(box),
               "the notice does not say \"Rivanta is already running.\"");
        expect(s, find_windows(second.dwProcessId, RIVANTA_CLASS).count == 0,
               "the second copy opened a main window");
        expect(s, find_windows(0, RIVANTA_CLASS).count == 1,
               "more than one Rivanta window is open");
        click(GetDlgItem(box, IDOK));
    }
    expect_exit_zero(s, &second, "the second copy");

    // The first copy runs on, undisturbed and responsive.
    expect(s, WaitForSingleObject(s->process.hProcess, 0) == WAIT_TIMEOUT && IsWindow(s->main),
           "the first copy did not survive the second");
    char text[E2E_TEXT_SIZE];
    read_text(status, text, sizeof text);
    expect_text(s, "first copy's status line after the second copy", text, READY_TEXT);
    set_text(control(s, IDC_CPS_EDIT), "7");
    expect_text_soon(s, "first copy's plan line after the second copy", control(s, IDC_PLAN),
                     "Requested: 7 CPS. Scheduled: 7 per second, evenly spaced (142.86 ms between "
                     "events). The actual rate in the game depends on Windows and the game; it is "
                     "not measured here.");
}

// ---- scenario: Tab order ----------------------------------------------------------

// Tab and Shift+Tab move through the enabled tab stops only, in layout order,
// and never change the mode; the arrow keys change it only on the focused
// mode button. Arming from the keyboard moves the focus to the Stop button,
// where the keyboard still works.
void scenario_tab_order(Session *s)
{
    if (!bring_to_front(s, s->main, "the program's window")) return;
    // The activation gives the window its focus a few milliseconds after it
    // comes to the front; a Tab pressed before that would be credited with
    // the activation's focus change, and every step after it read one ahead.
    if (!expect(s, wait_focus_change(s, NULL, E2E_REACTION_MS), "the program's window has no focus"))
        return;
    for (size_t k = 0; k < sizeof TAB_ORDERS / sizeof TAB_ORDERS[0]; ++k) {
        const TabOrderCase *c = &TAB_ORDERS[k];
        for (size_t b = 0; b < sizeof c->clicks / sizeof c->clicks[0] && c->clicks[b]; ++b)
            click(control(s, c->clicks[b]));
        if (!expect_mode_kept(s, c->mode, c->interval)) continue;
        int32_t n = 0;
        while (c->order[n]) ++n;
        // Walk to the input list first; it must be reached within one cycle.
        int32_t id = focus_id(s);
        for (int32_t i = 0; i <= n && id != IDC_INPUT_COMBO; ++i) {
            id = tab_step(s, 0);
            expect_mode_kept(s, c->mode, c->interval);
        }
        if (!expect(s, id == IDC_INPUT_COMBO, "%s: Tab never reached the input list", c->mode))
            continue;
        char seen[128] = "", want[128] = "";
        for (int32_t i = 1; i <= n; ++i) {
            id = tab_step(s, 0);
            expect_mode_kept(s, c->mode, c->interval);
            size_t used = strlen(seen);
            snprintf(seen + used, sizeof seen - used, " %d", id);
            used = strlen(want);
            snprintf(want + used, sizeof want - used, " %d", c->order[i % n]);
        }
        expect(s, strcmp(seen, want) == 0, "%s: Tab went through%s, want%s", c->mode, seen, want);
        seen[0] = want[0] = '\0';
        for (int32_t i = 1; i <= n; ++i) {
            id = tab_step(s, 1);
            expect_mode_kept(s, c->mode, c->interval);
            size_t used = strlen(seen);
            snprintf(seen + used, sizeof seen - used, " %d", id);
            used = strlen(want);
            snprintf(want + used, sizeof want - used, " %d", c->order[(n - i) % n]);
        }
        expect(s, strcmp(seen, want) == 0, "%s: Shift+Tab went through%s, want%s", c->mode, seen,
               want);
        // The focus is back on the input list: the arrows on every tab stop.
        for (int32_t i = 0; i < n; ++i) {
            if (i > 0) tab_step(s, 0);
            arrow_steps(s, c, i, n);
        }
        tab_step(s, 0);  // back to the input list for the next case
    }

    // Armed by F6 with the focus in the per-second box (the last case left
    // the per-second mode selected): the box is disabled, so the focus moves
    // to the Stop button, and Space there stops the run.
    tab_step(s, 0);
    if (!expect(s, tab_step(s, 0) == IDC_CPS_EDIT, "two Tabs from the input list did not reach the "
                                                     "per-second box"))
        return;
    press_key(VK_F6);
    if (!expect_text_soon(s, "status line after F6 in the program's window", control(s, IDC_STATUS),
                          ARMED_SPACE))
        return;
    expect(s, wait_focus(s, IDC_START, E2E_REACTION_MS),
           "armed with the focus in the per-second box: the focus is on %d, not on the Stop button",
           focus_id(s));
    press_key(VK_SPACE);
    expect_text_soon(s, "status line after Space on the Stop button", control(s, IDC_STATUS),
                     "Stopped.  (0 presses sent)");
    expect(s, focus_id(s) == IDC_START, "after the stop the focus is on %d, not on the Start button",
           focus_id(s));
    expect_idle_controls(s, "stopped by Space on the Stop button", 0);
}
