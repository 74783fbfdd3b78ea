// End-to-end scenarios of the real rivanta.exe. The driver starts the program
// in the test prefix's virtual desktop and uses it only as a user would: it
// finds the window by its class, reads and sets control texts by id, clicks
// buttons, brings a recorder window (recorder.h) to the front and presses F6
// and F8 with SendInput. Every wait polls with a deadline.
//
//   e2e_driver <scenario> <path of rivanta.exe> [<folder for the screenshot>
//              [<folder of the fuzzer's corpus>]]
//
// Exit code 0 when every check of the scenario held, 1 otherwise.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "e2e_session.h"
#include "png_writer.h"
#include "rate/rate_plan.h"
#include "ui/status_texts.h"

// The texts the program shows, exactly as it must show them (both hotkeys
// registered, as in the test desktop).
static const char READY_TEXT[] =
    "Ready. Nothing is sent until you press F6 or Start. F6 toggles, F8 stops (from any "
    "application).";
static const char PLAN_20[] =
    "Requested: 20 CPS. Scheduled: 20 per second, evenly spaced (50.00 ms between events). The "
    "actual rate in the game depends on Windows and the game; it is not measured here.";
static const char HELP_TEXT[] =
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
static const char ARMED_SPACE[] =
    "Armed (Keyboard: Space): switch to the application you want it pressed in (click it or "
    "Alt+Tab). Pressing starts there automatically. F6 toggles, F8 stops (from any "
    "application).";
static const char FASTEST_STATUS[] =
    "Fastest mode applied: 1000 per second scheduled (this app's fastest scheduled rate, 1 ms "
    "apart - not a measured in-game rate). Input unchanged. Nothing is sent until F6 or Start. "
    "F6 toggles, F8 stops (from any application).";
static const char RATE_EMPTY_TEXT[] = "Rate: enter a number of clicks per second.";
static const char RATE_NOT_UNDERSTOOD_TEXT[] =
    "Rate: not a number we understand (try 20, 1e6, 1 centillion, infinite).";
static const char RATE_NOT_POSITIVE_TEXT[] = "Rate: must be greater than zero.";
static const char RATE_BAD_INTERVAL_TEXT[] =
    "Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3).";


// ---- checks shared by scenarios ---------------------------------------------------

// Whether one control should be enabled.
struct EnabledState {
    int32_t id;
    int32_t enabled;
};

// Records a failure for each control whose enabled state is not as listed.
static void expect_enabled(Session *s, const char *when, const EnabledState *states, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        int32_t enabled = IsWindowEnabled(control(s, states[i].id)) ? 1 : 0;
        expect(s, enabled == states[i].enabled, "%s: control %d is %s, should be %s", when,
               states[i].id, enabled ? "enabled" : "disabled",
               states[i].enabled ? "enabled" : "disabled");
    }
}

// Idle: the list, the Start button, both radio buttons, the fastest button and
// exactly the rate box(es) of the selected mode are enabled.
static void expect_idle_controls(Session *s, const char *when, int32_t interval_mode)
{
    const EnabledState states[] = {
        {IDC_INPUT_COMBO, 1},    {IDC_MODE_CPS, 1},       {IDC_CPS_EDIT, !interval_mode},
        {IDC_FASTEST, 1},        {IDC_MODE_INTERVAL, 1},  {IDC_COUNT_EDIT, interval_mode},
        {IDC_MS_EDIT, interval_mode}, {IDC_START, 1},
    };
    expect_enabled(s, when, states, (int32_t)(sizeof states / sizeof states[0]));
    char text[64];
    read_text(control(s, IDC_START), text, sizeof text);
    expect_text(s, when, text, "Start");
}

// Armed or running: everything but the Start/Stop button is disabled.
static void expect_busy_controls(Session *s, const char *when)
{
    const EnabledState states[] = {
        {IDC_INPUT_COMBO, 0}, {IDC_MODE_CPS, 0},   {IDC_CPS_EDIT, 0}, {IDC_FASTEST, 0},
        {IDC_MODE_INTERVAL, 0}, {IDC_COUNT_EDIT, 0}, {IDC_MS_EDIT, 0}, {IDC_START, 1},
    };
    expect_enabled(s, when, states, (int32_t)(sizeof states / sizeof states[0]));
    char text[64];
    read_text(control(s, IDC_START), text, sizeof text);
    expect_text(s, when, text, "Stop");
}

// After a stop: the status line must be "<message>  (<n> <unit> sent)" with n
// the number of presses the recorder saw, and the last press released. A
// press whose hold the stop cut short is released by the stop but not
// counted, so n may be one less than the presses seen, but only when the last
// release came after the stop was sent (a press may go out just before the
// stop key and still be in its hold when the program handles it). `switches`
// is how often the foreground changed during the run: at each change one
// press or release may have gone to the window that came to the front (the
// pause test comes before the press, and a press, once sent, is always
// followed by its release), so n and the releases may differ from the presses
// seen by that much, and no more.
static void expect_stop_count(Session *s, const char *message, const char *unit, uint32_t from,
                              uint32_t down_message, uint32_t up_message, uint32_t wparam,
                              int64_t stop_sent, uint32_t switches)
{
    char got[E2E_TEXT_SIZE];
    char prefix[128];
    snprintf(prefix, sizeof prefix, "%s  (", message);
    if (!expect(s, wait_text_prefix(control(s, IDC_STATUS), prefix, got, sizeof got,
                                    E2E_REACTION_MS),
                "stop text \"%s...\" expected, status line is \"%s\"", prefix, got))
        return;
    sync_recorder(s);
    uint32_t downs = recorder_collect(s->rec, from, down_message, wparam, NULL, 0);
    uint32_t ups = recorder_collect(s->rec, from, up_message, wparam, NULL, 0);
    int32_t last_down = recorder_last(s->rec, from, down_message, wparam);
    int32_t last_up = recorder_last(s->rec, from, up_message, wparam);
    expect(s, ups + switches >= downs && ups <= downs + switches && last_up > last_down,
           "after the stop every press must be released: %u presses, %u releases", downs, ups);
    char want[E2E_TEXT_SIZE];
    snprintf(want, sizeof want, "%s  (%u %s sent)", message, downs, unit);
    if (strcmp(got, want) == 0) return;
    double last_up_ms =
        last_up >= 0 ? recorder_ms(recorder_event(s->rec, (uint32_t)last_up).qpc - stop_sent) : 0;
    int32_t cut = downs > 0 && last_up >= 0 && last_up_ms > 0;
    for (uint32_t n = downs - (uint32_t)cut; n <= downs + switches; ++n) {
        char allowed[E2E_TEXT_SIZE];
        snprintf(allowed, sizeof allowed, "%s  (%u %s sent)", message, n, unit);
        if (strcmp(got, allowed) == 0) return;
    }
    expect_text(s, "stop text with the count the recorder saw", got, want);
    note("    (the last release came %.2f ms after the stop was sent)", last_up_ms);
}

// ---- screenshot -------------------------------------------------------------------

// Copies the screen rectangle of a window into rgb (3 bytes a pixel, rows top
// down). Returns 1 on success.
static int32_t capture_window(HWND window, uint8_t *rgb, int32_t width, int32_t height)
{
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    int32_t ok = 0;
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
        int32_t stride = (width * 3 + 3) & ~3;
        for (int32_t y = 0; ok && y < height; ++y) {
            const uint8_t *src = (const uint8_t *)bits + (size_t)y * stride;
            uint8_t *dest = rgb + (size_t)y * width * 3;
            for (int32_t x = 0; x < width; ++x) {  // BGR to RGB
                dest[x * 3] = src[x * 3 + 2];
                dest[x * 3 + 1] = src[x * 3 + 1];
                dest[x * 3 + 2] = src[x * 3];
            }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}

// Saves a PNG of the program's window once two captures in a row agree (the
// window has finished painting).
static void save_screenshot(Session *s, const char *file_name)
{
    if (!s->out_dir[0]) return;
    RECT r;
    GetWindowRect(s->main, &r);
    int32_t width = r.right - r.left, height = r.bottom - r.top;
    size_t size = (size_t)width * height * 3;
    uint8_t *a = (uint8_t *)malloc(size);
    uint8_t *b = (uint8_t *)malloc(size);
    int32_t stable = 0;
    DWORD start = GetTickCount();
    if (a && b && capture_window(s->main, a, width, height)) {
        while (!stable && !deadline_passed(start, E2E_REACTION_MS)) {
            Sleep(50);
            if (!capture_window(s->main, b, width, height)) break;
            stable = memcmp(a, b, size) == 0;
            memcpy(a, b, size);
        }
    }
    int32_t varied = 0;
    for (size_t i = 3; stable && i < size && !varied; ++i) varied = a[i] != a[i % 3];
    char path[MAX_PATH * 2];
    snprintf(path, sizeof path, "%s\\%s", s->out_dir, file_name);
    if (expect(s, stable && varied, "no steady, non-blank capture of the main window") &&
        expect(s, png_write_rgb(path, a, width, height), "could not write %s", path))
        note("screenshot: %s (%d x %d)", path, width, height);
    free(a);
    free(b);
}

// ---- scenario: start-up layout ------------------------------------------------------

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
static const ControlSpec STARTUP_LAYOUT[16] = {
    {"Static", "1. Input to repeat (keyboard key or mouse button):", SS_LEFT, 16, 14, 440, 20,
     IDC_LABEL, 1},
    {"ComboBox", "Keyboard: Space", WS_TABSTOP | CBS_DROPDOWNLIST, 16, 36, 220, 400,
     IDC_INPUT_COMBO, 1},
    {"Static", "2. How fast (choose one way to enter the rate):", SS_LEFT, 16, 72, 420, 20,
     IDC_LABEL, 1},
    {"Button", "Clicks per second (e.g. 20, 1e6, 1 centillion, infinite):",
     WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 16, 94, 440, 20, IDC_MODE_CPS, 1},
    {"Edit", "20", WS_TABSTOP | ES_AUTOHSCROLL, 36, 116, 200, 26, IDC_CPS_EDIT, 1},
    {"Button", "Fastest mode (1000/s scheduled)", WS_TABSTOP | BS_PUSHBUTTON, 246, 115, 210, 28,
     IDC_FASTEST, 1},
    {"Button", "Clicks every ... milliseconds (decimals allowed, e.g. 10 every 0.1 ms):",
     WS_TABSTOP | BS_AUTORADIOBUTTON, 16, 150, 440, 20, IDC_MODE_INTERVAL, 1},
    {"Edit", "10", WS_TABSTOP | ES_AUTOHSCROLL, 36, 172, 90, 26, IDC_COUNT_EDIT, 0},
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
static uint32_t checked_style_bits(const char *class_name)
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
static const ListEntry LIST_SAMPLES[] = {
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
static void combo_item(HWND combo, int32_t index, char *buffer, int32_t size)
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
static void check_main_window(Session *s)
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
static void check_control(Session *s, int32_t index, HWND child, const ControlSpec *layout)
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

// The window as it opens: every control, the input list, the mode, and a
// screenshot of it.
static void scenario_startup(Session *s)
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

// ---- scenario: plan line, modes and the fastest button ------------------------------

// A box's text and the plan line it must produce.
struct PlanCase {
    const char *box_text;
    const char *plan;
};

static const PlanCase PER_SECOND_PLANS[] = {
    {"1001",
     "Requested: 1001 CPS. LIMITED: this tool tops out at the practical maximum of 1000 events "
     "per second (1 ms apart, evenly spaced, never a burst). Scheduled: 1000 per second. There is "
     "no infinite or sub-millisecond click speed; games usually register far fewer."},
    {"infinite",
     "Requested: infinite CPS. LIMITED: this tool tops out at the practical maximum of 1000 "
     "events per second (1 ms apart, evenly spaced, never a burst). Scheduled: 1000 per second. "
     "There is no infinite or sub-millisecond click speed; games usually register far fewer."},
    {"0.05",
     "Requested: 0.05 CPS: below the minimum; running at the minimum. Scheduled: 0.1 per second "
     "(one event every 10 s)."},
    {"0.1",
     "Requested: 0.1 CPS. Scheduled: 0.1 per second, evenly spaced (10000.00 ms between events). "
     "The actual rate in the game depends on Windows and the game; it is not measured here."},
    {"-3", "Rate: must be greater than zero."},
    {"twenty", "Rate: not a number we understand (try 20, 1e6, 1 centillion, infinite)."},
    {"", "Rate: enter a number of clicks per second."},
};

// What the plan line shows after each keystroke of "333" typed into an empty box.
static const PlanCase TYPED_PLANS[] = {
    {"3",
     "Requested: 3 CPS. Scheduled: 3 per second, evenly spaced (333.33 ms between events). The "
     "actual rate in the game depends on Windows and the game; it is not measured here."},
    {"33",
     "Requested: 33 CPS. Scheduled: 33 per second, evenly spaced (30.30 ms between events). The "
     "actual rate in the game depends on Windows and the game; it is not measured here."},
    {"333",
     "Requested: 333 CPS. Scheduled: 333 per second, evenly spaced (3.00 ms between events). The "
     "actual rate in the game depends on Windows and the game; it is not measured here."},
};

// The interval boxes' texts and the plan line they must produce.
struct IntervalPlanCase {
    const char *count;
    const char *ms;
    const char *plan;
};

static const IntervalPlanCase INTERVAL_PLANS[] = {
    {"3", "7",
     "Requested: 3 every 7 ms = 428.6 per second. Scheduled: 428.6 per second, evenly spaced "
     "(2.33 ms between events). The actual rate in the game depends on Windows and the game; it "
     "is not measured here."},
    {"10", "0.1",
     "Requested: 10 every 0.1 ms = 1e+05 per second. LIMITED: this tool tops out at the practical "
     "maximum of 1000 events per second (1 ms apart, evenly spaced, never a burst). Scheduled: "
     "1000 per second. There is no infinite or sub-millisecond click speed; games usually "
     "register far fewer."},
    {"1", "0", "Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, "
               "2.5e-3)."},
    {"0", "100", "Rate: must be greater than zero."},
};

static const char PLAN_10_EVERY_100[] =
    "Requested: 10 every 100 ms = 100 per second. Scheduled: 100 per second, evenly spaced (10.00 "
    "ms between events). The actual rate in the game depends on Windows and the game; it is not "
    "measured here.";
static const char PLAN_1000[] =
    "Requested: 1000 CPS. Scheduled: 1000 per second, evenly spaced (1.00 ms between events). The "
    "actual rate in the game depends on Windows and the game; it is not measured here.";

// The plan line follows each change of the boxes and of the mode; the fastest
// button selects the per-second mode with its preset; neither acts while a run
// is armed.
static void scenario_plan_and_modes(Session *s)
{
    HWND plan = control(s, IDC_PLAN);
    HWND cps = control(s, IDC_CPS_EDIT);

    for (size_t i = 0; i < sizeof PER_SECOND_PLANS / sizeof PER_SECOND_PLANS[0]; ++i) {
        set_text(cps, PER_SECOND_PLANS[i].box_text);
        char what[96];
        snprintf(what, sizeof what, "plan line for \"%s\" per second", PER_SECOND_PLANS[i].box_text);
        expect_text_soon(s, what, plan, PER_SECOND_PLANS[i].plan);
    }

    // Real keystrokes into the (now empty) box: the plan follows every one.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    POINT p = screen_center_of(cps);
    left_click_at(s, p.x, p.y);
    expect(s, wait_focus(s, IDC_CPS_EDIT, E2E_REACTION_MS), "clicking the per-second box did not "
                                                            "give it the focus");
    for (size_t i = 0; i < sizeof TYPED_PLANS / sizeof TYPED_PLANS[0]; ++i) {
        press_key('3');
        char what[96];
        snprintf(what, sizeof what, "plan line after typing \"%s\"", TYPED_PLANS[i].box_text);
        expect_text_soon(s, what, plan, TYPED_PLANS[i].plan);
    }

    // The interval radio button enables the interval boxes and shows their plan.
    click(control(s, IDC_MODE_INTERVAL));
    expect(s, is_checked(control(s, IDC_MODE_INTERVAL)) && !is_checked(control(s, IDC_MODE_CPS)),
           "clicking the interval radio button did not select the interval mode alone");
    expect_idle_controls(s, "interval mode selected", 1);
    expect_text_soon(s, "plan line of the interval boxes", plan, PLAN_10_EVERY_100);
    for (size_t i = 0; i < sizeof INTERVAL_PLANS / sizeof INTERVAL_PLANS[0]; ++i) {
        set_text(control(s, IDC_COUNT_EDIT), INTERVAL_PLANS[i].count);
        set_text(control(s, IDC_MS_EDIT), INTERVAL_PLANS[i].ms);
        char what[96];
        snprintf(what, sizeof what, "plan line for %s every %s ms", INTERVAL_PLANS[i].count,
                 INTERVAL_PLANS[i].ms);
        expect_text_soon(s, what, plan, INTERVAL_PLANS[i].plan);
    }
    set_text(control(s, IDC_COUNT_EDIT), "3");
    set_text(control(s, IDC_MS_EDIT), "7");

    // Back to per-second: its box (still "333") is read again.
    click(control(s, IDC_MODE_CPS));
    expect_idle_controls(s, "per-second mode selected again", 0);
    expect_text_soon(s, "plan line back in per-second mode", plan, TYPED_PLANS[2].plan);

    // Fastest, from interval mode and with another input chosen: per-second
    // mode, the preset 1000, its status text; the input and the interval boxes
    // are left alone and nothing starts.
    click(control(s, IDC_MODE_INTERVAL));
    HWND combo = control(s, IDC_INPUT_COMBO);
    send_to(combo, CB_SETCURSEL, 14, 0);
    click(control(s, IDC_FASTEST));
    expect(s, is_checked(control(s, IDC_MODE_CPS)) && !is_checked(control(s, IDC_MODE_INTERVAL)),
           "the fastest button did not select the per-second mode alone");
    char text[E2E_TEXT_SIZE];
    read_text(cps, text, sizeof text);
    expect_text(s, "per-second box after the fastest button", text, "1000");
    expect_text_soon(s, "plan line after the fastest button", plan, PLAN_1000);
    expect_text_soon(s, "status line after the fastest button", control(s, IDC_STATUS),
                     FASTEST_STATUS);
    expect_idle_controls(s, "after the fastest button", 0);
    expect(s, send_to(combo, CB_GETCURSEL, 0, 0) == 14, "the fastest button changed the input");
    read_text(control(s, IDC_COUNT_EDIT), text, sizeof text);
    expect_text(s, "count box after the fastest button", text, "3");
    read_text(control(s, IDC_MS_EDIT), text, sizeof text);
    expect_text(s, "milliseconds box after the fastest button", text, "7");

    // Armed (Start clicked with the program in front): the fastest button
    // changes nothing, even clicked while disabled. (A disabled radio button
    // is not clicked: a user cannot, and Wine's button code, walking the
    // group for the button to uncheck, never finds its way back to a disabled
    // one and spins in the program's thread.)
    send_to(combo, CB_SETCURSEL, 2, 0);
    set_text(cps, "20");
    if (!bring_to_front(s, s->main, "the program's window")) return;
    click(control(s, IDC_START));
    if (!expect_text_soon(s, "armed text", control(s, IDC_STATUS), ARMED_SPACE)) return;
    click(control(s, IDC_FASTEST));
    read_text(cps, text, sizeof text);
    expect_text(s, "per-second box after the fastest button while armed", text, "20");
    read_text(control(s, IDC_STATUS), text, sizeof text);
    expect_text(s, "status line after the fastest button while armed", text, ARMED_SPACE);
    expect(s, is_checked(control(s, IDC_MODE_CPS)) && !is_checked(control(s, IDC_MODE_INTERVAL)),
           "the fastest button changed the mode while armed");
    expect_busy_controls(s, "armed, after the fastest button");

    // The Stop button ends the armed state with nothing sent.
    click(control(s, IDC_START));
    expect_text_soon(s, "stop text of the button while armed", control(s, IDC_STATUS),
                     "Stopped.  (0 presses sent)");
    expect_idle_controls(s, "stopped from armed", 0);
}

// ---- scenario: arm by Start, run in the recorder, stop by F6 -----------------------------

// Prints the cadence of the recorded presses and checks that they come at
// period_ms and are held for hold_ms, within tolerances that allow for a
// loaded machine while still catching a wrong period, hold or drift.
static void expect_even_cadence(Session *s, uint32_t from, uint32_t down_message,
                                uint32_t up_message, uint32_t wparam, double period_ms,
                                double hold_ms)
{
    Cadence c = measure_cadence(s, from, down_message, up_message, wparam);
    note("cadence: %u presses, interval median %.2f ms, mean %.2f ms, min %.2f ms, max %.2f ms; "
         "hold median %.2f ms (Wine's Sleep is finer than Windows', so this is better than "
         "Windows gives)",
         c.presses, c.median_interval, c.mean_interval, c.min_interval, c.max_interval,
         c.median_hold);
    expect(s, c.median_interval > period_ms * 0.9 && c.median_interval < period_ms * 1.1,
           "presses are not evenly spaced at %.1f ms: median interval %.2f ms", period_ms,
           c.median_interval);
    expect(s, c.mean_interval > period_ms * 0.9 && c.mean_interval < period_ms * 1.1,
           "the presses drift from %.1f ms: mean interval %.2f ms", period_ms, c.mean_interval);
    expect(s, c.median_hold > hold_ms * 0.6 && c.median_hold < hold_ms * 1.4,
           "presses are not held %.1f ms: median hold %.2f ms", hold_ms, c.median_hold);
}

// The running texts of the default input at the default rate.
static const char SPACE_AT_20[] = "Keyboard: Space at 20 per second";
static const char START_TEXT_SPACE[] =
    "Running: Keyboard: Space at 20 per second in the active application. F6 toggles, F8 stops "
    "(from any application).";

// Start in the program's window arms; the recorder in front starts the run;
// the presses arrive evenly paced; F6 stops with the count the recorder saw.
static void scenario_arm_and_f6_stop(Session *s)
{
    if (!open_recorder_beside(s)) return;
    if (!bring_to_front(s, s->main, "the program's window")) return;
    click(control(s, IDC_START));
    if (!expect_text_soon(s, "armed text", control(s, IDC_STATUS), ARMED_SPACE)) return;
    expect_busy_controls(s, "armed");
    expect(s, recorder_count(s->rec) == 0, "input arrived while the run was only armed");

    uint32_t from = recorder_count(s->rec);
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    int64_t front_at = recorder_now();
    if (!expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 1, E2E_REACTION_MS),
                "the armed run did not start once the recorder was in front"))
        return;
    RecordedEvent first = recorder_event(s->rec, (uint32_t)first_event(s, from, WM_KEYDOWN, VK_SPACE));
    double latency = recorder_ms(first.qpc - front_at);
    note("armed start: first press %.1f ms after the recorder came to the front", latency);
    expect(s, latency < E2E_ARM_START_LIMIT_MS,
           "the armed run started %.1f ms after the recorder came to the front", latency);

    char text[E2E_TEXT_SIZE];
    long sent = 0;
    read_text(control(s, IDC_STATUS), text, sizeof text);
    expect(s, strcmp(text, START_TEXT_SPACE) == 0 || parse_running_line(text, SPACE_AT_20, "", &sent),
           "status line once running: \"%s\"", text);
    expect_busy_controls(s, "running");
    // The status refresh, with no pause suffix: the recorder is in front.
    if (wait_running_line(s, SPACE_AT_20, "", &sent))
        expect(s, sent >= 1, "the running line counts %ld presses", sent);

    expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 21, E2E_REACTION_MS),
           "fewer than 21 presses arrived within %d ms at 20 per second", E2E_REACTION_MS);
    wait_next_release(s, WM_KEYUP, VK_SPACE);
    int64_t stop_sent = recorder_now();
    press_key(VK_F6);
    expect_stop_count(s, "Stopped by F6.", "presses", from, WM_KEYDOWN, WM_KEYUP, VK_SPACE,
                      stop_sent, 0);
    expect_even_cadence(s, from, WM_KEYDOWN, WM_KEYUP, VK_SPACE, 50.0, 25.0);
    expect(s, !(GetAsyncKeyState(VK_SPACE) & 0x8000), "Space is still down after the stop");
    expect_idle_controls(s, "stopped by F6", 0);
}

// ---- scenario: hotkeys from another application, and the pause rules ------------------

// The running texts of a left click at the default rate.
static const char MOUSE_LEFT_AT_20[] = "Mouse: Left click (at cursor position) at 20 per second";
static const char START_TEXT_MOUSE[] =
    "Running: Mouse: Left click (at cursor position) at 20 per second at the cursor position. F6 "
    "toggles, F8 stops (from any application).";

// F8 while idle does nothing; F6 from another application starts at once; the
// program in front pauses; F8 stops; a click run pauses while the cursor is
// over the program, and otherwise clicks where the cursor is.
static void scenario_hotkeys_and_pause(Session *s)
{
    if (!open_recorder_beside(s)) return;
    HWND status = control(s, IDC_STATUS);
    char text[E2E_TEXT_SIZE];

    // F8 while idle changes nothing, not even the status line. The hotkey is
    // posted to the program ahead of the Tab pressed after it, so once the
    // focus has moved the F8 has been handled.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    expect(s, wait_focus_change(s, NULL, E2E_REACTION_MS), "the program's window has no focus");
    HWND focus_before = thread_focus(s);
    press_key(VK_F8);
    press_key(VK_TAB);
    expect(s, wait_focus_change(s, focus_before, E2E_REACTION_MS), "Tab after F8 was not handled");
    read_text(status, text, sizeof text);
    expect_text(s, "status line after F8 while idle", text, READY_TEXT);
    expect_idle_controls(s, "after F8 while idle", 0);

    // F6 with the recorder in front starts at once.
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SPACE)) return;
    long sent = 0;
    wait_running_line(s, SPACE_AT_20, "", &sent);

    // The program's own window in front pauses the run.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    wait_running_line(s, SPACE_AT_20, PAUSED_ACTIVE, &sent);
    read_text(control(s, IDC_CPS_EDIT), text, sizeof text);
    expect_text(s, "per-second box while paused (no press may reach the program)", text, "20");

    // Back in the recorder the presses resume; F8 stops, and the count equals
    // what the recorder saw, so nothing was sent during the pause.
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    wait_running_line(s, SPACE_AT_20, "", &sent);
    uint32_t resumed = recorder_count(s->rec);
    expect(s, wait_events(s, resumed, WM_KEYDOWN, VK_SPACE, 3, E2E_REACTION_MS),
           "the presses did not resume with the recorder in front");
    wait_next_release(s, WM_KEYUP, VK_SPACE);
    int64_t stop_sent = recorder_now();
    press_key(VK_F8);
    expect_stop_count(s, "Stopped by F8.", "presses", from, WM_KEYDOWN, WM_KEYUP, VK_SPACE,
                      stop_sent, 2);
    expect_idle_controls(s, "stopped by F8", 0);

    // A left click with the cursor over the program's window is paused, even
    // with the recorder in front. The cursor is placed before each run and
    // never moved while clicks are live: under Wine a click sent just as the
    // cursor moves can still be routed by its old position.
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, 0, 0);
    POINT over_help = screen_center_of(control(s, IDC_HELP));
    if (!move_cursor(s, over_help.x, over_help.y)) return;
    from = recorder_count(s->rec);
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    press_key(VK_F6);
    char got[E2E_TEXT_SIZE];
    if (!expect(s, wait_text_prefix(status, "Running: Mouse", got, sizeof got, E2E_REACTION_MS),
                "F6 did not start the mouse run: \"%s\"", got))
        return;
    expect(s, strcmp(got, START_TEXT_MOUSE) == 0 || parse_running_line(got, MOUSE_LEFT_AT_20,
                                                                       PAUSED_CURSOR, &sent),
           "start text of the mouse run: \"%s\"", got);
    wait_running_line(s, MOUSE_LEFT_AT_20, PAUSED_CURSOR, &sent);
    expect(s, sent == 0, "clicks were counted while the cursor was over the program: %ld", sent);
    press_key(VK_F8);
    expect_text_soon(s, "stop text of a click run paused throughout", status,
                     "Stopped by F8.  (0 clicks sent)");
    sync_recorder(s);
    expect(s, recorder_collect(s->rec, from, WM_LBUTTONDOWN, RECORDER_ANY, NULL, 0) == 0,
           "clicks arrived while the cursor was over the program");

    // Over the recorder the clicks land where the cursor is, and the cursor
    // stays there.
    POINT over_recorder = screen_center_of(s->rec->window);
    if (!move_cursor(s, over_recorder.x, over_recorder.y)) return;
    from = recorder_count(s->rec);
    press_key(VK_F6);
    if (expect(s, wait_events(s, from, WM_LBUTTONDOWN, RECORDER_ANY, 5, E2E_REACTION_MS),
               "no clicks arrived with the cursor over the recorder")) {
        int32_t last = recorder_last(s->rec, from, WM_LBUTTONDOWN, RECORDER_ANY);
        RecordedEvent e = recorder_event(s->rec, (uint32_t)last);
        POINT at = over_recorder;
        ScreenToClient(s->rec->window, &at);
        expect(s, (int32_t)(short)LOWORD(e.lparam) == at.x && (int32_t)(short)HIWORD(e.lparam) == at.y,
               "the click landed at (%d, %d), not at the cursor (%ld, %ld)",
               (int32_t)(short)LOWORD(e.lparam), (int32_t)(short)HIWORD(e.lparam), at.x, at.y);
        POINT cursor;
        GetCursorPos(&cursor);
        expect(s, cursor.x == over_recorder.x && cursor.y == over_recorder.y,
               "the cursor moved while clicking");
    }
    wait_running_line(s, MOUSE_LEFT_AT_20, "", &sent);
    wait_next_release(s, WM_LBUTTONUP, RECORDER_ANY);
    stop_sent = recorder_now();
    press_key(VK_F8);
    expect_stop_count(s, "Stopped by F8.", "clicks", from, WM_LBUTTONDOWN, WM_LBUTTONUP,
                      RECORDER_ANY, stop_sent, 0);
    expect(s, !(GetAsyncKeyState(VK_LBUTTON) & 0x8000), "the left button is still down");
}

// ---- scenario: refusals --------------------------------------------------------------

// Settings that a start must refuse, the refusal text and where the focus
// goes.
struct RefusalCase {
    const char *label;
    int32_t list_index;  // -1: no entry selected
    int32_t interval_mode;
    const char *cps, *count, *ms;
    const char *status;
    int32_t focus;  // the control that holds the focus afterwards
};

// Neighbouring cases differ in their text, so a status line left over from the
// case before cannot pass for the refusal.
static const RefusalCase REFUSALS[] = {
    {"empty per-second box", 2, 0, "", "10", "100", RATE_EMPTY_TEXT, IDC_CPS_EDIT},
    {"interval of 0 ms", 2, 1, "20", "10", "0", RATE_BAD_INTERVAL_TEXT, IDC_MS_EDIT},
    {"empty count box", 2, 1, "20", "", "100", RATE_EMPTY_TEXT, IDC_COUNT_EDIT},
    {"per-second word not understood", 2, 0, "twenty", "10", "100", RATE_NOT_UNDERSTOOD_TEXT,
     IDC_CPS_EDIT},
    {"empty milliseconds box", 2, 1, "20", "10", "", RATE_BAD_INTERVAL_TEXT, IDC_MS_EDIT},
    {"negative per-second rate", 2, 0, "-3", "10", "100", RATE_NOT_POSITIVE_TEXT, IDC_CPS_EDIT},
    {"no input chosen", -1, 0, "20", "10", "100", "Choose a key first.", IDC_START},
    {"count of zero", 2, 1, "20", "0", "100", RATE_NOT_POSITIVE_TEXT, IDC_COUNT_EDIT},
    {"count not understood", 2, 1, "20", "many", "100", RATE_NOT_UNDERSTOOD_TEXT, IDC_COUNT_EDIT},
};

// Refused starts show their text, move the caret to the box to correct when
// the program is in front (and leave the focus alone when it is not), and stay
// idle.
static void scenario_refusals(Session *s)
{
    if (!open_recorder_beside(s)) return;
    HWND status = control(s, IDC_STATUS);
    char text[E2E_TEXT_SIZE];

    // F6 in another application with an empty box: the refusal text, and the
    // focus is left alone (the program stays in the background).
    set_text(control(s, IDC_CPS_EDIT), "");
    uint32_t from = recorder_count(s->rec);
    if (!bring_to_front(s, s->rec->window, "the recorder")) return;
    // In the background the program's thread holds no focus; a refusal that
    // moved the focus would give it one (and could pull the window forward).
    wait_focus(s, 0, E2E_REACTION_MS);
    HWND focus_before = thread_focus(s);
    press_key(VK_F6);
    expect_text_soon(s, "refusal by F6 with an empty box", status, RATE_EMPTY_TEXT);
    sync_program(s);
    expect(s, thread_focus(s) == focus_before, "the refusal by F6 moved the program's focus");
    expect(s, GetForegroundWindow() == s->rec->window, "the refusal by F6 changed the foreground");
    expect_idle_controls(s, "refused by F6", 0);
    sync_recorder(s);
    expect(s, recorder_collect(s->rec, from, WM_KEYDOWN, VK_SPACE, NULL, 0) == 0,
           "a refused start sent input");

    // Start clicked in the program's window: the text, and the caret goes to
    // the box to correct. BM_CLICK first gives the button the focus, as a
    // mouse click does, so the focus has to move for the check to pass.
    if (!bring_to_front(s, s->main, "the program's window")) return;
    for (size_t i = 0; i < sizeof REFUSALS / sizeof REFUSALS[0]; ++i) {
        const RefusalCase *c = &REFUSALS[i];
        click(control(s, c->interval_mode ? IDC_MODE_INTERVAL : IDC_MODE_CPS));
        send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, (WPARAM)c->list_index, 0);
        set_text(control(s, IDC_CPS_EDIT), c->cps);
        set_text(control(s, IDC_COUNT_EDIT), c->count);
        set_text(control(s, IDC_MS_EDIT), c->ms);
        click(control(s, IDC_START));
        char what[128];
        snprintf(what, sizeof what, "refusal, %s", c->label);
        expect_text_soon(s, what, status, c->status);
        int32_t focus = focus_id(s);
        expect(s, focus == c->focus, "%s: focus on control %d, want %d", what, focus, c->focus);
        if (c->focus != IDC_START)
            expect(s, thread_caret(s) == control(s, c->focus), "%s: the caret is not in control %d",
                   what, c->focus);
        expect_idle_controls(s, what, c->interval_mode);
        // A start that was wrongly accepted is undone, so that the next case
        // begins idle again.
        read_text(control(s, IDC_START), text, sizeof text);
        if (strcmp(text, "Stop") == 0) click(control(s, IDC_START));
    }
}

// ---- scenario: closing during a hold -----------------------------------------------------

// Closing the window while a key is held down releases it before the process
// ends, with exit code 0.
static void scenario_close_during_hold(Session *s)
{
    if (!open_recorder_beside(s)) return;
    // Page Down (an extended key), twice a second: each press is held 25 ms.
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, 66, 0);
    set_text(control(s, IDC_CPS_EDIT), "2");
    uint32_t from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_NEXT)) return;

    // Close as soon as a press has arrived and its release has not.
    int32_t closed_in_hold = 0;
    DWORD start = GetTickCount();
    while (!closed_in_hold && !deadline_passed(start, 4 * E2E_REACTION_MS)) {
        uint32_t mark = recorder_count(s->rec);
        if (!wait_events(s, mark, WM_KEYDOWN, VK_NEXT, 1, E2E_REACTION_MS)) break;
        uint32_t press = (uint32_t)first_event(s, mark, WM_KEYDOWN, VK_NEXT);
        if (recorder_collect(s->rec, press, WM_KEYUP, VK_NEXT, NULL, 0) == 0) {
            PostMessageA(s->main, WM_CLOSE, 0, 0);
            closed_in_hold = recorder_collect(s->rec, press, WM_KEYUP, VK_NEXT, NULL, 0) == 0;
        }
    }
    if (!expect(s, closed_in_hold, "could not close the window while a press was held")) return;
    PROCESS_INFORMATION *process = &s->process;
    expect_exit_zero(s, process, "rivanta.exe closed during a hold");
    s->main = NULL;

    sync_recorder(s);
    uint32_t downs = recorder_collect(s->rec, from, WM_KEYDOWN, VK_NEXT, NULL, 0);
    uint32_t ups = recorder_collect(s->rec, from, WM_KEYUP, VK_NEXT, NULL, 0);
    int32_t last_down = recorder_last(s->rec, from, WM_KEYDOWN, VK_NEXT);
    int32_t last_up = recorder_last(s->rec, from, WM_KEYUP, VK_NEXT);
    expect(s, downs == ups && last_up > last_down,
           "the held key was not released before the program ended: %u presses, %u releases",
           downs, ups);
    expect(s, !(GetAsyncKeyState(VK_NEXT) & 0x8000), "Page Down is still down after the exit");
    if (last_up >= 0) {
        RecordedEvent up = recorder_event(s->rec, (uint32_t)last_up);
        expect(s, (up.lparam >> 24) & 1, "Page Down arrived without the extended-key flag");
        if (last_down >= 0 && last_up > last_down)
            note("last hold, cut by closing: %.2f ms",
                 recorder_ms(up.qpc - recorder_event(s->rec, (uint32_t)last_down).qpc));
    }
}

// ---- scenario: a second copy --------------------------------------------------------

// EnumChildWindows query: the child window showing a given text.
struct ChildTextQuery {
    const char *text;
    HWND found;
};

// EnumChildWindows callback: stops at the first child showing the text.
static BOOL CALLBACK find_child_text_proc(HWND window, LPARAM lparam)
{
    ChildTextQuery *q = (ChildTextQuery *)lparam;
    char text[256];
    read_text(window, text, sizeof text);
    if (strcmp(text, q->text) == 0) {
        q->found = window;
        return FALSE;
    }
    return TRUE;
}

// A second copy shows its notice, opens no window and ends with code 0; the
// first copy runs on undisturbed.
static void scenario_second_copy(Session *s)
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
        ChildTextQuery q = {"Rivanta is already running.", NULL};
        EnumChildWindows(box, find_child_text_proc, (LPARAM)&q);
        expect(s, q.found != NULL, "the notice does not say \"Rivanta is already running.\"");
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

// A mode and the cycle Tab must take through the enabled tab stops in it.
struct TabOrderCase {
    const char *mode;
    int32_t mode_button;  // radio button clicked first; 0: none (the state at start-up)
    int32_t order[8];     // the cycle of enabled tab stops from the input list on, 0 ends it
};

// In the order of the layout. Both mode buttons are tab stops whichever of
// them is selected (the program gives back the style that a radio button
// drops when it is unchecked), so only the enabled rate boxes change.
static const TabOrderCase TAB_ORDERS[] = {
    {"start-up (per-second mode)", 0,
     {IDC_INPUT_COMBO, IDC_MODE_CPS, IDC_CPS_EDIT, IDC_FASTEST, IDC_MODE_INTERVAL, IDC_START, 0}},
    {"interval mode selected", IDC_MODE_INTERVAL,
     {IDC_INPUT_COMBO, IDC_MODE_CPS, IDC_FASTEST, IDC_MODE_INTERVAL, IDC_COUNT_EDIT, IDC_MS_EDIT,
      IDC_START, 0}},
    {"per-second mode selected again", IDC_MODE_CPS,
     {IDC_INPUT_COMBO, IDC_MODE_CPS, IDC_CPS_EDIT, IDC_FASTEST, IDC_MODE_INTERVAL, IDC_START, 0}},
};

// Presses Tab (or Shift+Tab) and returns the id of the control that then has
// the focus, or 0 when the focus did not move.
static int32_t tab_step(Session *s, int32_t backwards)
{
    HWND before = thread_focus(s);
    if (backwards) press_shift_tab();
    else press_key(VK_TAB);
    if (!wait_focus_change(s, before, E2E_REACTION_MS)) return 0;
    return focus_id(s);
}

// Tab and Shift+Tab move through the enabled tab stops only, in layout order.
static void scenario_tab_order(Session *s)
{
    if (!bring_to_front(s, s->main, "the program's window")) return;
    for (size_t k = 0; k < sizeof TAB_ORDERS / sizeof TAB_ORDERS[0]; ++k) {
        const TabOrderCase *c = &TAB_ORDERS[k];
        if (c->mode_button) click(control(s, c->mode_button));
        int32_t n = 0;
        while (c->order[n]) ++n;
        // Walk to the input list first; it must be reached within one cycle.
        int32_t id = focus_id(s);
        for (int32_t i = 0; i <= n && id != IDC_INPUT_COMBO; ++i) id = tab_step(s, 0);
        if (!expect(s, id == IDC_INPUT_COMBO, "%s: Tab never reached the input list", c->mode))
            continue;
        char seen[128] = "", want[128] = "";
        for (int32_t i = 1; i <= n; ++i) {
            id = tab_step(s, 0);
            size_t used = strlen(seen);
            snprintf(seen + used, sizeof seen - used, " %d", id);
            used = strlen(want);
            snprintf(want + used, sizeof want - used, " %d", c->order[i % n]);
        }
        expect(s, strcmp(seen, want) == 0, "%s: Tab went through%s, want%s", c->mode, seen, want);
        id = tab_step(s, 1);
        expect(s, id == c->order[n - 1], "%s: Shift+Tab from the input list went to %d, want %d",
               c->mode, id, c->order[n - 1]);
    }
}

// ---- stress: shared pieces --------------------------------------------------------

// The generator of the stress scenarios' random moments (xorshift64*). Its
// seed is printed, and E2E_SEED=<seed> repeats a run.
struct Random {
    uint64_t state;
};

static uint32_t random_next(Random *r)
{
    uint64_t x = r->state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    r->state = x;
    return (uint32_t)((x * 0x2545F4914F6CDD1DULL) >> 32);
}

// A value in [0, n).
static uint32_t random_below(Random *r, uint32_t n)
{
    return n ? random_next(r) % n : 0;
}

// A generator seeded from E2E_SEED when it is set, else from the clock; the
// seed is printed.
static Random seeded_random(void)
{
    char text[32];
    uint32_t seed = 0;
    DWORD length = GetEnvironmentVariableA("E2E_SEED", text, sizeof text);
    if (length > 0 && length < sizeof text) seed = (uint32_t)strtoul(text, NULL, 10);
    else seed = (uint32_t)recorder_now() ^ (GetCurrentProcessId() << 16);
    note("seed %u (E2E_SEED=%u repeats this run)", seed, seed);
    Random r = {((uint64_t)seed << 32 | seed) ^ 0x9E3779B97F4A7C15ULL};
    return r;
}

// A user's pause between two actions of a storm, 0 to max_ms long. This is
// the rhythm of the input the driver makes, not a wait for the program.
static void random_pause(Random *r, uint32_t max_ms)
{
    Sleep(random_below(r, max_ms + 1));
}

// The input a stress scenario runs, and how the recorder and the stop text
// show it.
struct StressInput {
    const char *label;
    const char *held_name;  // what a failure says is still down
    int32_t list_index;
    uint32_t down_message, up_message;
    uint32_t wparam;  // the key's code, or RECORDER_ANY for a button
    WORD vk;          // as GetAsyncKeyState names it
    const char *unit;
};

static const StressInput STRESS_SPACE = {
    "keyboard", "Space", 2, WM_KEYDOWN, WM_KEYUP, VK_SPACE, VK_SPACE, "presses"};
static const StressInput STRESS_LEFT = {
    "left button", "the left button", 0, WM_LBUTTONDOWN, WM_LBUTTONUP, RECORDER_ANY, VK_LBUTTON,
    "clicks"};

// Chooses the input at 1000 per second, opens the recorder (once per
// scenario), puts the cursor over it for a click and brings it to the front.
static int32_t prepare_fast_run(Session *s, const StressInput *in)
{
    if (!s->rec->window && !open_recorder_beside(s)) return 0;
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, (WPARAM)in->list_index, 0);
    set_text(control(s, IDC_CPS_EDIT), "1000");
    if (!expect_text_soon(s, "plan line at 1000 per second", control(s, IDC_PLAN), PLAN_1000))
        return 0;
    if (in->down_message == WM_LBUTTONDOWN) {
        POINT p = screen_center_of(s->rec->window);
        if (!move_cursor(s, p.x, p.y)) return 0;
    }
    return bring_to_front(s, s->rec->window, "the recorder");
}

// Returns once the program has handled every hotkey pressed so far. The
// system posts WM_HOTKEY when it takes in the key, so once a marker key sent
// after them has reached the recorder they are all queued; a selection posted
// to the per-second box then comes out of the same queue after them.
static void sync_hotkeys(Session *s)
{
    sync_recorder(s);
    static int32_t mark = 0;
    mark = mark == 1 ? 2 : 1;
    HWND box = control(s, IDC_CPS_EDIT);
    PostMessageA(box, EM_SETSEL, (WPARAM)mark, (LPARAM)(mark + 1));
    DWORD start = GetTickCount();
    for (;;) {
        DWORD from = 0, to = 0;
        send_to(box, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
        if ((int32_t)from == mark && (int32_t)to == mark + 1) return;
        if (deadline_passed(start, E2E_REACTION_MS)) {
            expect(s, 0, "the program did not work through its queue of hotkeys");
            return;
        }
        Sleep(1);
    }
}

// Brings the program to rest after a storm: every hotkey handled, and a run
// still armed or running stopped by F8. Returns 1 once idle.
static int32_t settle_idle(Session *s)
{
    sync_hotkeys(s);
    char text[E2E_TEXT_SIZE];
    read_text(control(s, IDC_START), text, sizeof text);
    if (strcmp(text, "Stop") == 0) {
        press_key(VK_F8);
        sync_hotkeys(s);
    }
    read_text(control(s, IDC_START), text, sizeof text);
    if (!expect(s, strcmp(text, "Start") == 0, "the program is not idle after the storm: button "
                                               "reads \"%s\"", text))
        return 0;
    read_text(control(s, IDC_STATUS), text, sizeof text);
    expect(s, strncmp(text, "Stopped", 7) == 0, "status line after the storm: \"%s\"", text);
    expect_idle_controls(s, "idle after the storm", 0);
    return 1;
}

// What a storm did, and the spans in which the recorder was not in front
// (from just before a click into the program's window until the recorder was
// back): at such a switch a press or a release may go to the window that
// comes to the front instead.
enum { STORM_MAX_AWAY = 256 };
struct StormLog {
    int32_t f6, f8, clicks, real_clicks;
    int32_t away_count;
    int64_t away_from[STORM_MAX_AWAY], away_to[STORM_MAX_AWAY];
};

// 1 when the counter span [a, b] meets a span of the log in which the
// recorder was not in front.
static int32_t meets_away_span(const StormLog *log, int64_t a, int64_t b)
{
    for (int32_t i = 0; log && i < log->away_count; ++i)
        if (a <= log->away_to[i] && b >= log->away_from[i]) return 1;
    return 0;
}

// How the presses and releases of one input arrived at the recorder.
struct PairTally {
    uint32_t pairs;      // presses followed by their release
    uint32_t stuck;      // presses not released before the next press or the end
    uint32_t stray_ups;  // releases without a press before them
    uint32_t elsewhere;  // presses or releases missing at a switch of the front window
};

// Counts the pairs recorded from `from` on. A press without its release, or a
// release without its press, counts as gone elsewhere when a span of the log
// falls between it and the input's event before it (or after it, for a
// press left at the end); otherwise as stuck or stray.
static PairTally tally_pairs(const Session *s, uint32_t from, const StressInput *in,
                             const StormLog *log)
{
    PairTally t = {0, 0, 0, 0};
    int32_t held = 0;
    int64_t previous = 0;  // stamp of the input's event before this one
    uint32_t end = recorder_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (in->wparam != RECORDER_ANY && e.wparam != in->wparam) continue;
        if (e.message == in->down_message) {
            if (held) ++*(meets_away_span(log, previous, e.qpc) ? &t.elsewhere : &t.stuck);
            held = 1;
        } else if (e.message == in->up_message) {
            if (held) ++t.pairs;
            else ++*(meets_away_span(log, previous, e.qpc) ? &t.elsewhere : &t.stray_ups);
            held = 0;
        } else {
            continue;
        }
        previous = e.qpc;
    }
    if (held) ++*(meets_away_span(log, previous, INT64_MAX) ? &t.elsewhere : &t.stuck);
    return t;
}

// Every press recorded from `from` on is followed by its release before the
// next press (but at a switch of the front window that the log records), and
// the system does not hold the key or button. The recorder must be in front.
// Returns the tally.
static PairTally expect_nothing_held(Session *s, uint32_t from, const StressInput *in,
                                     const char *when, const StormLog *log)
{
    sync_recorder(s);
    PairTally t = tally_pairs(s, from, in, log);
    expect(s, t.stuck == 0 && t.stray_ups == 0,
           "%s: %u pairs, %u presses left without their release, %u releases without a press",
           when, t.pairs, t.stuck, t.stray_ups);
    expect(s, !(GetAsyncKeyState(in->vk) & 0x8000), "%s: %s is still down", when, in->held_name);
    return t;
}

// ---- scenario: toggle storms ----------------------------------------------------------

enum {
    STORM_F6_PRESSES = 320,    // F6 presses of the toggle storm, clicks come on top
    STORM_F8_ACTIONS = 120,    // actions of the F8 storm
    STORM_CLICK_PERCENT = 8,   // share of Start/Stop clicks among the actions
    STORM_MAX_PAUSE_MS = 50,
};

// Brings the recorder back to the front and closes the log's span that began
// at `away`.
static void back_to_recorder(Session *s, StormLog *log, int64_t away)
{
    bring_to_front(s, s->rec->window, "the recorder");
    if (log->away_count < STORM_MAX_AWAY) {
        log->away_from[log->away_count] = away;
        log->away_to[log->away_count] = recorder_now();
        ++log->away_count;
    }
}

// One action of a storm: the key, or a click on the Start/Stop button. A
// click is a BM_CLICK, which leaves the front window as it is, or (with
// real_clicks, half the time) a real click with the mouse, which brings the
// program's window to the front, so that a start arms; the recorder is then
// brought back, as a user would switch back.
static void storm_action(Session *s, Random *r, WORD key, int32_t real_clicks, StormLog *log)
{
    if (random_below(r, 100) >= STORM_CLICK_PERCENT) {
        press_key(key);
        ++*(key == VK_F8 ? &log->f8 : &log->f6);
    } else if (real_clicks && random_below(r, 2) && log->away_count < STORM_MAX_AWAY) {
        int64_t away = recorder_now();
        POINT p = screen_center_of(control(s, IDC_START));
        left_click_at(s, p.x, p.y);
        expect(s, wait_foreground(s->main, E2E_REACTION_MS),
               "a click on the Start button did not bring the program's window to the front");
        ++log->clicks;
        ++log->real_clicks;
        back_to_recorder(s, log, away);
    } else {
        int64_t away = recorder_now();
        click(control(s, IDC_START));
        ++log->clicks;
        if (GetForegroundWindow() != s->rec->window) back_to_recorder(s, log, away);
    }
    random_pause(r, STORM_MAX_PAUSE_MS);
}

// F6 at random moments, then F8 among F6, with Start/Stop clicks mixed in, at
// 1000 per second; then one last run from the start to F6. Afterwards the
// program is idle, the last stop counts the pairs the recorder saw since the
// last start, and no press of the whole storm was left without its release.
// With real_clicks some clicks are made with the mouse (see storm_action).
static void toggle_storm(Session *s, const StressInput *in, int32_t real_clicks)
{
    Random r = seeded_random();
    if (!prepare_fast_run(s, in)) return;
    uint32_t from = recorder_count(s->rec);
    static StormLog log;
    memset(&log, 0, sizeof log);
    while (log.f6 < STORM_F6_PRESSES) storm_action(s, &r, VK_F6, real_clicks, &log);
    for (int32_t i = 0; i < STORM_F8_ACTIONS; ++i)
        storm_action(s, &r, random_below(&r, 3) ? VK_F8 : VK_F6, real_clicks, &log);
    if (!settle_idle(s)) return;
    PairTally storm = expect_nothing_held(s, from, in, "after the storm", &log);

    // The last start, a run of random length, and F6 to end it.
    uint32_t last_from = sync_recorder(s);
    press_key(VK_F6);
    expect(s, wait_events(s, last_from, in->down_message, in->wparam, 1 + random_below(&r, 60),
                          E2E_REACTION_MS),
           "the last start after the storm sent nothing");
    random_pause(&r, STORM_MAX_PAUSE_MS);
    int64_t stop_sent = recorder_now();
    press_key(VK_F6);
    log.f6 += 2;
    expect_stop_count(s, "Stopped by F6.", in->unit, last_from, in->down_message, in->up_message,
                      in->wparam, stop_sent, 0);
    expect_idle_controls(s, "stopped after the storm", 0);

    // Nothing may come after the program has ended.
    close_rivanta(s);
    PairTally all = expect_nothing_held(s, from, in, "after the program ended", &log);
    // At most the press in its hold when the front window changed, or one
    // whose pause test came just before, per switch.
    expect(s, all.elsewhere <= (uint32_t)log.away_count,
           "%u presses or releases missing at %d switches of the front window", all.elsewhere,
           log.away_count);
    note("[ figures ] toggle storm, %s at 1000/s: %d F6, %d F8, %d Start/Stop clicks (%d of them "
         "real, switching the front window) survived; %u pairs in the storm, %u in all; %u "
         "presses left down; %u presses or releases went to the program's window at a switch",
         in->label, log.f6, log.f8, log.clicks, log.real_clicks, storm.pairs, all.pairs, all.stuck,
         all.elsewhere);
}

static void scenario_toggle_storm_keys(Session *s)
{
    toggle_storm(s, &STRESS_SPACE, 1);
}

// The clicks land where the cursor is, over the recorder: it stays there, and
// the Start button is clicked by BM_CLICK only.
static void scenario_toggle_storm_mouse(Session *s)
{
    toggle_storm(s, &STRESS_LEFT, 0);
}

// ---- scenario: stop under load --------------------------------------------------------

// Threads that spin until told to stop, one per processor.
struct CpuHog {
    HANDLE threads[16];
    int32_t count;
    std::atomic<int32_t> stop;
};

// A hog thread: spins on arithmetic until the stop flag is set.
static DWORD WINAPI hog_main(void *argument)
{
    CpuHog *hog = (CpuHog *)argument;
    uint64_t x = 1;
    while (!hog->stop.load(std::memory_order_relaxed)) x = x * 6364136223846793005ULL + 1;
    return (DWORD)(x & 1);
}

// Starts one spinning thread per processor (at most 16).
static void hog_start(CpuHog *hog)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    hog->stop.store(0);
    hog->count = 0;
    int32_t n = (int32_t)info.dwNumberOfProcessors;
    if (n > 16) n = 16;
    for (int32_t i = 0; i < n; ++i) {
        HANDLE thread = CreateThread(NULL, 0, hog_main, hog, 0, NULL);
        if (thread) hog->threads[hog->count++] = thread;
    }
}

// Stops the threads and returns the processor time they used, in seconds.
static double hog_stop(CpuHog *hog)
{
    // Read while the threads still run: Wine reports no times for an ended one.
    double seconds = 0;
    for (int32_t i = 0; i < hog->count; ++i) {
        FILETIME created, ended, kernel, user;
        if (GetThreadTimes(hog->threads[i], &created, &ended, &kernel, &user))
            seconds += (double)(((uint64_t)user.dwHighDateTime << 32 | user.dwLowDateTime) +
                                ((uint64_t)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime)) /
                       1e7;
    }
    hog->stop.store(1);
    for (int32_t i = 0; i < hog->count; ++i) {
        WaitForSingleObject(hog->threads[i], E2E_EXIT_MS);
        CloseHandle(hog->threads[i]);
    }
    hog->count = 0;
    return seconds;
}

enum {
    LOAD_ROUNDS = 40,
    WORKER_STOP_WAIT_MS = 500,  // how long the program's stop waits for its worker
};

// Prints min / median / max of a set of latencies (sorts them).
static void note_latencies(const char *what, double *ms, int32_t n)
{
    if (n == 0) return;
    qsort(ms, (size_t)n, sizeof ms[0], compare_doubles);
    note("[ figures ] %s: min %.1f ms, median %.1f ms, max %.1f ms (%d stops)", what, ms[0],
         ms[n / 2], ms[n - 1], n);
}

// With every processor kept busy by spinning threads, runs at 1000 per second
// stopped by F8 at random moments: each stop ends the input and shows its
// text within the 500 ms that the stop waits for the worker, with the count
// the recorder saw and nothing held.
static void scenario_stop_under_load(Session *s)
{
    Random r = seeded_random();
    if (!prepare_fast_run(s, &STRESS_SPACE)) return;
    uint32_t from = recorder_count(s->rec);
    static CpuHog hog;
    hog_start(&hog);
    int64_t hog_started = recorder_now();
    double text_ms[LOAD_ROUNDS], input_ms[LOAD_ROUNDS];
    int32_t n = 0;
    HWND status = control(s, IDC_STATUS);
    for (int32_t round = 0; round < LOAD_ROUNDS; ++round) {
        uint32_t run_from = sync_recorder(s);
        press_key(VK_F6);
        if (!expect(s, wait_events(s, run_from, WM_KEYDOWN, VK_SPACE, 1 + random_below(&r, 40),
                                   E2E_REACTION_MS),
                    "round %d: F6 under load started no run", round))
            break;
        random_pause(&r, 20);
        int64_t stop_sent = recorder_now();
        press_key(VK_F8);
        char got[E2E_TEXT_SIZE];
        DWORD start = GetTickCount();
        int32_t shown = 0;
        for (;;) {
            read_text(status, got, sizeof got);
            if ((shown = strncmp(got, "Stopped by F8.  (", 17) == 0) != 0) break;
            if (deadline_passed(start, E2E_REACTION_MS)) break;
            Sleep(1);
        }
        double latency = recorder_ms(recorder_now() - stop_sent);
        if (!expect(s, shown, "round %d: no stop text after F8 under load: \"%s\"", round, got))
            break;
        expect_stop_count(s, "Stopped by F8.", "presses", run_from, WM_KEYDOWN, WM_KEYUP,
                          VK_SPACE, stop_sent, 0);
        int32_t last = recorder_last(s->rec, run_from, WM_KEYUP, VK_SPACE);
        double input_end = last >= 0 ? recorder_ms(recorder_event(s->rec, (uint32_t)last).qpc -
                                                   stop_sent)
                                     : 0.0;
        expect(s, latency < WORKER_STOP_WAIT_MS,
               "round %d: the stop text came %.1f ms after F8, beyond the stop's %d ms wait", round,
               latency, WORKER_STOP_WAIT_MS);
        expect(s, input_end < WORKER_STOP_WAIT_MS,
               "round %d: the last release came %.1f ms after F8", round, input_end);
        text_ms[n] = latency;
        input_ms[n] = input_end < 0 ? 0 : input_end;
        ++n;
    }
    int32_t hog_threads = hog.count;
    double hog_cpu = hog_stop(&hog);
    double hog_wall = recorder_ms(recorder_now() - hog_started) / 1000.0;
    note("[ figures ] stop under load: %d spinning threads used %.1f s of processor time in %.1f s",
         hog_threads, hog_cpu, hog_wall);
    close_rivanta(s);
    PairTally t = expect_nothing_held(s, from, &STRESS_SPACE, "after the runs under load", NULL);
    note_latencies("stop under load, F8 to the stop text", text_ms, n);
    note_latencies("stop under load, F8 to the last release (0: it came before F8)", input_ms, n);
    note("[ figures ] stop under load: %u pairs, %u keys left down", t.pairs, t.stuck);
}

// ---- scenario: closing at random moments ------------------------------------------

// The moments of a run at which the window is closed.
enum CloseMoment {
    CLOSE_ARMED,    // Start clicked in the program's window, nothing sent yet
    CLOSE_IN_HOLD,  // a press is out and its release is not
    CLOSE_IN_WAIT,  // a release is out and the next press is not
    CLOSE_ANY,      // a random time into a run at 1000 per second
};

static const char *const CLOSE_MOMENT_NAMES[] = {"while armed", "during a hold",
                                                 "during the wait", "at a random moment"};

// Rounds of the close scenario, each with a freshly started program; round i
// closes at moment i % 4.
enum { CLOSE_ROUNDS = 12 };

// Runs until the moment has come and posts WM_CLOSE there. Returns the
// counter reading just before the close went out, 0 when it did not; the
// recorder tells afterwards whether the run was in a hold or a wait then.
static int64_t close_at(Session *s, Random *r, CloseMoment moment, uint32_t from)
{
    if (moment == CLOSE_ARMED) {
        if (!bring_to_front(s, s->main, "the program's window")) return 0;
        click(control(s, IDC_START));
        if (!expect_text_soon(s, "armed text", control(s, IDC_STATUS), ARMED_SPACE)) return 0;
        int64_t posted = recorder_now();
        PostMessageA(s->main, WM_CLOSE, 0, 0);
        return posted;
    }
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SPACE)) return 0;
    if (moment == CLOSE_ANY) {
        wait_events(s, from, WM_KEYDOWN, VK_SPACE, 1 + random_below(r, 30), E2E_REACTION_MS);
        random_pause(r, 3);
        int64_t posted = recorder_now();
        PostMessageA(s->main, WM_CLOSE, 0, 0);
        return posted;
    }
    // At 20 per second a press is held 25 ms and the next comes 25 ms after
    // its release; the close is posted as soon as the moment is seen, and the
    // round tried again when the run had moved on by then.
    DWORD start = GetTickCount();
    while (!deadline_passed(start, 4 * E2E_REACTION_MS)) {
        uint32_t mark = recorder_count(s->rec);
        uint32_t wanted = moment == CLOSE_IN_HOLD ? WM_KEYDOWN : WM_KEYUP;
        if (!wait_events(s, mark, wanted, VK_SPACE, 1, E2E_REACTION_MS)) break;
        uint32_t seen = (uint32_t)first_event(s, mark, wanted, VK_SPACE);
        random_pause(r, 5);
        uint32_t other = moment == CLOSE_IN_HOLD ? WM_KEYUP : WM_KEYDOWN;
        int64_t posted = recorder_now();
        if (recorder_collect(s->rec, seen, other, VK_SPACE, NULL, 0) != 0) continue;
        PostMessageA(s->main, WM_CLOSE, 0, 0);
        return posted;
    }
    return expect(s, 0, "could not close %s", CLOSE_MOMENT_NAMES[moment]);
}

// 1 when the last event of the input stamped before `at` is a press: the
// run was inside a hold then.
static int32_t held_at(const Session *s, uint32_t from, int64_t at)
{
    int32_t held = 0;
    uint32_t end = recorder_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (e.qpc >= at) break;
        if (e.wparam != VK_SPACE) continue;
        if (e.message == WM_KEYDOWN) held = 1;
        else if (e.message == WM_KEYUP) held = 0;
    }
    return held;
}

// Closing the window at random moments of a run, each time with the program
// started afresh: the process always ends with code 0 and nothing held, and
// an armed run sends nothing.
static void scenario_close_at_random(Session *s)
{
    Random r = seeded_random();
    if (!open_recorder_beside(s)) return;
    uint32_t everything_from = recorder_count(s->rec);
    int32_t rounds = 0, in_hold = 0, in_wait = 0, armed = 0;
    for (int32_t i = 0; i < CLOSE_ROUNDS; ++i) {
        CloseMoment moment = (CloseMoment)(i % 4);
        if (i > 0 && !start_rivanta(s)) break;
        set_text(control(s, IDC_CPS_EDIT), moment == CLOSE_ANY ? "1000" : "20");
        uint32_t from = recorder_count(s->rec);
        int64_t posted = close_at(s, &r, moment, from);
        char what[96];
        snprintf(what, sizeof what, "rivanta.exe closed %s", CLOSE_MOMENT_NAMES[moment]);
        if (posted) expect_exit_zero(s, &s->process, what);
        else close_rivanta(s);
        s->main = NULL;
        if (!bring_to_front(s, s->rec->window, "the recorder")) break;
        PairTally t = expect_nothing_held(s, from, &STRESS_SPACE, what, NULL);
        if (!posted) break;
        if (moment == CLOSE_ARMED) {
            expect(s, t.pairs == 0, "%s: %u presses arrived", what, t.pairs);
            ++armed;
        } else if (held_at(s, from, posted)) {
            ++in_hold;
        } else {
            ++in_wait;
        }
        ++rounds;
    }
    expect(s, in_hold > 0 && in_wait > 0,
           "the closes never fell into a hold (%d) or never into a wait (%d)", in_hold, in_wait);
    PairTally all = expect_nothing_held(s, everything_from, &STRESS_SPACE, "after every round", NULL);
    note("[ figures ] close at random moments: %d rounds with exit code 0 (%d while armed, %d "
         "during a hold, %d during the wait), %u pairs, %u keys left down",
         rounds, armed, in_hold, in_wait, all.pairs, all.stuck);
}

// ---- scenario: bad input in the rate boxes ----------------------------------------------

enum {
    BOX_READ_SIZE = 16384,     // more than any text put into a box here
    LONG_TEXT_LENGTH = 10000,  // the long texts, pasted or set whole
    WORD_LETTERS = 60,
    RANDOM_WORDS = 8,
    RANDOM_GROUP_TEXTS = 8,
};

// One of the three rate boxes and the mode in which the program reads it.
struct RateBox {
    int32_t id;
    int32_t interval_mode;
    const char *name;
};

static const RateBox RATE_BOXES[] = {
    {IDC_CPS_EDIT, 0, "per-second box"},
    {IDC_COUNT_EDIT, 1, "count box"},
    {IDC_MS_EDIT, 1, "milliseconds box"},
};

// Texts full of digit groups: long runs of groups, groups of odd sizes and
// separators in odd places, beside a number word and an exponent.
static const char *const DIGIT_GROUP_TEXTS[] = {
    "1,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,"
    "000,000,000,000,000,000,000,000,000,000,000,000",
    "1 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 "
    "000 000 000 000 000 000 000 000",
    "999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,"
    "999,999,999,999,999,999,999e-300",
    "0.000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,001",
    "1,00,000",
    "12,345,678.901,234",
    ",1,000",
    "1,,000",
    "1,000,",
    "1.000.000,5",
    "-1,000",
    "1,000 thousand",
    "1,000,000 centillion",
    "1,000e1,000",
    "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34",
};

// Words of WORD_LETTERS letters: one letter over and over, the program's own
// words stretched, and letters in both cases.
static const char *const LONG_WORDS[] = {
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ",
    "infiniteeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee",
    "centillioncentillioncentillioncentillioncentillioncentillion",
    "googolgoogolgoogolgoogolgoogolgoogolgoogolgoogolgoogolgoogol",
    "ThousandMillionBillionTrillionQuadrillionQuintillionSextilli",
    "twenty aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa thousand",
    "1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
};

// What the bad-input scenario tried.
struct BadInputTally {
    int32_t texts;
    uint64_t bytes;
    int32_t refused;
    int32_t armed;
    int32_t single_bytes;
    int32_t corpus_entries;
};

// The folder of the fuzzer's corpus, from the command line (Windows form).
static char corpus_dir[MAX_PATH];

// 1 when text has one of the plan line's forms: one of the four refusal
// texts, or a plan for a runnable rate, which begins with the request and
// ends with one of its three fixed sentences.
static int32_t plan_line_in_set(const char *text)
{
    static const char *const REFUSED[] = {RATE_EMPTY_TEXT, RATE_NOT_UNDERSTOOD_TEXT,
                                          RATE_NOT_POSITIVE_TEXT, RATE_BAD_INTERVAL_TEXT};
    for (size_t i = 0; i < sizeof REFUSED / sizeof REFUSED[0]; ++i)
        if (strcmp(text, REFUSED[i]) == 0) return 1;
    static const char *const ENDINGS[] = {
        " ms between events). The actual rate in the game depends on Windows and the game; it is "
        "not measured here.",
        ". LIMITED: this tool tops out at the practical maximum of 1000 events per second (1 ms "
        "apart, evenly spaced, never a burst). Scheduled: 1000 per second. There is no infinite "
        "or sub-millisecond click speed; games usually register far fewer.",
        ": below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every "
        "10 s).",
    };
    if (strncmp(text, "Requested: ", 11) != 0 || strlen(text) >= PLAN_TEXT_SIZE) return 0;
    size_t length = strlen(text);
    for (size_t i = 0; i < sizeof ENDINGS / sizeof ENDINGS[0]; ++i) {
        size_t n = strlen(ENDINGS[i]);
        if (length > 11 + n && strcmp(text + length - n, ENDINGS[i]) == 0) return 1;
    }
    return 0;
}

// A box's text as the program reads it: at most its first 127 characters.
static void program_reading(HWND box, char *out)
{
    static char whole[BOX_READ_SIZE];
    read_text(box, whole, sizeof whole);
    memcpy(out, whole, RATE_BOX_TEXT_SIZE - 1);
    out[RATE_BOX_TEXT_SIZE - 1] = '\0';
}

// Puts text on the clipboard, owned by a window of the driver.
static int32_t put_on_clipboard(const char *text)
{
    static HWND owner = NULL;
    if (!owner) owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (!OpenClipboard(owner)) return 0;
    EmptyClipboard();
    size_t size = strlen(text) + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    int32_t ok = 0;
    if (memory) {
        memcpy(GlobalLock(memory), text, size);
        GlobalUnlock(memory);
        ok = SetClipboardData(CF_TEXT, memory) != NULL;
        if (!ok) GlobalFree(memory);
    }
    CloseClipboard();
    return ok;
}

// Pastes text into an empty box as a user would: a click into the box, then
// Ctrl+V. Returns 1 once the box holds the whole text.
static int32_t paste_into(Session *s, HWND box, const char *text)
{
    set_text(box, "");
    if (!expect(s, put_on_clipboard(text), "could not put a text on the clipboard")) return 0;
    if (!bring_to_front(s, s->main, "the program's window")) return 0;
    POINT p = screen_center_of(box);
    left_click_at(s, p.x, p.y);
    expect(s, wait_focus(s, GetDlgCtrlID(box), E2E_REACTION_MS), "the click did not focus the box");
    key_edge(VK_CONTROL, 0);
    press_key('V');
    key_edge(VK_CONTROL, 1);
    static char got[BOX_READ_SIZE];
    if (wait_text(box, text, got, sizeof got, E2E_REACTION_MS)) return 1;
    size_t at = 0;
    while (text[at] && text[at] == got[at]) ++at;
    return expect(s, 0, "the paste of %u characters left %u in the box, the first difference at %u "
                        "(0x%02x pasted, 0x%02x in the box)",
                  (unsigned)strlen(text), (unsigned)strlen(got), (unsigned)at,
                  (unsigned char)text[at], (unsigned char)got[at]);
}

// Puts a text into a rate box (set whole, or pasted) and checks what follows:
// the program lives; the plan line is the one the rate language composes from
// the boxes as the program reads them, and has a form of the plan line's set;
// Start then either refuses with the rate's text and leaves everything idle,
// or arms, and the button's Stop leaves everything idle with nothing sent.
static void try_box_text(Session *s, const RateBox *box, const char *text, int32_t paste,
                         const char *label, BadInputTally *tally)
{
    HWND edit = control(s, box->id);
    if (paste) {
        if (!paste_into(s, edit, text)) return;
    } else {
        set_text(edit, text);
    }
    ++tally->texts;
    tally->bytes += strlen(text);
    char first[RATE_BOX_TEXT_SIZE], second[RATE_BOX_TEXT_SIZE];
    RateEntry entry;
    if (box->interval_mode) {
        program_reading(control(s, IDC_COUNT_EDIT), first);
        program_reading(control(s, IDC_MS_EDIT), second);
        entry = read_rate_interval(first, second);
    } else {
        program_reading(control(s, IDC_CPS_EDIT), first);
        entry = read_rate_per_second(first);
    }
    char want[PLAN_TEXT_SIZE], got[E2E_TEXT_SIZE], what[160];
    compose_plan_line(&entry, box->interval_mode, want, sizeof want);
    snprintf(what, sizeof what, "%s in the %s", label, box->name);
    if (!wait_text(control(s, IDC_PLAN), want, got, sizeof got, E2E_REACTION_MS))
        expect_text(s, what, got, want);
    expect(s, plan_line_in_set(got), "%s: the plan line \"%s\" has none of its forms", what, got);

    if (GetForegroundWindow() != s->main && !bring_to_front(s, s->main, "the program's window"))
        return;
    click(control(s, IDC_START));
    HWND status = control(s, IDC_STATUS);
    if (entry.status > RATE_BELOW_MIN) {
        char refusal[STATUS_RATE_REFUSAL_SIZE];
        compose_rate_refusal(refusal, sizeof refusal, entry.status);
        expect_text_soon(s, what, status, refusal);
        expect_idle_controls(s, what, box->interval_mode);
        ++tally->refused;
    } else {
        expect_text_soon(s, what, status, ARMED_SPACE);
        click(control(s, IDC_START));
        expect_text_soon(s, what, status, "Stopped.  (0 presses sent)");
        expect_idle_controls(s, what, box->interval_mode);
        ++tally->armed;
    }
    expect(s, WaitForSingleObject(s->process.hProcess, 0) == WAIT_TIMEOUT,
           "rivanta.exe ended after %s", what);
}

// Selects the box's mode and gives the other boxes of the mode a plain text,
// so that the box under test decides the reading.
static void select_box(Session *s, const RateBox *box)
{
    click(control(s, box->interval_mode ? IDC_MODE_INTERVAL : IDC_MODE_CPS));
    set_text(control(s, IDC_COUNT_EDIT), "10");
    set_text(control(s, IDC_MS_EDIT), "100");
}

// A text of n bytes drawn from [low, high].
static void random_text(Random *r, char *out, size_t n, uint32_t low, uint32_t high)
{
    for (size_t i = 0; i < n; ++i) out[i] = (char)(low + random_below(r, high - low + 1));
    out[n] = '\0';
}

// A text of digit groups of 1 to 4 digits joined by commas, spaces or points,
// about n characters long.
static void random_digit_groups(Random *r, char *out, size_t n)
{
    static const char SEPARATORS[] = ", .";
    size_t used = 0;
    while (used + 6 < n) {
        uint32_t digits = 1 + random_below(r, 4);
        for (uint32_t k = 0; k < digits; ++k) out[used++] = (char)('0' + random_below(r, 10));
        out[used++] = SEPARATORS[random_below(r, 3)];
    }
    out[used] = '\0';
}

// Reads a corpus entry (at most size - 1 bytes, zero-terminated); returns its
// length.
static size_t read_corpus_entry(const char *path, char *out, size_t size)
{
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    size_t n = fread(out, 1, size - 1, f);
    fclose(f);
    out[n] = '\0';
    return n;
}

// The corpus entries through the boxes, read as the fuzzer reads them: the
// text up to the first zero byte into the per-second box and the count box,
// and the bytes after it (or, without one, the second half) into the
// milliseconds box.
static void try_corpus(Session *s, BadInputTally *tally)
{
    char pattern[MAX_PATH + 4];
    snprintf(pattern, sizeof pattern, "%s\\*", corpus_dir);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (!expect(s, search != INVALID_HANDLE_VALUE, "no fuzz corpus at %s", corpus_dir)) return;
    static char data[4096], first[4096], second[4096];
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        char path[MAX_PATH * 2];
        snprintf(path, sizeof path, "%s\\%s", corpus_dir, found.cFileName);
        size_t n = read_corpus_entry(path, data, sizeof data);
        size_t split = strlen(data);
        memcpy(first, data, split + 1);
        if (split < n) snprintf(second, sizeof second, "%s", data + split + 1);
        else snprintf(second, sizeof second, "%s", data + n / 2);
        if (split >= n) first[n / 2] = '\0';
        char label[96];
        snprintf(label, sizeof label, "corpus entry %.12s", found.cFileName);
        select_box(s, &RATE_BOXES[0]);
        try_box_text(s, &RATE_BOXES[0], data, 0, label, tally);
        select_box(s, &RATE_BOXES[1]);
        set_text(control(s, IDC_MS_EDIT), second);
        try_box_text(s, &RATE_BOXES[1], first, 0, label, tally);
        ++tally->corpus_entries;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Every single byte, long texts (some pasted), digit groups, long words and
// the fuzzer's corpus, typed into the three rate boxes through the window.
static void scenario_bad_input(Session *s)
{
    Random r = seeded_random();
    BadInputTally tally;
    memset(&tally, 0, sizeof tally);
    if (!bring_to_front(s, s->main, "the program's window")) return;
    static char text[LONG_TEXT_LENGTH + 1];
    char label[96];
    for (size_t b = 0; b < sizeof RATE_BOXES / sizeof RATE_BOXES[0]; ++b) {
        const RateBox *box = &RATE_BOXES[b];
        select_box(s, box);
        for (uint32_t byte = 1; byte <= 255; ++byte) {
            char one[2] = {(char)byte, '\0'};
            snprintf(label, sizeof label, "the single byte %u", byte);
            try_box_text(s, box, one, 0, label, &tally);
            ++tally.single_bytes;
        }
        // Long texts: digits, digit groups, number words, printable and any
        // bytes; the per-second box gets two of them pasted.
        for (int32_t kind = 0; kind < 5; ++kind) {
            static const char *const UNITS[] = {"1", "1,000,", "one thousand "};
            if (kind < 3) {
                size_t unit = strlen(UNITS[kind]), used = 0;
                while (used + unit <= LONG_TEXT_LENGTH) {
                    memcpy(text + used, UNITS[kind], unit);
                    used += unit;
                }
                text[used] = '\0';
            } else if (kind == 3) {
                random_text(&r, text, LONG_TEXT_LENGTH, 32, 126);
            } else {
                // One line: a single-line box keeps a pasted text only up
                // to its first line break.
                random_text(&r, text, LONG_TEXT_LENGTH, 1, 255);
                for (char *p = text; *p; ++p)
                    if (*p == '\n' || *p == '\r') *p = ' ';
            }
            int32_t paste = box->id == IDC_CPS_EDIT && kind >= 3;
            snprintf(label, sizeof label, "long text %d (%u characters%s)", kind,
                     (unsigned)strlen(text), paste ? ", pasted" : "");
            try_box_text(s, box, text, paste, label, &tally);
        }
        for (size_t i = 0; i < sizeof DIGIT_GROUP_TEXTS / sizeof DIGIT_GROUP_TEXTS[0]; ++i) {
            snprintf(label, sizeof label, "digit groups \"%s\"", DIGIT_GROUP_TEXTS[i]);
            try_box_text(s, box, DIGIT_GROUP_TEXTS[i], 0, label, &tally);
        }
        for (int32_t i = 0; i < RANDOM_GROUP_TEXTS; ++i) {
            random_digit_groups(&r, text, 140);
            snprintf(label, sizeof label, "digit groups \"%s\"", text);
            try_box_text(s, box, text, 0, label, &tally);
        }
        for (size_t i = 0; i < sizeof LONG_WORDS / sizeof LONG_WORDS[0]; ++i) {
            snprintf(label, sizeof label, "the word \"%s\"", LONG_WORDS[i]);
            try_box_text(s, box, LONG_WORDS[i], 0, label, &tally);
        }
        for (int32_t i = 0; i < RANDOM_WORDS; ++i) {
            for (int32_t k = 0; k < WORD_LETTERS; ++k) {
                uint32_t letter = random_below(&r, 52);
                text[k] = (char)(letter < 26 ? 'a' + letter : 'A' + letter - 26);
            }
            text[WORD_LETTERS] = '\0';
            snprintf(label, sizeof label, "the word \"%s\"", text);
            try_box_text(s, box, text, 0, label, &tally);
        }
    }
    try_corpus(s, &tally);
    note("[ figures ] bad input: %d texts tried (%d single bytes, %d corpus entries), %llu bytes "
         "typed or pasted; %d starts refused, %d armed and stopped; no crash",
         tally.texts, tally.single_bytes, tally.corpus_entries, (unsigned long long)tally.bytes,
         tally.refused, tally.armed);
}

// ---- scenario: single instance under a race -----------------------------------------------

enum { RACE_COPIES = 10 };

// 1 when the message box shows the single-instance notice.
static int32_t is_instance_notice(HWND box)
{
    ChildTextQuery q = {"Rivanta is already running.", NULL};
    EnumChildWindows(box, find_child_text_proc, (LPARAM)&q);
    return q.found != NULL;
}

// Ten copies started at once, with none running before: exactly one opens
// its window, the other nine show their notice and end with code 0 once it
// is dismissed; the one left runs on and answers.
static void scenario_instance_race(Session *s)
{
    close_rivanta(s);
    PROCESS_INFORMATION copies[RACE_COPIES];
    int32_t launched = 0;
    for (int32_t i = 0; i < RACE_COPIES; ++i)
        if (launch(s, &copies[i])) ++launched;
    if (launched != RACE_COPIES) {
        for (int32_t i = 0; i < launched; ++i) expect_exit_zero(s, &copies[i], "a copy");
        return;
    }
    int32_t notices = 0, ended = 0;
    int32_t done[RACE_COPIES] = {0};
    WindowQuery windows = {0, NULL, NULL, 0};
    DWORD start = GetTickCount();
    for (;;) {
        for (int32_t i = 0; i < RACE_COPIES; ++i) {
            if (done[i]) continue;
            if (WaitForSingleObject(copies[i].hProcess, 0) == WAIT_OBJECT_0) {
                done[i] = 1;
                ++ended;
                continue;
            }
            HWND box = find_windows(copies[i].dwProcessId, "#32770").found;
            if (box && is_instance_notice(box)) {
                ++notices;
                click(GetDlgItem(box, IDOK));
                // Dismissed once: the copy must now end by itself.
                WaitForSingleObject(copies[i].hProcess, E2E_EXIT_MS);
            }
        }
        windows = find_windows(0, RIVANTA_CLASS);
        if (ended == RACE_COPIES - 1 && windows.count >= 1) break;
        if (ended == RACE_COPIES) break;
        if (deadline_passed(start, 2 * E2E_LAUNCH_MS)) break;
        Sleep(E2E_POLL_MS);
    }
    expect(s, windows.count == 1, "%d Rivanta windows after the race, not 1", windows.count);
    expect(s, notices == RACE_COPIES - 1, "%d notices shown, not %d", notices, RACE_COPIES - 1);
    int32_t survivor = -1;
    DWORD owner = 0;
    if (windows.found) GetWindowThreadProcessId(windows.found, &owner);
    for (int32_t i = 0; i < RACE_COPIES; ++i) {
        if (copies[i].dwProcessId == owner && !done[i]) {
            survivor = i;
            continue;
        }
        expect_exit_zero(s, &copies[i], "a copy that lost the race");
    }
    if (!expect(s, survivor >= 0, "the window left belongs to none of the running copies")) return;
    s->process = copies[survivor];
    s->main = windows.found;
    s->main_thread = GetWindowThreadProcessId(s->main, NULL);
    set_text(control(s, IDC_CPS_EDIT), "7");
    expect_text_soon(s, "the survivor's plan line", control(s, IDC_PLAN),
                     "Requested: 7 CPS. Scheduled: 7 per second, evenly spaced (142.86 ms between "
                     "events). The actual rate in the game depends on Windows and the game; it is "
                     "not measured here.");
    note("[ figures ] single instance under a race: %d copies started at once, 1 window, %d "
         "notices, every loser's exit code 0",
         RACE_COPIES, notices);
}

// ---- driver --------------------------------------------------------------------

// A scenario's name on the command line and its function.
struct Scenario {
    const char *name;
    void (*run)(Session *);
};

// A scenario's function is scenario_<name>, as the list names it.
static const Scenario SCENARIOS[] = {
#define E2E_SCENARIO(name, seconds) {#name, scenario_##name},
#include "e2e_scenarios.def"
#undef E2E_SCENARIO
};

// Prints how to call the driver and the scenario names.
static void usage(void)
{
    fprintf(stderr, "usage: e2e_driver <scenario> <path of rivanta.exe> [<screenshot folder> "
                    "[<fuzz corpus folder>]]\n"
                    "scenarios:");
    for (size_t i = 0; i < sizeof SCENARIOS / sizeof SCENARIOS[0]; ++i)
        fprintf(stderr, " %s", SCENARIOS[i].name);
    fprintf(stderr, "\n");
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        usage();
        return 2;
    }
    const Scenario *scenario = NULL;
    for (size_t i = 0; i < sizeof SCENARIOS / sizeof SCENARIOS[0]; ++i)
        if (strcmp(argv[1], SCENARIOS[i].name) == 0) scenario = &SCENARIOS[i];
    if (!scenario) {
        usage();
        return 2;
    }

    if (argc > 4) to_windows_path(argv[4], corpus_dir, sizeof corpus_dir);

    static Recorder recorder;
    Session s;
    if (session_begin(&s, scenario->name, &recorder, argv[2], argc > 3 ? argv[3] : NULL))
        scenario->run(&s);
    session_end(&s);

    if (s.failures == 0) printf("PASS [%s]\n", s.scenario);
    else printf("%d check(s) failed in [%s]\n", s.failures, s.scenario);
    return s.failures == 0 ? 0 : 1;
}
