// The real main window, created in-process with the program's window
// procedure: its controls, the enabling rule, the run controller's refusals,
// arming, starting and stopping, the status texts and the guards around a
// worker that outlives its stop. A test window of this process stands in for
// "another application" in front.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <map>
#include <string>
#include <vector>

#include "app/app_main_win.h"
#include "common/count_of.h"
#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "control/hotkey_hint.h"
#include "control/run_controller_win.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "rate/rate_boxes_win.h"
#include "rate/rate_plan.h"
#include "tests/reset_shared_state.h"
#include "ui/main_window_private_win.h"
#include "ui/main_window_win.h"
#include "test_window.h"

namespace {

const char BOTH_HINT[] = "F6 toggles, F8 stops (from any application)";
const uint32_t INDEX_LEFT_CLICK = 0;
const uint32_t INDEX_SPACE = 2;

std::string text_of(HWND window)
{
    char text[2048];
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string plan_for(const RateEntry &entry, int interval_mode)
{
    char line[PLAN_TEXT_SIZE];
    return compose_plan_line(&entry, interval_mode, line, sizeof line);
}

void command(UINT id, UINT code)
{
    SendMessageA(main_window, WM_COMMAND, MAKEWPARAM(id, code), 0);
}

void hotkey(WPARAM id)
{
    SendMessageA(main_window, WM_HOTKEY, id, MAKELPARAM(0, id == HOTKEY_ID_F6 ? VK_F6 : VK_F8));
}

bool enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

// The six controls of set_rate_controls_enabled, in its order.
struct RateControls {
    bool cps_radio, interval_radio, cps_edit, fastest, count_edit, ms_edit;
    bool operator==(const RateControls &o) const
    {
        return cps_radio == o.cps_radio && interval_radio == o.interval_radio && cps_edit == o.cps_edit &&
               fastest == o.fastest && count_edit == o.count_edit && ms_edit == o.ms_edit;
    }
};

RateControls rate_controls_now(void)
{
    return {enabled(cps_radio), enabled(interval_radio), enabled(cps_edit),
            enabled(fastest_button), enabled(count_edit), enabled(ms_edit)};
}

std::ostream &operator<<(std::ostream &out, const RateControls &c)
{
    return out << c.cps_radio << c.interval_radio << c.cps_edit << c.fastest << c.count_edit << c.ms_edit;
}

const RateControls CPS_MODE_ENABLED = {true, true, true, true, false, false};
const RateControls INTERVAL_MODE_ENABLED = {true, true, false, true, true, true};
const RateControls ALL_DISABLED = {false, false, false, false, false, false};

// A stand-in for a worker thread that has not ended: it runs until its
// event is set, then optionally releases from the latch as a worker's end does.
struct FakeWorker {
    HANDLE go;
    int release_at_end;
};

DWORD WINAPI fake_worker_main(LPVOID argument)
{
    FakeWorker *fake = (FakeWorker *)argument;
    WaitForSingleObject(fake->go, INFINITE);
    if (fake->release_at_end) release_held_input();
    return 0;
}

// Puts the cursor on window and waits until it stays there: under Wine a
// pointer event of an earlier move can arrive late and move it back.
bool settle_cursor_on(HWND window)
{
    return pump_until(
        [window] {
            POINT wanted;
            if (!cursor_to(window, &wanted)) return false;
            pump_for(50);  // room for a late pointer event to show itself
            POINT now;
            return GetCursorPos(&now) && now.x == wanted.x && now.y == wanted.y;
        },
        10000);
}

// The program's manifest as Wine or Windows can open it.
std::string manifest_path(void)
{
    std::string path = RIVANTA_MANIFEST_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // a Unix path seen through Wine
    return path;
}

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The exe's controls are the version 6 common controls its manifest
        // names; activate the same manifest so that this test gets them too.
        const std::string manifest = manifest_path();
        ACTCTXA context = {};
        context.cbSize = sizeof context;
        context.lpSource = manifest.c_str();
        HANDLE activation = CreateActCtxA(&context);
        ULONG_PTR cookie = 0;
        ASSERT_NE(activation, INVALID_HANDLE_VALUE) << manifest;
        ASSERT_TRUE(ActivateActCtx(activation, &cookie));
        prepare_process();
        ASSERT_TRUE(register_main_window_class(GetModuleHandleA(NULL)));
    }

    void SetUp() override
    {
        reset_shared_state();
        target = create_test_window("target", 560, 60, 400, 300);
        ASSERT_NE(target, (HWND)NULL);
        open_main();
        ASSERT_TRUE(IsWindow(main_window));
        ASSERT_TRUE(bring_to_front(main_window));
        clear_test_log();
    }

    void TearDown() override
    {
        running.store(0);
        close_main();
        DestroyWindow(target);
        test_pump();
    }

    // Creates the main window as the program does, then moves it to the left
    // of the desktop so that the test window beside it never overlaps it.
    static void open_main(void)
    {
        HWND window = create_main_window(GetModuleHandleA(NULL));
        SetWindowPos(window, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_EQ(window, main_window);
        ShowWindow(window, SW_SHOW);
        test_pump();
    }

    static void close_main(void)
    {
        if (IsWindow(main_window)) SendMessageA(main_window, WM_CLOSE, 0, 0);
        test_pump();  // also takes the quit message that WM_DESTROY posts
    }

    // Waits until a started run has sent at least n pairs into the target.
    bool wait_for_presses(int n)
    {
        return pump_until([n] { return tally_key(VK_SPACE).downs >= n && sent_count.load() >= n; }, 5000);
    }

    HWND target = NULL;
};

// ---- Layout ----------------------------------------------------------------

struct ControlRow {
    const char *class_name;
    const char *text;  // as created; null for the help text (checked by length)
    bool text_stays;   // false where the text changes after creation
    DWORD style;       // besides WS_CHILD | WS_VISIBLE
    int x, y, width, height;
    int id;
    bool enabled;
};

const ControlRow LAYOUT[] = {
    {"STATIC", "1. Input to repeat (keyboard key or mouse button):", true, SS_LEFT, 16, 14, 440, 20, -1, true},
    {"COMBOBOX", "", false, WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 16, 36, 220, 400, 101, true},
    {"STATIC", "2. How fast (choose one way to enter the rate):", true, SS_LEFT, 16, 72, 420, 20, -1, true},
    // Each mode button is a group of its own, and so are the controls
    // between and after them: the dialog manager's arrow-key move stays
    // inside a group, and must never carry the focus onto a mode button,
    // which Windows would then click. Only the checked mode button is a tab
    // stop: at creation the per-second one.
    {"BUTTON", "Clicks per second (e.g. 20, 1e6, 1 centillion, infinite):", true,
     WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 16, 94, 440, 20, 107, true},
    {"EDIT", "20", true, WS_GROUP | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 36, 116, 200, 26, 102, true},
    {"BUTTON", "Fastest mode (1000/s scheduled)", true, WS_TABSTOP | BS_PUSHBUTTON, 246, 115, 210, 28, 111, true},
    {"BUTTON", "Clicks every ... milliseconds (decimals allowed, e.g. 10 every 0.1 ms):", true,
     WS_GROUP | BS_AUTORADIOBUTTON, 16, 150, 440, 20, 108, true},
    {"EDIT", "10", true, WS_GROUP | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 36, 172, 90, 26, 109, false},
    {"STATIC", "clicks every", true, SS_LEFT, 132, 176, 80, 20, -1, true},
    {"EDIT", "100", true, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 214, 172, 90, 26, 110, false},
    {"STATIC", "ms", true, SS_LEFT, 310, 176, 40, 20, -1, true},
    {"STATIC", "", false, SS_LEFT, 16, 206, 440, 80, 105, true},
    {"BUTTON", "Start", true, WS_TABSTOP | BS_PUSHBUTTON, 16, 292, 220, 36, 103, true},
    {"STATIC", "F6 = start / stop toggle, F8 = emergency stop\n(both work while any application is active)", true,
     SS_LEFT, 250, 292, 220, 40, -1, true},
    {"STATIC", "", false, SS_LEFT, 16, 340, 440, 56, 104, true},
    {"STATIC", nullptr, true, SS_LEFT, 16, 402, 440, 240, 106, true},
};

// What the program asked CreateWindowExA for, as a CBT hook sees it before
// the control adjusts its own style (edit boxes draw WS_BORDER themselves,
// combo boxes hand WS_VSCROLL to their list).
struct CreationRequest {
    std::string class_name, text;
    DWORD style, ex_style;
    int x, y, width, height;
    INT_PTR id;
};
std::vector<CreationRequest> creation_requests;

LRESULT CALLBACK record_creation(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTA *cs = ((CBT_CREATEWNDA *)lparam)->lpcs;
        if (cs->hwndParent && cs->hwndParent == main_window) {
            const bool named_class = HIWORD((ULONG_PTR)cs->lpszClass) != 0;
            creation_requests.push_back({named_class ? cs->lpszClass : "#atom", cs->lpszName ? cs->lpszName : "",
                                         (DWORD)cs->style, cs->dwExStyle, cs->x, cs->y, cs->cx, cs->cy,
                                         (INT_PTR)cs->hMenu});
        }
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

TEST_F(MainWindow, SixteenControlsInTabOrderWithTheirClassTextStylePlaceAndState)
{
    close_main();
    creation_requests.clear();
    HHOOK hook = SetWindowsHookExA(WH_CBT, record_creation, NULL, GetCurrentThreadId());
    ASSERT_NE(hook, (HHOOK)NULL);
    open_main();
    UnhookWindowsHookEx(hook);
    ASSERT_EQ(creation_requests.size(), COUNT_OF(LAYOUT));

    HWND child = GetWindow(main_window, GW_CHILD);
    for (size_t i = 0; i < COUNT_OF(LAYOUT); ++i) {
        const ControlRow &row = LAYOUT[i];
        const CreationRequest &asked = creation_requests[i];
        SCOPED_TRACE(std::string(row.class_name) + " id " + std::to_string(row.id));
        // The activation context redirects the class to its versioned name,
        // "6.0.x!Button" for "BUTTON".
        const std::string asked_class = asked.class_name.substr(asked.class_name.find('!') + 1);
        EXPECT_EQ(_stricmp(asked_class.c_str(), row.class_name), 0) << asked.class_name;
        if (row.text) {
            EXPECT_EQ(asked.text, row.text);
        } else {
            EXPECT_EQ(asked.text.size(), 1131u);
        }
        EXPECT_EQ(asked.style, row.style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(asked.ex_style, 0u);
        EXPECT_EQ(asked.x, row.x);
        EXPECT_EQ(asked.y, row.y);
        EXPECT_EQ(asked.width, row.width);
        EXPECT_EQ(asked.height, row.height);
        EXPECT_EQ(asked.id, (INT_PTR)row.id);

        // The control itself, in creation (Z and Tab) order.
        ASSERT_NE(child, (HWND)NULL) << "missing control";
        char class_name[64];
        GetClassNameA(child, class_name, sizeof class_name);
        EXPECT_EQ(_stricmp(class_name, row.class_name), 0) << class_name;
        EXPECT_EQ((int)GetWindowLongPtrA(child, GWLP_ID), row.id);
        if (row.text && row.text_stays) {
            EXPECT_EQ(text_of(child), row.text);
        }
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(NULL, main_window, (POINT *)&r, 2);
        EXPECT_EQ(r.left, row.x);
        EXPECT_EQ(r.top, row.y);
        EXPECT_EQ(r.right - r.left, row.width);
        if (row.id != IDC_INPUT_COMBO) {  // a combo box shows its closed height
            EXPECT_EQ(r.bottom - r.top, row.height);
        }
        const DWORD style = (DWORD)GetWindowLongPtrA(child, GWL_STYLE);
        EXPECT_EQ(style & (WS_TABSTOP | WS_GROUP), row.style & (WS_TABSTOP | WS_GROUP));
        EXPECT_EQ(enabled(child), row.enabled);
        EXPECT_EQ((HFONT)SendMessageA(child, WM_GETFONT, 0, 0), ui_font);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, (HWND)NULL) << "more than sixteen controls";

    // These are the version 6 controls (only they know BCM_GETIDEALSIZE).
    SIZE ideal = {};
    EXPECT_TRUE(SendMessageA(start_button, BCM_GETIDEALSIZE, 0, (LPARAM)&ideal));

    // The list scrolls: the combo box passed WS_VSCROLL on to it.
    COMBOBOXINFO combo = {};
    combo.cbSize = sizeof combo;
    ASSERT_TRUE(GetComboBoxInfo(input_combo, &combo));
    EXPECT_TRUE(GetWindowLongPtrA(combo.hwndList, GWL_STYLE) & WS_VSCROLL);

    const struct { int id; HWND handle; } handles[] = {
        {IDC_INPUT_COMBO, input_combo}, {IDC_MODE_CPS, cps_radio},     {IDC_CPS_EDIT, cps_edit},
        {IDC_FASTEST, fastest_button},  {IDC_MODE_INTERVAL, interval_radio}, {IDC_COUNT_EDIT, count_edit},
        {IDC_MS_EDIT, ms_edit},         {IDC_PLAN, plan_label},        {IDC_START, start_button},
        {IDC_STATUS, status_label},
    };
    for (const auto &h : handles) EXPECT_EQ(GetDlgItem(main_window, h.id), h.handle) << h.id;
}

TEST_F(MainWindow, OpensWithTheInputListFontModeReadyTextAndPlan)
{
    ASSERT_EQ(SendMessageA(input_combo, CB_GETCOUNT, 0, 0), (LRESULT)INPUT_CATALOGUE_COUNT);
    for (uint32_t i = 0; i < INPUT_CATALOGUE_COUNT; ++i) {
        char name[128];
        SendMessageA(input_combo, CB_GETLBTEXT, i, (LPARAM)name);
        EXPECT_STREQ(name, INPUT_CATALOGUE[i].name) << i;
    }
    EXPECT_EQ(SendMessageA(input_combo, CB_GETCURSEL, 0, 0), INDEX_SPACE);
    EXPECT_EQ(text_of(input_combo), "Keyboard: Space");

    LOGFONTA font;
    ASSERT_EQ(GetObjectA(ui_font, sizeof font, &font), (int)sizeof font);
    EXPECT_EQ(font.lfHeight, -15);
    EXPECT_EQ(font.lfWidth, 0);
    EXPECT_EQ(font.lfWeight, FW_NORMAL);
    EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut, 0);
    EXPECT_EQ(font.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(font.lfQuality, CLEARTYPE_QUALITY);
    EXPECT_STREQ(font.lfFaceName, "Segoe UI");

    EXPECT_EQ(SendMessageA(cps_radio, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(interval_radio, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(rate_controls_now(), CPS_MODE_ENABLED);
    ASSERT_EQ(hotkey_f6_ok, 1);
    ASSERT_EQ(hotkey_f8_ok, 1);
    EXPECT_EQ(text_of(status_label),
              "Ready. Nothing is sent until you press F6 or Start. F6 toggles, F8 stops (from any application).");
    EXPECT_EQ(text_of(plan_label), plan_for(read_rate_per_second("20"), 0));
    EXPECT_FALSE(text_of(plan_label).empty());
    EXPECT_EQ(text_of(GetDlgItem(main_window, IDC_HELP)).size(), 1131u);
}

// A hotkey another window already holds is reported in the Ready text and
// its flag stays 0 for the life of the window.
TEST_F(MainWindow, ReadyTextNamesTheHotkeysAlreadyTaken)
{
    struct Case { bool take_f6, take_f8; const char *text; };
    const Case cases[] = {
        {true, false, "Ready, but F6 already taken by another program. F6 unavailable; F8 stops (from any application)."},
        {false, true, "Ready, but F8 already taken by another program. F6 toggles (from any application); F8 unavailable."},
        {true, true, "Ready, but F6 and F8 already taken by another program. Hotkeys unavailable: use the Start/Stop button."},
    };
    for (const Case &c : cases) {
        close_main();
        HWND holder = create_test_window("holder", 600, 500, 50, 50);
        if (c.take_f6) {
            ASSERT_TRUE(RegisterHotKey(holder, 7, MOD_NOREPEAT, VK_F6));
        }
        if (c.take_f8) {
            ASSERT_TRUE(RegisterHotKey(holder, 8, MOD_NOREPEAT, VK_F8));
        }
        open_main();
        EXPECT_EQ(hotkey_f6_ok, c.take_f6 ? 0 : 1);
        EXPECT_EQ(hotkey_f8_ok, c.take_f8 ? 0 : 1);
        EXPECT_EQ(text_of(status_label), c.text);

        // The texts of a run carry the same hint: arm and stop again.
        ASSERT_TRUE(bring_to_front(main_window));
        SendMessageA(start_button, BM_CLICK, 0, 0);
        EXPECT_NE(text_of(status_label).find(std::string(hotkey_hint()) + "."), std::string::npos);
        SendMessageA(start_button, BM_CLICK, 0, 0);
        close_main();
        UnregisterHotKey(holder, 7);
        UnregisterHotKey(holder, 8);
        DestroyWindow(holder);
        open_main();
    }
    EXPECT_EQ(hotkey_f6_ok, 1);
    EXPECT_EQ(hotkey_f8_ok, 1);
}

// ---- Enabling rule, mode buttons, edits and the fastest preset --------------

TEST_F(MainWindow, ModeButtonsEnableOneRateEntryAndShowItsPlan)
{
    struct Case { HWND *button; const RateControls *expected; const char *plan_texts[2]; int interval; };
    const Case cases[] = {
        {&interval_radio, &INTERVAL_MODE_ENABLED, {"10", "100"}, 1},
        {&cps_radio, &CPS_MODE_ENABLED, {"20", nullptr}, 0},
        {&interval_radio, &INTERVAL_MODE_ENABLED, {"10", "100"}, 1},
    };
    for (const Case &c : cases) {
        SetWindowTextA(plan_label, "stale");
        SendMessageA(*c.button, BM_CLICK, 0, 0);
        EXPECT_EQ(interval_mode_selected(), c.interval);
        EXPECT_EQ(rate_controls_now(), *c.expected);
        const RateEntry entry = c.interval ? read_rate_interval(c.plan_texts[0], c.plan_texts[1])
                                           : read_rate_per_second(c.plan_texts[0]);
        EXPECT_EQ(text_of(plan_label), plan_for(entry, c.interval));

        // Off and on again restores exactly what the mode calls for, and
        // never touches the input list or the Start button.
        set_rate_controls_enabled(0);
        EXPECT_EQ(rate_controls_now(), ALL_DISABLED);
        EXPECT_TRUE(enabled(input_combo));
        EXPECT_TRUE(enabled(start_button));
        set_rate_controls_enabled(1);
        EXPECT_EQ(rate_controls_now(), *c.expected);
    }
}

// Tab follows the layout through the enabled tab stops only; of the two mode
// buttons only the checked one is a tab stop, whatever changed the checks.
TEST_F(MainWindow, TabMovesThroughTheEnabledTabStopsInLayoutOrder)
{
    enum Step { OPENED, CLICK_INTERVAL, CLICK_CPS, FASTEST_FROM_INTERVAL, ARMED };
    struct Case { Step step; std::vector<int> order; };
    const Case cases[] = {
        {OPENED, {101, 107, 102, 111, 103}},
        {CLICK_INTERVAL, {101, 111, 108, 109, 110, 103}},
        {CLICK_CPS, {101, 107, 102, 111, 103}},
        {FASTEST_FROM_INTERVAL, {101, 107, 102, 111, 103}},
        {ARMED, {103}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.step);
        switch (c.step) {
        case OPENED: break;
        case CLICK_INTERVAL: SendMessageA(interval_radio, BM_CLICK, 0, 0); break;
        case CLICK_CPS: SendMessageA(cps_radio, BM_CLICK, 0, 0); break;
        case FASTEST_FROM_INTERVAL:
            SendMessageA(interval_radio, BM_CLICK, 0, 0);
            SendMessageA(fastest_button, BM_CLICK, 0, 0);
            break;
        case ARMED:
            ASSERT_TRUE(bring_to_front(main_window));
            SendMessageA(start_button, BM_CLICK, 0, 0);
            ASSERT_EQ(run_state, RUN_ARMED);
            break;
        }
        // Forward from the start, once round; then backward from the first.
        std::vector<int> forward;
        HWND at = NULL;
        for (size_t i = 0; i < c.order.size() + 1; ++i) {
            at = GetNextDlgTabItem(main_window, at, FALSE);
            if (!at) break;
            forward.push_back(GetDlgCtrlID(at));
        }
        std::vector<int> expected = c.order;
        expected.push_back(c.order.front());  // and round again
        EXPECT_EQ(forward, expected);
        HWND first = GetDlgItem(main_window, c.order.front());
        EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(main_window, first, TRUE)), c.order.back());
    }
}

// ---- Keyboard navigation as on Windows ----------------------------------------

// Windows' radio button acts as clicked when it receives the keyboard focus:
// it sends BN_CLICKED to its parent (the behaviour BM_SETDONTCLICK turns
// off), and an automatic one is checked. Wine's button does neither, so the
// tests that navigate by keyboard put it into both mode buttons.
struct FocusClick {
    HWND button;
    WNDPROC previous;
};
FocusClick focus_clicks[2];

LRESULT CALLBACK click_on_focus(HWND button, UINT message, WPARAM wparam, LPARAM lparam)
{
    WNDPROC previous = NULL;
    for (const FocusClick &f : focus_clicks)
        if (f.button == button) previous = f.previous;
    const LRESULT result = CallWindowProcA(previous, button, message, wparam, lparam);
    if (message == WM_SETFOCUS) {
        SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     (LPARAM)button);
    }
    return result;
}

void click_mode_buttons_on_focus(void)
{
    const HWND buttons[] = {cps_radio, interval_radio};
    for (size_t i = 0; i < COUNT_OF(buttons); ++i) {
        focus_clicks[i].button = buttons[i];
        focus_clicks[i].previous =
            (WNDPROC)SetWindowLongPtrA(buttons[i], GWLP_WNDPROC, (LONG_PTR)click_on_focus);
    }
}

// One key pressed and released in the program's window, handed over as its
// message loop does: to IsDialogMessageA first. Shift is held in the
// thread's key state, where the dialog manager looks for it.
void press_in_main(WORD vk, bool shift)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE shift_before = keys[VK_SHIFT];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    const LPARAM scan = (LPARAM)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC) << 16;
    const UINT edges[] = {WM_KEYDOWN, WM_KEYUP};
    for (UINT edge : edges) {
        MSG msg = {};
        msg.hwnd = GetFocus();
        msg.message = edge;
        msg.wParam = vk;
        msg.lParam = 1 | scan | (edge == WM_KEYUP ? (LPARAM)0xC0000000 : 0);
        if (!msg.hwnd) break;
        if (!IsDialogMessageA(main_window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    keys[VK_SHIFT] = shift_before;
    SetKeyboardState(keys);
    test_pump();
}

// The selected mode as the two check marks show it.
std::string mode_checks(void)
{
    const bool cps = SendMessageA(cps_radio, BM_GETCHECK, 0, 0) == BST_CHECKED;
    const bool interval = SendMessageA(interval_radio, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (cps && !interval) return "per second";
    if (interval && !cps) return "interval";
    return cps ? "both checked" : "none checked";
}

bool has_tab_stop(HWND window) { return (GetWindowLongPtrA(window, GWL_STYLE) & WS_TABSTOP) != 0; }

std::string control_name(HWND window)
{
    if (!window) return "no focus";
    if (window == main_window) return "the main window";
    return "control " + std::to_string(GetDlgCtrlID(window));
}

// Tab, Shift+Tab and the arrow keys from every control that can hold the
// focus, idle after every kind of change of mode, and armed: Tab never
// changes the mode, the focus never rests on an unchecked mode button, the
// arrows change the mode only on a focused mode button, where they move to
// the other one and select it, as in every Windows dialog.
TEST_F(MainWindow, KeysNeverSelectAModeButtonTheUserDidNotChoose)
{
    click_mode_buttons_on_focus();
    ASSERT_TRUE(bring_to_front(main_window));
    enum Step { OPENED, CLICK_INTERVAL, CLICK_CPS, FASTEST_FROM_INTERVAL, ARROW_TO_INTERVAL, ARROW_TO_CPS,
                STOPPED_IN_INTERVAL, ARMED };
    struct Case { const char *what; Step step; const char *mode; std::vector<int> cycle; };
    const std::vector<int> CPS_CYCLE = {101, 107, 102, 111, 103};
    const std::vector<int> INTERVAL_CYCLE = {101, 111, 108, 109, 110, 103};
    const Case cases[] = {
        {"opened", OPENED, "per second", CPS_CYCLE},
        {"interval button clicked", CLICK_INTERVAL, "interval", INTERVAL_CYCLE},
        {"per-second button clicked", CLICK_CPS, "per second", CPS_CYCLE},
        {"fastest button from the interval mode", FASTEST_FROM_INTERVAL, "per second", CPS_CYCLE},
        {"arrow key from the per-second button", ARROW_TO_INTERVAL, "interval", INTERVAL_CYCLE},
        {"arrow key from the interval button", ARROW_TO_CPS, "per second", CPS_CYCLE},
        {"a run stopped in the interval mode", STOPPED_IN_INTERVAL, "interval", INTERVAL_CYCLE},
        {"armed in the interval mode", ARMED, "interval", {103}},
    };
    const struct { const char *name; WORD vk; bool shift; } keys[] = {
        {"Tab", VK_TAB, false}, {"Shift+Tab", VK_TAB, true}, {"Up", VK_UP, false},
        {"Down", VK_DOWN, false}, {"Left", VK_LEFT, false}, {"Right", VK_RIGHT, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        switch (c.step) {
        case OPENED: break;
        case CLICK_INTERVAL: SendMessageA(interval_radio, BM_CLICK, 0, 0); break;
        case CLICK_CPS: SendMessageA(cps_radio, BM_CLICK, 0, 0); break;
        case FASTEST_FROM_INTERVAL:
            SendMessageA(interval_radio, BM_CLICK, 0, 0);
            SendMessageA(fastest_button, BM_CLICK, 0, 0);
            break;
        case ARROW_TO_INTERVAL:
            SetFocus(cps_radio);
            press_in_main(VK_DOWN, false);
            break;
        case ARROW_TO_CPS:
            SetFocus(interval_radio);
            press_in_main(VK_UP, false);
            break;
        case STOPPED_IN_INTERVAL:
            SendMessageA(interval_radio, BM_CLICK, 0, 0);
            SendMessageA(start_button, BM_CLICK, 0, 0);
            ASSERT_EQ(run_state, RUN_ARMED);
            SendMessageA(start_button, BM_CLICK, 0, 0);
            ASSERT_EQ(run_state, RUN_IDLE);
            break;
        case ARMED:
            SendMessageA(start_button, BM_CLICK, 0, 0);
            ASSERT_EQ(run_state, RUN_ARMED);
            break;
        }
        ASSERT_EQ(mode_checks(), c.mode);
        const bool interval = mode_checks() == "interval";
        HWND checked = interval ? interval_radio : cps_radio;
        HWND unchecked = interval ? cps_radio : interval_radio;
        EXPECT_TRUE(has_tab_stop(checked));
        EXPECT_FALSE(has_tab_stop(unchecked));

        const size_t n = c.cycle.size();
        for (size_t i = 0; i < n; ++i) {
            HWND from = GetDlgItem(main_window, c.cycle[i]);
            for (const auto &key : keys) {
                SCOPED_TRACE(std::string(key.name) + " from " + control_name(from));
                SetFocus(from);
                ASSERT_EQ(GetFocus(), from);
                press_in_main(key.vk, key.shift);
                HWND focus = GetFocus();
                const HWND unchecked_now = mode_checks() == "interval" ? cps_radio : interval_radio;
                EXPECT_NE(focus, unchecked_now) << "the focus rests on the unchecked mode button";
                if (key.vk == VK_TAB) {
                    const size_t next = key.shift ? (i + n - 1) % n : (i + 1) % n;
                    EXPECT_EQ(focus, GetDlgItem(main_window, c.cycle[next])) << control_name(focus);
                    EXPECT_EQ(mode_checks(), c.mode);
                } else if (from == checked) {
                    // The arrows move to the other mode button and select it.
                    EXPECT_EQ(focus, unchecked) << control_name(focus);
                    EXPECT_EQ(mode_checks(), interval ? "per second" : "interval");
                    EXPECT_EQ(rate_controls_now(), interval ? CPS_MODE_ENABLED : INTERVAL_MODE_ENABLED);
                    EXPECT_EQ(text_of(plan_label),
                              interval ? plan_for(read_rate_per_second(text_of(cps_edit).c_str()), 0)
                                       : plan_for(read_rate_interval("10", "100"), 1));
                    EXPECT_TRUE(has_tab_stop(unchecked));
                    EXPECT_FALSE(has_tab_stop(checked));
                    // And the same key moves back.
                    press_in_main(key.vk, key.shift);
                    EXPECT_EQ(GetFocus(), checked) << control_name(GetFocus());
                    EXPECT_EQ(mode_checks(), c.mode);
                    EXPECT_TRUE(has_tab_stop(checked));
                    EXPECT_FALSE(has_tab_stop(unchecked));
                } else {
                    EXPECT_EQ(mode_checks(), c.mode);
                    SendMessageA(input_combo, CB_SETCURSEL, INDEX_SPACE, 0);  // the list's own arrows
                }
            }
        }
        EXPECT_EQ(rate_controls_now(),
                  c.step == ARMED ? ALL_DISABLED : (interval ? INTERVAL_MODE_ENABLED : CPS_MODE_ENABLED));
    }
}

// ---- The focus when a run is armed, started and stopped ------------------------

// Windows leaves the focus on a control that is disabled under it, and the
// window's keyboard then does nothing until a click (Wine drops the focus
// instead): arming moves it to the Start/Stop button first, the one control
// left enabled, and the stop leaves it there. A run started and stopped from
// another application never takes the focus or the front from it.
TEST_F(MainWindow, ArmingMovesTheFocusToTheStopButtonAndTheStopKeepsItThere)
{
    struct Case { const char *what; bool interval; HWND *focus; };
    const Case cases[] = {
        {"per-second box", false, &cps_edit},
        {"input list", false, &input_combo},
        {"fastest button", false, &fastest_button},
        {"per-second mode button", false, &cps_radio},
        {"count box", true, &count_edit},
        {"milliseconds box", true, &ms_edit},
        {"interval mode button", true, &interval_radio},
        {"the window itself", false, &main_window},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(bring_to_front(main_window));
        SendMessageA(c.interval ? interval_radio : cps_radio, BM_CLICK, 0, 0);
        SetFocus(*c.focus);
        ASSERT_EQ(GetFocus(), *c.focus);
        hotkey(HOTKEY_ID_F6);  // with the program in front: armed
        ASSERT_EQ(run_state, RUN_ARMED);
        EXPECT_EQ(GetFocus(), start_button) << control_name(GetFocus());
        EXPECT_TRUE(enabled(start_button));
        // The keyboard still works: Tab keeps the focus on the only tab stop,
        // and Space presses the button under it, which stops the run.
        press_in_main(VK_TAB, false);
        EXPECT_EQ(GetFocus(), start_button) << control_name(GetFocus());
        press_in_main(VK_SPACE, false);
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_EQ(text_of(status_label), "Stopped.  (0 presses sent)");
        EXPECT_EQ(GetFocus(), start_button) << control_name(GetFocus());

        // Armed again, then stopped by F8: the focus stays on the button.
        SetFocus(*c.focus);
        hotkey(HOTKEY_ID_F6);
        ASSERT_EQ(run_state, RUN_ARMED);
        hotkey(HOTKEY_ID_F8);
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_EQ(GetFocus(), start_button) << control_name(GetFocus());
    }

    // Started and stopped from another window, which keeps the front and its focus.
    SetFocus(cps_edit);
    ASSERT_TRUE(bring_to_front(target));
    hotkey(HOTKEY_ID_F6);
    ASSERT_EQ(run_state, RUN_RUNNING);
    ASSERT_TRUE(wait_for_presses(1));
    hotkey(HOTKEY_ID_F8);
    EXPECT_EQ(run_state, RUN_IDLE);
    EXPECT_EQ(GetForegroundWindow(), target);
    EXPECT_EQ(GetFocus(), target) << control_name(GetFocus());

    // Coming back to the window during a run puts the focus on the window
    // itself; the stop gives it to the Start button.
    hotkey(HOTKEY_ID_F6);
    ASSERT_EQ(run_state, RUN_RUNNING);
    ASSERT_TRUE(bring_to_front(main_window));
    hotkey(HOTKEY_ID_F8);
    EXPECT_EQ(run_state, RUN_IDLE);
    EXPECT_EQ(GetFocus(), start_button) << control_name(GetFocus());
    ASSERT_TRUE(bring_to_front(target));
    ASSERT_TRUE(flush_input());
    EXPECT_EQ(tally_key(VK_SPACE).downs, tally_key(VK_SPACE).ups) << "a key left down";
}

TEST_F(MainWindow, OnlyTextChangesInTheRateBoxesRefreshThePlan)
{
    struct Case { UINT id; UINT code; bool refreshes; };
    const Case cases[] = {
        {IDC_CPS_EDIT, EN_CHANGE, true},       {IDC_COUNT_EDIT, EN_CHANGE, true},
        {IDC_MS_EDIT, EN_CHANGE, true},        {IDC_CPS_EDIT, EN_SETFOCUS, false},
        {IDC_CPS_EDIT, EN_KILLFOCUS, false},   {IDC_CPS_EDIT, EN_UPDATE, false},
        {IDC_INPUT_COMBO, CBN_SELCHANGE, false}, {IDOK, BN_CLICKED, false},
        {IDCANCEL, BN_CLICKED, false},         {IDC_PLAN, 0, false},
    };
    const std::string status = text_of(status_label);
    for (const Case &c : cases) {
        SetWindowTextA(plan_label, "stale");
        command(c.id, c.code);
        EXPECT_EQ(text_of(plan_label) != "stale", c.refreshes) << c.id << " code " << c.code;
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_EQ(text_of(status_label), status);
    }
    // Typing into the box is what raises EN_CHANGE.
    SetWindowTextA(cps_edit, "1 centillion");
    EXPECT_EQ(text_of(plan_label), plan_for(read_rate_per_second("1 centillion"), 0));
}

TEST_F(MainWindow, FastestButtonFillsThePresetWhileIdleOnly)
{
    SendMessageA(interval_radio, BM_CLICK, 0, 0);
    SetWindowTextA(count_edit, "3");
    SetWindowTextA(cps_edit, "7");
    SendMessageA(input_combo, CB_SETCURSEL, INDEX_LEFT_CLICK, 0);

    SendMessageA(fastest_button, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(cps_radio, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageA(interval_radio, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(rate_controls_now(), CPS_MODE_ENABLED);
    EXPECT_EQ(text_of(cps_edit), "1000");
    EXPECT_EQ(text_of(plan_label), plan_for(read_rate_per_second("1000"), 0));
    EXPECT_EQ(text_of(status_label),
              "Fastest mode applied: 1000 per second scheduled (this app's fastest scheduled rate, 1 ms apart - "
              "not a measured in-game rate). Input unchanged. Nothing is sent until F6 or Start. F6 toggles, "
              "F8 stops (from any application).");
    EXPECT_EQ(SendMessageA(input_combo, CB_GETCURSEL, 0, 0), INDEX_LEFT_CLICK);
    EXPECT_EQ(text_of(count_edit), "3");
    EXPECT_EQ(run_state, RUN_IDLE);
    EXPECT_EQ(running.load(), 0);

    // Armed: the (disabled) button's command, should it arrive, does nothing.
    SetWindowTextA(cps_edit, "5");
    SendMessageA(start_button, BM_CLICK, 0, 0);
    ASSERT_EQ(run_state, RUN_ARMED);
    const std::string armed = text_of(status_label);
    command(IDC_FASTEST, BN_CLICKED);
    command(IDC_MODE_INTERVAL, BN_CLICKED);
    EXPECT_EQ(text_of(cps_edit), "5");
    EXPECT_EQ(text_of(status_label), armed);
    EXPECT_EQ(rate_controls_now(), ALL_DISABLED);
}

// ---- Refusals ----------------------------------------------------------------

// A refused start leaves the program idle, says why in one line and, with the
// program in front, puts the caret into the box to correct.
TEST_F(MainWindow, RefusedStartsStayIdleAndFocusTheBoxToCorrect)
{
    enum Mode { CPS, INTERVAL };
    struct Case {
        const char *what;
        Mode mode;
        const char *cps, *count, *ms;
        int selection;
        bool own_in_front;
        RateStatus status;  // RATE_OK: the selection is refused instead
        HWND *focus;        // null: focus left where it was
    };
    const Case cases[] = {
        {"no selection", CPS, "20", "10", "100", -1, true, RATE_OK, nullptr},
        {"empty per-second box", CPS, "", "10", "100", INDEX_SPACE, true, RATE_EMPTY, &cps_edit},
        {"words not understood", CPS, "lots", "10", "100", INDEX_SPACE, true, RATE_NOT_UNDERSTOOD, &cps_edit},
        {"zero per second", CPS, "0", "10", "100", INDEX_SPACE, true, RATE_NOT_POSITIVE, &cps_edit},
        {"empty ms box", INTERVAL, "20", "10", "", INDEX_SPACE, true, RATE_BAD_INTERVAL, &ms_edit},
        {"negative ms", INTERVAL, "20", "10", "-5", INDEX_SPACE, true, RATE_BAD_INTERVAL, &ms_edit},
        {"empty count", INTERVAL, "20", "", "100", INDEX_SPACE, true, RATE_EMPTY, &count_edit},
        {"zero count", INTERVAL, "20", "0", "100", INDEX_SPACE, true, RATE_NOT_POSITIVE, &count_edit},
        {"empty box, F6 elsewhere", CPS, "", "10", "100", INDEX_SPACE, false, RATE_EMPTY, nullptr},
        {"bad ms, F6 elsewhere", INTERVAL, "20", "10", "x", INDEX_SPACE, false, RATE_BAD_INTERVAL, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SendMessageA(c.mode == INTERVAL ? interval_radio : cps_radio, BM_CLICK, 0, 0);
        SetWindowTextA(cps_edit, c.cps);
        SetWindowTextA(count_edit, c.count);
        SetWindowTextA(ms_edit, c.ms);
        SendMessageA(input_combo, CB_SETCURSEL, (WPARAM)c.selection, 0);
        HWND focus_before;
        if (c.own_in_front) {
            ASSERT_TRUE(bring_to_front(main_window));
            SetFocus(start_button);
            focus_before = start_button;
            SendMessageA(start_button, BM_CLICK, 0, 0);
        } else {
            ASSERT_TRUE(bring_to_front(target));
            focus_before = target;
            hotkey(HOTKEY_ID_F6);
        }
        char expected[200];
        if (c.status == RATE_OK) snprintf(expected, sizeof expected, "Choose a key first.");
        else snprintf(expected, sizeof expected, "Rate: %s.", rate_status_text(c.status));
        EXPECT_EQ(text_of(status_label), expected);
        EXPECT_EQ(GetFocus(), c.focus ? *c.focus : focus_before);
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_EQ(running.load(), 0);
        EXPECT_EQ(worker_thread, (HANDLE)NULL);
        EXPECT_TRUE(enabled(input_combo));
        EXPECT_EQ(rate_controls_now(), c.mode == INTERVAL ? INTERVAL_MODE_ENABLED : CPS_MODE_ENABLED);
        EXPECT_EQ(text_of(start_button), "Start");
        EXPECT_EQ(current_input.name, nullptr) << "refused settings must not be copied";
    }
}

// ---- Arming, starting and stopping -------------------------------------------

TEST_F(MainWindow, StartInOwnWindowArmsAndTheRunBeginsWhenAnotherWindowComesToFront)
{
    SendMessageA(start_button, BM_CLICK, 0, 0);
    EXPECT_EQ(run_state, RUN_ARMED);
    EXPECT_EQ(text_of(status_label),
              "Armed (Keyboard: Space): switch to the application you want it pressed in (click it or Alt+Tab). "
              "Pressing starts there automatically. F6 toggles, F8 stops (from any application).");
    EXPECT_FALSE(enabled(input_combo));
    EXPECT_EQ(rate_controls_now(), ALL_DISABLED);
    EXPECT_EQ(text_of(start_button), "Stop");
    EXPECT_EQ(running.load(), 0);

    // Arming ticks while the program stays in front change nothing.
    pump_for(350);
    EXPECT_EQ(run_state, RUN_ARMED);
    EXPECT_EQ(tally_key(VK_SPACE).downs, 0);

    ASSERT_TRUE(bring_to_front(target));
    ASSERT_TRUE(pump_until([] { return run_state == RUN_RUNNING; }, 3000));
    EXPECT_NE(worker_thread, (HANDLE)NULL);
    ASSERT_TRUE(wait_for_presses(3));
    // The status refresh takes over from the start text.
    ASSERT_TRUE(pump_until([] { return text_of(status_label).find(" sent. ") != std::string::npos; }, 3000));
    EXPECT_EQ(text_of(status_label).rfind("Running: Keyboard: Space at 20 per second, ", 0), 0u)
        << text_of(status_label);

    hotkey(HOTKEY_ID_F8);
    const int32_t sent = sent_count.load();
    ASSERT_TRUE(flush_input());
    const KeyTally tally = tally_key(VK_SPACE);
    EXPECT_EQ(tally.downs, tally.ups) << "a key left down";
    EXPECT_GE(tally.ups, sent);
    EXPECT_LE(tally.downs, sent + 1);
    EXPECT_EQ(text_of(status_label), "Stopped by F8.  (" + std::to_string(sent) + " presses sent)");
    EXPECT_EQ(run_state, RUN_IDLE);
    EXPECT_EQ(running.load(), 0);
    EXPECT_EQ(worker_thread, (HANDLE)NULL);
    EXPECT_TRUE(enabled(input_combo));
    EXPECT_EQ(rate_controls_now(), CPS_MODE_ENABLED);
    EXPECT_EQ(text_of(start_button), "Start");
    // The stop killed the timer: nothing is left to tick.
    EXPECT_FALSE(KillTimer(main_window, TIMER_ID_UI));
}

TEST_F(MainWindow, F6ElsewhereStartsAtOnceAndF6StopsIt)
{
    SetWindowTextA(cps_edit, "1000");
    ASSERT_TRUE(bring_to_front(target));
    hotkey(HOTKEY_ID_F6);
    EXPECT_EQ(run_state, RUN_RUNNING);
    EXPECT_EQ(text_of(status_label),
              "Running: Keyboard: Space at 1000 per second in the active application. F6 toggles, F8 stops "
              "(from any application).");
    EXPECT_EQ(period_us, 1000);
    EXPECT_EQ(hold_us, 1000);
    ASSERT_TRUE(wait_for_presses(20));

    hotkey(HOTKEY_ID_F6);
    const int32_t sent = sent_count.load();
    ASSERT_TRUE(flush_input());
    const KeyTally tally = tally_key(VK_SPACE);
    EXPECT_EQ(tally.downs, tally.ups) << "a key left down";
    EXPECT_EQ(text_of(status_label), "Stopped by F6.  (" + std::to_string(sent) + " presses sent)");
    EXPECT_EQ(run_state, RUN_IDLE);
}

// Stopping an armed run: by the button, F6 or F8, with the count 0 and the
// word for the kind of input.
TEST_F(MainWindow, StoppingAnArmedRunShowsItsMessageAndNothingSent)
{
    struct Case { int selection; UINT stop_by; const char *text; };
    const Case cases[] = {
        {INDEX_SPACE, IDC_START, "Stopped.  (0 presses sent)"},
        {INDEX_SPACE, HOTKEY_ID_F6, "Stopped by F6.  (0 presses sent)"},
        {INDEX_LEFT_CLICK, HOTKEY_ID_F8, "Stopped by F8.  (0 clicks sent)"},
        {INDEX_LEFT_CLICK, IDC_START, "Stopped.  (0 clicks sent)"},
    };
    for (const Case &c : cases) {
        SendMessageA(input_combo, CB_SETCURSEL, c.selection, 0);
        SendMessageA(start_button, BM_CLICK, 0, 0);
        ASSERT_EQ(run_state, RUN_ARMED);
        if (c.selection == INDEX_LEFT_CLICK) {
            EXPECT_EQ(text_of(status_label),
                      "Armed (Mouse: Left click (at cursor position)): switch to the application you want clicked "
                      "and put the cursor where the clicks should land. Clicking starts there automatically. "
                      "F6 toggles, F8 stops (from any application).");
        }
        if (c.stop_by == IDC_START) SendMessageA(start_button, BM_CLICK, 0, 0);
        else hotkey(c.stop_by);
        EXPECT_EQ(text_of(status_label), c.text);
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_TRUE(enabled(input_combo));
        EXPECT_EQ(text_of(start_button), "Start");
        EXPECT_FALSE(KillTimer(main_window, TIMER_ID_UI)) << "the arming tick outlived the stop";
    }
    EXPECT_EQ(tally_key(VK_SPACE).downs, 0);
}

TEST_F(MainWindow, IgnoredMessagesChangeNothing)
{
    const std::string status = text_of(status_label);
    hotkey(HOTKEY_ID_F8);                                   // F8 while idle
    SendMessageA(main_window, WM_HOTKEY, 3, 0);             // not one of ours
    SendMessageA(main_window, WM_HOTKEY, 0, 0);
    EXPECT_EQ(SendMessageA(main_window, WM_WORKER_DONE, 0, 0), 0);
    EXPECT_EQ(text_of(status_label), status);
    EXPECT_EQ(run_state, RUN_IDLE);
    EXPECT_TRUE(enabled(input_combo));

    // A tick that arrives while idle removes the timer and does nothing else.
    SetTimer(main_window, TIMER_ID_UI, 60000, NULL);
    SendMessageA(main_window, WM_TIMER, TIMER_ID_UI, 0);
    EXPECT_FALSE(KillTimer(main_window, TIMER_ID_UI));
    EXPECT_EQ(text_of(status_label), status);

    // Static texts are drawn transparently on the system window colour.
    HDC dc = CreateCompatibleDC(NULL);
    SetBkMode(dc, OPAQUE);
    EXPECT_EQ((HBRUSH)SendMessageA(main_window, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)status_label),
              GetSysColorBrush(COLOR_WINDOW));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    DeleteDC(dc);
}

// ---- Colours ---------------------------------------------------------------------

// A control painted into a memory bitmap the way it paints itself on the
// screen: WM_PRINTCLIENT makes it ask this window for its colours, as
// WM_PAINT does. Counts the pixels near the text colour from column from_x
// on (a radio button draws its circle left of its text), and finds the
// background: the colour most pixels have.
struct Painting {
    int text_pixels;
    COLORREF background;
};

int colour_distance(COLORREF a, COLORREF b)
{
    return abs(GetRValue(a) - GetRValue(b)) + abs(GetGValue(a) - GetGValue(b)) + abs(GetBValue(a) - GetBValue(b));
}

Painting paint_into_memory(HWND control, COLORREF text, int from_x)
{
    Painting painting = {0, CLR_INVALID};
    std::map<COLORREF, int> colours;
    RECT client;
    GetClientRect(control, &client);
    const int width = client.right, height = client.bottom;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(NULL);
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (!dc || !bitmap || !bits) return painting;
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageA(control, WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT | PRF_ERASEBKGND);
    GdiFlush();
    const DWORD *pixels = (const DWORD *)bits;
    auto colour_at = [&](int x, int y) {
        const DWORD p = pixels[y * width + x];  // 0x00RRGGBB
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            ++colours[colour_at(x, y)];
            if (x >= from_x && colour_distance(colour_at(x, y), text) < 120) ++painting.text_pixels;
        }
    }
    int most = 0;
    for (const auto &c : colours) {
        if (c.second > most) {
            most = c.second;
            painting.background = c.first;
        }
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return painting;
}

COLORREF brush_colour(HBRUSH brush)
{
    LOGBRUSH logical = {};
    if (GetObjectA(brush, sizeof logical, &logical) != (int)sizeof logical) return CLR_INVALID;
    return logical.lbColor;
}

// Every text of the window is drawn in the scheme's window text colour (grey
// text where the control is disabled) on the window colour: the labels, the
// plan and status lines, the mode buttons and the disabled rate boxes. In a
// dark scheme such as High Contrast Black the device context's own default,
// black, would vanish on the black window.
TEST_F(MainWindow, TextsTakeTheSchemesColoursInEveryScheme)
{
    const int indexes[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_GRAYTEXT, COLOR_BTNFACE, COLOR_BTNTEXT};
    COLORREF saved[COUNT_OF(indexes)];
    for (size_t i = 0; i < COUNT_OF(indexes); ++i) saved[i] = GetSysColor(indexes[i]);
    struct Scheme { const char *name; COLORREF colours[COUNT_OF(indexes)]; };
    const Scheme schemes[] = {
        {"as the system had it", {saved[0], saved[1], saved[2], saved[3], saved[4]}},
        {"white on black, green grey text", {RGB(0, 0, 0), RGB(255, 255, 255), RGB(63, 242, 63), RGB(0, 0, 0),
                                             RGB(255, 255, 255)}},
        {"black on white, dark grey text", {RGB(255, 255, 255), RGB(0, 0, 0), RGB(96, 96, 96),
                                            RGB(255, 255, 255), RGB(0, 0, 0)}},
    };
    struct Control { const char *what; HWND window; int from_x; };
    const Control controls[] = {
        {"first label", GetWindow(main_window, GW_CHILD), 0},
        {"plan line", plan_label, 0},
        {"status line", status_label, 0},
        {"per-second mode button", cps_radio, 20},
        {"interval mode button", interval_radio, 20},
        {"count box, disabled", count_edit, 0},
        {"milliseconds box, disabled", ms_edit, 0},
    };
    SetFocus(start_button);  // no focus rectangle in what is painted
    for (const Scheme &scheme : schemes) {
        SCOPED_TRACE(scheme.name);
        SetSysColors((int)COUNT_OF(indexes), indexes, scheme.colours);
        test_pump();
        const COLORREF window = scheme.colours[0];
        ASSERT_EQ(GetSysColor(COLOR_WINDOW), window);
        ASSERT_EQ(brush_colour(GetSysColorBrush(COLOR_WINDOW)), window);
        for (const Control &c : controls) {
            SCOPED_TRACE(c.what);
            const COLORREF text = IsWindowEnabled(c.window) ? scheme.colours[1] : scheme.colours[2];
            const UINT messages[] = {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN};
            for (UINT message : messages) {
                HDC dc = CreateCompatibleDC(NULL);
                SetTextColor(dc, RGB(1, 2, 3));
                SetBkMode(dc, OPAQUE);
                const HBRUSH brush = (HBRUSH)SendMessageA(main_window, message, (WPARAM)dc, (LPARAM)c.window);
                EXPECT_EQ(GetTextColor(dc), text) << "message " << message;
                EXPECT_EQ(GetBkMode(dc), TRANSPARENT) << "message " << message;
                EXPECT_EQ(brush_colour(brush), window) << "message " << message;
                DeleteDC(dc);
            }
            const Painting painting = paint_into_memory(c.window, text, c.from_x);
            EXPECT_GE(painting.text_pixels, 10) << "no text to be seen";
            EXPECT_EQ(painting.background, window);
        }
    }
    SetSysColors((int)COUNT_OF(indexes), indexes, saved);
    test_pump();
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), saved[0]);
}

// ---- The running status line ---------------------------------------------------

// Composed from the shared state at every tick while running; a count past
// 2147483647 keeps counting up instead of showing a negative number.
TEST_F(MainWindow, RunningStatusLineShowsCountAndPauseReason)
{
    struct Case {
        const char *what;
        int selection;
        bool own_in_front;
        HWND *cursor_over;  // null: the test window
        int32_t count;
        const char *text;
    };
    const Case cases[] = {
        {"own window in front", INDEX_SPACE, true, nullptr, 153,
         "Running: Keyboard: Space at 20 per second, 153 sent - PAUSED while this window is active. F6 toggles, F8 stops (from any application)."},
        {"keyboard, cursor over the program", INDEX_SPACE, false, &main_window, 153,
         "Running: Keyboard: Space at 20 per second, 153 sent. F6 toggles, F8 stops (from any application)."},
        {"mouse, cursor over the program", INDEX_LEFT_CLICK, false, &main_window, 9,
         "Running: Mouse: Left click (at cursor position) at 20 per second, 9 sent - PAUSED while the cursor is over this window. F6 toggles, F8 stops (from any application)."},
        {"mouse, cursor over a control", INDEX_LEFT_CLICK, false, &start_button, 9,
         "Running: Mouse: Left click (at cursor position) at 20 per second, 9 sent - PAUSED while the cursor is over this window. F6 toggles, F8 stops (from any application)."},
        {"mouse, cursor elsewhere", INDEX_LEFT_CLICK, false, nullptr, 2147483647,
         "Running: Mouse: Left click (at cursor position) at 20 per second, 2147483647 sent. F6 toggles, F8 stops (from any application)."},
        {"count past 2147483647", INDEX_SPACE, false, nullptr, INT32_MIN,
         "Running: Keyboard: Space at 20 per second, 2147483648 sent. F6 toggles, F8 stops (from any application)."},
        {"count at the end of 32 bits", INDEX_SPACE, false, nullptr, -1,
         "Running: Keyboard: Space at 20 per second, 4294967295 sent. F6 toggles, F8 stops (from any application)."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        current_input = INPUT_CATALOGUE[c.selection];
        period_us = 50000;
        ASSERT_TRUE(bring_to_front(c.own_in_front ? main_window : target));
        ASSERT_TRUE(settle_cursor_on(c.cursor_over ? *c.cursor_over : target));
        // The status line only reads the shared state: no worker is needed.
        running.store(1);
        sent_count.store(c.count);
        SendMessageA(main_window, WM_TIMER, TIMER_ID_UI, 0);
        running.store(0);
        EXPECT_EQ(text_of(status_label), c.text);
    }
}

TEST_F(MainWindow, StopTextNeverShowsANegativeCount)
{
    struct Case { int32_t count; int selection; const char *text; };
    const Case cases[] = {
        {INT32_MIN, INDEX_SPACE, "Stopped.  (2147483648 presses sent)"},
        {-2, INDEX_LEFT_CLICK, "Stopped.  (4294967294 clicks sent)"},
    };
    for (const Case &c : cases) {
        current_input = INPUT_CATALOGUE[c.selection];
        sent_count.store(c.count);
        stop_run("Stopped.");
        EXPECT_EQ(text_of(status_label), c.text);
    }
}

// ---- A worker that outlives its stop --------------------------------------------

// While the last worker has not ended, no new run is armed or started and the
// settings it reads stay as they are; once it has ended, starting works again.
TEST_F(MainWindow, NoNewRunBesideAWorkerThatHasNotEnded)
{
    FakeWorker fake = {CreateEventA(NULL, TRUE, FALSE, NULL), 0};
    HANDLE stale = CreateThread(NULL, 0, fake_worker_main, &fake, 0, NULL);
    ASSERT_NE(stale, (HANDLE)NULL);
    worker_thread = stale;
    current_input = INPUT_CATALOGUE[INDEX_LEFT_CLICK];
    sent_count.store(41);
    SendMessageA(input_combo, CB_SETCURSEL, INDEX_SPACE, 0);

    struct Attempt { const char *what; bool own_in_front; };
    const Attempt attempts[] = {{"Start in own window", true}, {"F6 elsewhere", false}};
    for (const Attempt &a : attempts) {
        SCOPED_TRACE(a.what);
        ASSERT_TRUE(bring_to_front(a.own_in_front ? main_window : target));
        if (a.own_in_front) SendMessageA(start_button, BM_CLICK, 0, 0);
        else hotkey(HOTKEY_ID_F6);
        EXPECT_EQ(text_of(status_label), "The previous run is still ending; try again in a moment.");
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_EQ(running.load(), 0);
        EXPECT_EQ(worker_thread, stale);
        EXPECT_EQ(current_input.kind, (uint32_t)KIND_MOUSE);
        EXPECT_EQ(sent_count.load(), 41);
        EXPECT_TRUE(enabled(input_combo));
        EXPECT_EQ(text_of(start_button), "Start");
    }

    SetEvent(fake.go);
    ASSERT_EQ(WaitForSingleObject(stale, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(bring_to_front(target));
    hotkey(HOTKEY_ID_F6);
    EXPECT_EQ(run_state, RUN_RUNNING);
    ASSERT_NE(worker_thread, (HANDLE)NULL);
    EXPECT_EQ(WaitForSingleObject(worker_thread, 0), (DWORD)WAIT_TIMEOUT) << "a live worker of the new run";
    EXPECT_EQ(current_input.kind, (uint32_t)KIND_KEYBOARD);
    ASSERT_TRUE(wait_for_presses(1));
    hotkey(HOTKEY_ID_F8);
    ASSERT_TRUE(flush_input());
    EXPECT_EQ(tally_key(VK_SPACE).downs, tally_key(VK_SPACE).ups);
    CloseHandle(fake.go);
}

// A stop whose wait ends in time empties the latch itself; a stop whose
// worker is still alive leaves the latch to that worker, whose own end
// releases after its press, so no release can go out ahead of a press.
TEST_F(MainWindow, StopReleasesTheLatchOnlyOnceTheWorkerHasEnded)
{
    struct Case { const char *what; bool ends_in_time; };
    const Case cases[] = {{"worker ends within the wait", true}, {"worker outlives the wait", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(bring_to_front(target));
        clear_test_log();
        const InputSpec &space = INPUT_CATALOGUE[INDEX_SPACE];
        current_input = space;
        send_input_edge(space, EDGE_PRESS);  // what a worker pressed and latched
        EnterCriticalSection(&input_lock);
        latch_held_input(&held_input, &space);
        LeaveCriticalSection(&input_lock);

        FakeWorker fake = {CreateEventA(NULL, TRUE, c.ends_in_time, NULL), 1};
        if (c.ends_in_time) fake.release_at_end = 0;  // a worker killed before its own release
        HANDLE thread = CreateThread(NULL, 0, fake_worker_main, &fake, 0, NULL);
        ASSERT_NE(thread, (HANDLE)NULL);
        worker_thread = thread;
        run_state = RUN_RUNNING;
        running.store(1);
        sent_count.store(5);

        stop_run("Stopped.");
        EXPECT_EQ(text_of(status_label), "Stopped.  (5 presses sent)");
        EXPECT_EQ(running.load(), 0);
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_TRUE(enabled(input_combo));
        if (c.ends_in_time) {
            EXPECT_EQ(worker_thread, (HANDLE)NULL);
            EXPECT_EQ(held_input.held, 0u);
        } else {
            EXPECT_EQ(worker_thread, thread) << "the handle of a live worker must be kept";
            EXPECT_EQ(held_input.held, 1u) << "the stop took the latch from a live worker";
            ASSERT_TRUE(flush_input());
            EXPECT_EQ(tally_key(VK_SPACE).ups, 0);
            SetEvent(fake.go);  // the worker ends and releases
            ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
            EXPECT_EQ(held_input.held, 0u);
            EXPECT_EQ(worker_still_alive(), 0);
            EXPECT_EQ(worker_thread, (HANDLE)NULL);
        }
        ASSERT_TRUE(flush_input());
        EXPECT_EQ(tally_key(VK_SPACE).downs, 1);
        EXPECT_EQ(tally_key(VK_SPACE).ups, 1);
        CloseHandle(fake.go);
    }
}

// ---- Closing ---------------------------------------------------------------------

TEST_F(MainWindow, ClosingWhileRunningStopsReleasesAndDestroys)
{
    SetWindowTextA(cps_edit, "1000");
    ASSERT_TRUE(bring_to_front(target));
    hotkey(HOTKEY_ID_F6);
    ASSERT_EQ(run_state, RUN_RUNNING);
    ASSERT_TRUE(wait_for_presses(10));

    SendMessageA(main_window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(main_window));
    EXPECT_EQ(running.load(), 0);
    EXPECT_EQ(worker_thread, (HANDLE)NULL);
    EXPECT_EQ(held_input.held, 0u);
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_DESTROY posts the quit message";
    ASSERT_TRUE(flush_input());
    const KeyTally tally = tally_key(VK_SPACE);
    EXPECT_GE(tally.downs, 10);
    EXPECT_EQ(tally.downs, tally.ups) << "a key left down after closing";
    // The hotkeys went with the window: another window can take them now.
    EXPECT_TRUE(RegisterHotKey(target, 9, MOD_NOREPEAT, VK_F6));
    UnregisterHotKey(target, 9);
}

}  // namespace
