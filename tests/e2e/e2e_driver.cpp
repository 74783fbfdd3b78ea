// End-to-end scenarios of the real rivanta.exe. The driver starts the program
// in the test prefix's virtual desktop and uses it only as a user would: it
// finds the window by its class, reads and sets control texts by id, clicks
// buttons, brings a recorder window (recorder.h) to the front and presses F6
// and F8 with SendInput. Every wait polls with a deadline.
//
//   e2e_driver <scenario> <path of rivanta.exe> [<folder for the screenshot>]
//
// Exit code 0 when every check of the scenario held, 1 otherwise.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "e2e_session.h"
#include "png_writer.h"

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
// press came after the stop was sent. `switches` is how often the foreground
// changed during the run: at each change one press or release may have gone
// to the window that came to the front (the pause test comes before the press,
// and a press, once sent, is always followed by its release), so n and the
// releases may differ from the presses seen by that much, and no more.
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
    int32_t cut = downs > 0 && last_down >= 0 &&
                  recorder_event(s->rec, (uint32_t)last_down).qpc > stop_sent;
    for (uint32_t n = downs - (uint32_t)cut; n <= downs + switches; ++n) {
        char allowed[E2E_TEXT_SIZE];
        snprintf(allowed, sizeof allowed, "%s  (%u %s sent)", message, n, unit);
        if (strcmp(got, allowed) == 0) return;
    }
    expect_text(s, "stop text with the count the recorder saw", got, want);
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
static void check_control(Session *s, int32_t index, HWND child, const ControlSpec *spec)
{
    char what[96], text[E2E_TEXT_SIZE];
    snprintf(what, sizeof what, "control #%d (id %d)", index + 1, spec->id);
    int32_t id = GetDlgCtrlID(child);
    expect(s, id == spec->id, "%s: id is %d", what, id);
    GetClassNameA(child, text, sizeof text);
    expect(s, _stricmp(text, spec->class_name) == 0, "%s: class is \"%s\", not \"%s\"", what, text,
           spec->class_name);
    read_text(child, text, sizeof text);
    expect_text(s, what, text, spec->text);

    RECT r = client_rect_of(s, child);
    int32_t height = r.bottom - r.top;
    if (spec->id == IDC_INPUT_COMBO) {
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
        if (dropped_height == spec->height) height = dropped_height;
        else if (together >= spec->height - 12 && together <= spec->height + 12) height = spec->height;
        else height = together;
    }
    expect(s, r.left == spec->x && r.top == spec->y && r.right - r.left == spec->width &&
                  height == spec->height,
           "%s: at (%ld, %ld) size %ld x %d, want (%d, %d) size %d x %d", what, r.left, r.top,
           r.right - r.left, height, spec->x, spec->y, spec->width, spec->height);

    uint32_t mask = checked_style_bits(spec->class_name);
    uint32_t style = (uint32_t)GetWindowLongA(child, GWL_STYLE);
    uint32_t want = spec->style | WS_CHILD | WS_VISIBLE;
    expect(s, (style & mask) == (want & mask), "%s: style bits %08x, want %08x (mask %08x)", what,
           style & mask, want & mask, mask);
    int32_t enabled = IsWindowEnabled(child) ? 1 : 0;
    expect(s, enabled == spec->enabled, "%s: %s", what, enabled ? "enabled" : "disabled");
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

// ---- driver --------------------------------------------------------------------

// A scenario's name on the command line and its function.
struct Scenario {
    const char *name;
    void (*run)(Session *);
};

static const Scenario SCENARIOS[] = {
    {"startup", scenario_startup},
    {"plan_and_modes", scenario_plan_and_modes},
    {"arm_and_f6_stop", scenario_arm_and_f6_stop},
    {"hotkeys_and_pause", scenario_hotkeys_and_pause},
    {"refusals", scenario_refusals},
    {"close_during_hold", scenario_close_during_hold},
    {"second_copy", scenario_second_copy},
    {"tab_order", scenario_tab_order},
};

// Prints how to call the driver and the scenario names.
static void usage(void)
{
    fprintf(stderr, "usage: e2e_driver <scenario> <path of rivanta.exe> [<screenshot folder>]\n"
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

    static Recorder recorder;
    Session s;
    if (session_begin(&s, scenario->name, &recorder, argv[2], argc > 3 ? argv[3] : NULL))
        scenario->run(&s);
    session_end(&s);

    if (s.failures == 0) printf("PASS [%s]\n", s.scenario);
    else printf("%d check(s) failed in [%s]\n", s.failures, s.scenario);
    return s.failures == 0 ? 0 : 1;
}
