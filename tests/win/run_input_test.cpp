// What a run does about the way Windows takes input, with the real main
// window and worker in-process and a test window of this process as "another
// application" in front: F6 and F8 with modifiers held only while a run is
// armed or running; input that the system refuses, played through the
// sender seam since Wine never refuses; the arming that waits until the
// user has finished switching; and the physical mouse button of a swapped
// mouse.
#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <atomic>
#include <string>

#include "app/app_main_win.h"
#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "control/run_controller_win.h"
#include "control/run_hotkeys.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "tests/reset_shared_state.h"
#include "ui/main_window_private_win.h"
#include "ui/main_window_win.h"
#include "test_window.h"

namespace {

const uint32_t INDEX_LEFT_CLICK = 0;
const uint32_t INDEX_RIGHT_CLICK = 1;
const char REFUSED_SUFFIX[] =
    " - Windows is refusing the input (is the window in front running as administrator?)";

std::string text_of(HWND window)
{
    char text[1024];
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    return text;
}

bool contains(const std::string &text, const char *part) { return text.find(part) != std::string::npos; }

void hotkey(WPARAM id)
{
    SendMessageA(main_window, WM_HOTKEY, id, 0);
}

void key_edge(WORD vk, bool up)
{
    INPUT record = {};
    record.type = INPUT_KEYBOARD;
    record.ki.wVk = vk;
    record.ki.wScan = (WORD)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
    record.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &record, sizeof record);
}

bool key_down(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// The keys a test may hold down; every one is let go after each test.
const WORD HELD_KEYS[] = {VK_LMENU, VK_LWIN, VK_RWIN, VK_LCONTROL, VK_LSHIFT};

// Dispatches messages until the main window's timer tick (the arming tick or
// the status refresh) has been handled; false when none came in timeout_ms.
bool next_timer_tick(DWORD timeout_ms)
{
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (msg.message == WM_TIMER && msg.hwnd == main_window) return true;
        }
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjectsEx(0, NULL, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// Dispatches every message but the timer's for duration_ms: whatever the
// platform does after a change of the foreground happens, and no tick of
// the main window is handled meanwhile.
void pump_all_but_ticks(DWORD duration_ms)
{
    const ULONGLONG end = GetTickCount64() + duration_ms;
    while (GetTickCount64() < end) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, WM_TIMER - 1, PM_REMOVE) ||
               PeekMessageA(&msg, NULL, WM_TIMER + 1, 0xFFFFFFFF, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjectsEx(0, NULL, 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// ---- The sender seam ----------------------------------------------------------

// A stand-in for SendInput that refuses whole pairs while refuse_presses is
// set, as Windows does for a window in front of higher integrity (nothing is
// inserted, and 0 comes back), and otherwise hands the record to SendInput.
// It notes the mouse flags of every record the program asked for.
std::atomic<int32_t> refuse_presses{0};
std::atomic<int32_t> refusing_pair{0};
std::atomic<int32_t> refused_count{0};
std::atomic<int32_t> accepted_count{0};  // presses inserted while not refusing
const int32_t MOUSE_LOG_SIZE = 4096;
DWORD mouse_log[MOUSE_LOG_SIZE];
std::atomic<int32_t> mouse_log_count{0};

UINT WINAPI playing_sender(UINT count, LPINPUT inputs, int size)
{
    const bool release = inputs[0].type == INPUT_KEYBOARD
                             ? (inputs[0].ki.dwFlags & KEYEVENTF_KEYUP) != 0
                             : (inputs[0].mi.dwFlags & (MOUSEEVENTF_LEFTUP | MOUSEEVENTF_RIGHTUP)) != 0;
    if (inputs[0].type == INPUT_MOUSE) {
        const int32_t at = mouse_log_count.load();
        if (at < MOUSE_LOG_SIZE) {
            mouse_log[at] = inputs[0].mi.dwFlags;
            mouse_log_count.store(at + 1);
        }
    }
    // A pair is refused or inserted whole: the press decides for its release.
    if (!release) refusing_pair.store(refuse_presses.load());
    if (refusing_pair.load()) {
        if (!release) refused_count.fetch_add(1);
        return 0;
    }
    const UINT inserted = SendInput(count, inputs, size);
    if (!release && inserted) accepted_count.fetch_add(1);
    return inserted;
}

void reset_sender_log(void)
{
    refuse_presses.store(0);
    refusing_pair.store(0);
    refused_count.store(0);
    accepted_count.store(0);
    mouse_log_count.store(0);
}

class RunInput : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        prepare_process();
        ASSERT_TRUE(register_main_window_class(GetModuleHandleA(NULL)));
        swapped_at_start = GetSystemMetrics(SM_SWAPBUTTON) != 0;
        ASSERT_FALSE(swapped_at_start) << "the test prefix starts with a swapped mouse";
    }

    void SetUp() override
    {
        reset_shared_state();
        reset_sender_log();
        target = create_test_window("target", 560, 60, 400, 300);
        ASSERT_NE(target, (HWND)NULL);
        open_main();
        ASSERT_TRUE(bring_to_front(main_window));
        clear_test_log();
    }

    void TearDown() override
    {
        // Nothing a test pressed, swapped or registered outlives it.
        for (WORD vk : HELD_KEYS)
            if (key_down(vk)) key_edge(vk, true);
        SwapMouseButton(swapped_at_start ? TRUE : FALSE);
        if (IsWindow(main_window)) SendMessageA(main_window, WM_CLOSE, 0, 0);
        system_send_input = SendInput;
        DestroyWindow(target);
        test_pump();
        for (WORD vk : HELD_KEYS) EXPECT_FALSE(key_down(vk)) << "key " << vk << " left down";
    }

    // Creates the main window as the program does, at the left of the
    // desktop so that the test window beside it never overlaps it.
    static void open_main(void)
    {
        HWND window = create_main_window(GetModuleHandleA(NULL));
        SetWindowPos(window, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_EQ(window, main_window);
        ShowWindow(window, SW_SHOW);
        test_pump();
    }

    // Starts a run of the list entry at the rate with the target in front,
    // as F6 pressed there does.
    void start_in_target(uint32_t index, const char *rate)
    {
        SendMessageA(input_combo, CB_SETCURSEL, index, 0);
        SetWindowTextA(cps_edit, rate);
        ASSERT_TRUE(bring_to_front(target));
        hotkey(HOTKEY_ID_F6);
        ASSERT_EQ(run_state, RUN_RUNNING) << text_of(status_label);
    }

    // 1 when the target window could register the hotkey itself (it is then
    // unregistered again): nobody else holds it.
    int32_t free_for_others(const HotkeySpec &hotkey)
    {
        const int32_t id = 0x100 + hotkey.id;
        if (!RegisterHotKey(target, id, hotkey.modifiers, hotkey.vk)) return 0;
        UnregisterHotKey(target, id);
        return 1;
    }

    int32_t run_hotkeys_free_for_others(uint32_t vk)
    {
        int32_t free = 0;
        for (const HotkeySpec &hotkey : RUN_HOTKEYS)
            if (hotkey.vk == vk) free += free_for_others(hotkey);
        return free;
    }

    static bool swapped_at_start;
    HWND target = NULL;
};
bool RunInput::swapped_at_start = false;

}  // namespace

// ---- F6 and F8 with modifiers ---------------------------------------------------

// Idle, every combination of F6 and F8 with Shift, Ctrl and Alt belongs to
// whoever wants it; armed or running, the program holds all fourteen; the
// stop gives them back.
TEST_F(RunInput, ModifierCombinationsAreHeldOnlyWhileARunIsArmedOrRunning)
{
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F6), 7);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 7);

    SendMessageA(start_button, BM_CLICK, 0, 0);
    ASSERT_EQ(run_state, RUN_ARMED);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F6), 0);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 0);

    // Armed to running keeps them (the second apply registers nothing twice).
    ASSERT_TRUE(bring_to_front(target));
    ASSERT_TRUE(next_timer_tick(3000));
    ASSERT_EQ(run_state, RUN_RUNNING);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F6), 0);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 0);

    hotkey(HOTKEY_ID_F8);
    ASSERT_EQ(run_state, RUN_IDLE);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F6), 7);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 7);
}

// The hotkey of each combination acts as its plain key: F8's stop a run, F6's
// stop it too, and from idle (a message left in the queue by the stop) F6's
// start one as F6 does.
TEST_F(RunInput, EachCombinationActsAsItsPlainKey)
{
    for (const HotkeySpec &combination : RUN_HOTKEYS) {
        SCOPED_TRACE(testing::Message() << "id " << combination.id);
        ASSERT_TRUE(bring_to_front(main_window));
        SendMessageA(start_button, BM_CLICK, 0, 0);
        ASSERT_EQ(run_state, RUN_ARMED);
        hotkey((WPARAM)combination.id);
        EXPECT_EQ(run_state, RUN_IDLE);
        EXPECT_EQ(text_of(status_label), combination.vk == VK_F8 ? "Stopped by F8.  (0 presses sent)"
                                                                 : "Stopped by F6.  (0 presses sent)");
    }
    ASSERT_TRUE(bring_to_front(target));
    hotkey(RUN_HOTKEYS[RUN_HOTKEY_COUNT - 1].id);  // F6 with Shift, Ctrl and Alt
    EXPECT_EQ(run_state, RUN_RUNNING);
    hotkey(RUN_HOTKEYS[0].id);  // F8 with Alt
    EXPECT_EQ(run_state, RUN_IDLE);
    ASSERT_TRUE(flush_input());
    EXPECT_EQ(tally_key(VK_SPACE).downs, tally_key(VK_SPACE).ups) << "a key left down";
}

// A combination another program holds is left to it and the run arms all the
// same; a key whose plain registration failed at start-up gets none, so that
// the hint ("F8 unavailable") stays true.
TEST_F(RunInput, CombinationsThatCannotBeRegisteredAreNotFatal)
{
    const HotkeySpec &ctrl_f8 = RUN_HOTKEYS[1];
    ASSERT_EQ(ctrl_f8.modifiers, MOD_NOREPEAT | MOD_CONTROL);
    ASSERT_TRUE(RegisterHotKey(target, 0x200, ctrl_f8.modifiers, ctrl_f8.vk));
    SendMessageA(start_button, BM_CLICK, 0, 0);
    EXPECT_EQ(run_state, RUN_ARMED);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F6), 0);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 0);
    SendMessageA(start_button, BM_CLICK, 0, 0);
    EXPECT_EQ(run_state, RUN_IDLE);
    EXPECT_TRUE(UnregisterHotKey(target, 0x200)) << "the other program's hotkey was taken from it";
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 7);

    // F8 held by another program when the window opens.
    SendMessageA(main_window, WM_CLOSE, 0, 0);
    test_pump();
    ASSERT_TRUE(RegisterHotKey(target, 0x201, MOD_NOREPEAT, VK_F8));
    open_main();
    ASSERT_EQ(hotkey_f8_ok, 0);
    ASSERT_TRUE(bring_to_front(main_window));
    SendMessageA(start_button, BM_CLICK, 0, 0);
    EXPECT_EQ(run_state, RUN_ARMED);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F8), 7);
    EXPECT_EQ(run_hotkeys_free_for_others(VK_F6), 0);
    SendMessageA(start_button, BM_CLICK, 0, 0);
    UnregisterHotKey(target, 0x201);
}

// ---- Input that the system refuses ---------------------------------------------

// Refused presses show the refusal by the next status refresh, are not
// counted and leave nothing down; once presses are inserted again the next
// refresh drops the refusal and the count follows what arrived. A pause
// suffix wins over the refusal.
TEST_F(RunInput, RefusedInputIsSaidAndTheSayingEndsOnceInputIsAccepted)
{
    system_send_input = playing_sender;
    refuse_presses.store(1);
    ASSERT_NO_FATAL_FAILURE(start_in_target(INPUT_DEFAULT_INDEX, "100"));

    // Refused from the first press on.
    ASSERT_TRUE(pump_until([] { return refused_count.load() >= 3; }, 5000));
    const int64_t refused_since = test_counter();
    ASSERT_TRUE(next_timer_tick(3000));
    EXPECT_EQ(text_of(status_label),
              std::string("Running: Keyboard: Space at 100 per second, 0 sent") + REFUSED_SUFFIX +
                  ". F6 toggles, F8 stops (from any application).");
    EXPECT_EQ(sent_count.load(), 0) << "refused pairs were counted";
    printf("[ figures  ] refusal shown %.0f ms after the third refused press (refresh every %u ms)\n",
           (double)(test_counter() - refused_since) * 1000.0 / (double)perf_frequency, STATUS_REFRESH_MS);

    // The program's own window in front: the pause suffix wins.
    ASSERT_TRUE(bring_to_front(main_window));
    ASSERT_TRUE(next_timer_tick(3000));
    EXPECT_TRUE(contains(text_of(status_label), " - PAUSED while this window is active. "))
        << text_of(status_label);
    EXPECT_FALSE(contains(text_of(status_label), REFUSED_SUFFIX));

    // Accepted again: the next refresh after an inserted press drops it.
    ASSERT_TRUE(bring_to_front(target));
    refuse_presses.store(0);
    ASSERT_TRUE(pump_until([] { return accepted_count.load() >= 3; }, 5000));
    ASSERT_TRUE(next_timer_tick(3000));
    EXPECT_FALSE(contains(text_of(status_label), REFUSED_SUFFIX)) << text_of(status_label);
    EXPECT_TRUE(contains(text_of(status_label), " sent. F6 toggles")) << text_of(status_label);

    // Refused again, then stopped: nothing is left down and the count is
    // what arrived.
    refuse_presses.store(1);
    const int32_t refused_before = refused_count.load();
    ASSERT_TRUE(pump_until([refused_before] { return refused_count.load() >= refused_before + 2; }, 5000));
    hotkey(HOTKEY_ID_F8);
    ASSERT_EQ(run_state, RUN_IDLE);
    const int32_t sent = sent_count.load();
    ASSERT_TRUE(flush_input());
    const KeyTally tally = tally_key(VK_SPACE);
    EXPECT_EQ(tally.downs, tally.ups) << "a key left down";
    EXPECT_EQ(tally.downs, sent) << "the count is not what arrived";
    EXPECT_GE(sent, 3);
    EXPECT_FALSE(key_down(VK_SPACE));
    EXPECT_EQ(held_input.held, 0u);
    EXPECT_EQ(text_of(status_label), "Stopped by F8.  (" + std::to_string(sent) + " presses sent)");

    // The next run starts with no refusal to report.
    refuse_presses.store(0);
    ASSERT_NO_FATAL_FAILURE(start_in_target(INPUT_DEFAULT_INDEX, "100"));
    EXPECT_EQ(input_refused.load(), 0);
    hotkey(HOTKEY_ID_F8);
}

// ---- Arming -------------------------------------------------------------------

// While Alt or a Windows key is held the user is still switching (on
// Windows the task switcher or the Start menu is in front): an armed run
// waits, whatever window is in front, and starts at the first tick after the
// key is let go.
TEST_F(RunInput, ArmedRunWaitsWhileASwitchingKeyIsHeld)
{
    for (WORD vk : {VK_LMENU, VK_LWIN, VK_RWIN}) {
        SCOPED_TRACE(testing::Message() << "key " << vk);
        clear_test_log();
        ASSERT_TRUE(bring_to_front(main_window));
        SendMessageA(start_button, BM_CLICK, 0, 0);
        ASSERT_EQ(run_state, RUN_ARMED);

        // The target comes to the front with the key held. Wine forgets an
        // injected key's state once the X focus has followed the foreground
        // (Windows keeps it), so the key goes down after that has settled,
        // and no tick is handled before: until then only other messages are
        // dispatched.
        SetForegroundWindow(target);
        pump_all_but_ticks(300);
        key_edge(vk, false);
        pump_all_but_ticks(100);
        ASSERT_EQ(GetForegroundWindow(), target);
        ASSERT_TRUE(key_down(vk));
        for (int tick = 0; tick < 3; ++tick) {
            ASSERT_TRUE(next_timer_tick(3000));
            EXPECT_EQ(run_state, RUN_ARMED) << "started on tick " << tick << " with the key held";
        }
        ASSERT_EQ(GetForegroundWindow(), target);
        ASSERT_TRUE(key_down(vk)) << "the key was let go by someone else: the test shows nothing";

        key_edge(vk, true);
        ASSERT_TRUE(next_timer_tick(3000));
        EXPECT_EQ(run_state, RUN_RUNNING) << "not started on the first tick after the key was let go";
        ASSERT_TRUE(pump_until([] { return tally_key(VK_SPACE).downs >= 1; }, 5000));
        hotkey(HOTKEY_ID_F8);
        ASSERT_TRUE(flush_input());
        const KeyTally tally = tally_key(VK_SPACE);
        EXPECT_EQ(tally.downs, tally.ups) << "a key left down";
    }
}

// ---- Swapped mouse buttons -------------------------------------------------------

// With the buttons swapped, a left click is sent as the physical button
// that Windows delivers as the left click (the right one), a right click as
// the left one; the setting is read at the start of each run, and one
// changed during a run does not split a press from its release.
TEST_F(RunInput, SwappedMouseSendsThePhysicalButtonOfTheChosenClick)
{
    system_send_input = playing_sender;
    ASSERT_TRUE(cursor_to(target));
    struct Case { const char *what; BOOL swapped; uint32_t index; bool swap_in_run; DWORD down, up; };
    const Case cases[] = {
        {"swapped, left click", TRUE, INDEX_LEFT_CLICK, false, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP},
        {"swapped, right click", TRUE, INDEX_RIGHT_CLICK, false, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
        {"not swapped, left click", FALSE, INDEX_LEFT_CLICK, false, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
        {"swapped during the run", FALSE, INDEX_LEFT_CLICK, true, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SwapMouseButton(c.swapped);
        ASSERT_EQ(GetSystemMetrics(SM_SWAPBUTTON) != 0, c.swapped != FALSE);
        mouse_log_count.store(0);
        ASSERT_NO_FATAL_FAILURE(start_in_target(c.index, "100"));
        ASSERT_TRUE(pump_until([] { return mouse_log_count.load() >= 4; }, 5000));
        if (c.swap_in_run) {
            SwapMouseButton(TRUE);
            const int32_t seen = mouse_log_count.load();
            ASSERT_TRUE(pump_until([seen] { return mouse_log_count.load() >= seen + 4; }, 5000));
        }
        hotkey(HOTKEY_ID_F8);
        ASSERT_EQ(run_state, RUN_IDLE);
        SwapMouseButton(FALSE);

        const int32_t records = mouse_log_count.load();
        int32_t downs = 0, ups = 0;
        for (int32_t i = 0; i < records; ++i) {
            const DWORD flags = mouse_log[i];
            EXPECT_TRUE(flags == c.down || flags == c.up) << "record " << i << " flags " << flags;
            EXPECT_EQ(flags, i % 2 == 0 ? c.down : c.up) << "record " << i << " out of order";
            if (flags == c.down) ++downs;
            if (flags == c.up) ++ups;
        }
        EXPECT_EQ(downs, ups) << "a button left down";
        EXPECT_GE(downs, 2);
        ASSERT_TRUE(flush_input());
    }
}
