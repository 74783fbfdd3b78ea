// send_input_edge and release_held_input against a real window in front.
#include <gtest/gtest.h>
#include <string>

#include "app/app_main_win.h"
#include "common/shared_state.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "tests/reset_shared_state.h"
#include "test_window.h"

namespace {

const InputSpec &catalogue_entry(const char *name)
{
    for (const InputSpec &chosen : INPUT_CATALOGUE)
        if (std::string(chosen.name) == name) return chosen;
    ADD_FAILURE() << "no entry " << name;
    return INPUT_CATALOGUE[0];
}

class SyntheticInput : public ::testing::Test {
protected:
    // One window for the whole suite: under Wine, hiding or destroying the
    // active window costs seconds. The process's end takes it down.
    static void SetUpTestSuite()
    {
        prepare_process();
        target = create_test_window("target", 100, 100, 400, 300);
    }

    void SetUp() override
    {
        reset_shared_state();
        ASSERT_NE(target, (HWND)NULL);
        ASSERT_TRUE(bring_to_front(target));
        ASSERT_TRUE(cursor_to(target, &cursor));
        ASSERT_TRUE(flush_input());
        clear_test_log();
    }

    static HWND target;
    POINT cursor = {};
};
HWND SyntheticInput::target = NULL;

// lParam of a key message: bits 16-23 scan code, 24 extended, 30 previous
// state, 31 transition (1 for a release).
uint32_t scan_of(LPARAM l) { return ((uint32_t)l >> 16) & 0xFF; }
uint32_t extended_of(LPARAM l) { return ((uint32_t)l >> 24) & 1; }
uint32_t released_of(LPARAM l) { return ((uint32_t)l >> 31) & 1; }

}  // namespace

// One press then one release of a key: a key-down then a key-up message with
// the virtual key the application sees, the scan code of the US layout and
// the extended bit.
TEST_F(SyntheticInput, KeyPressAndReleaseArriveWithCodeScanAndExtendedBit)
{
    struct Case { const char *name; WPARAM seen_vk; uint32_t scan; uint32_t extended;
                  UINT down, up; };
    const Case cases[] = {
        {"Keyboard: A", 'A', 0x1E, 0, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: Z", 'Z', 0x2C, 0, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: Enter", VK_RETURN, 0x1C, 0, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: Numpad Enter", VK_RETURN, 0x1C, 1, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: Left arrow", VK_LEFT, 0x4B, 1, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: Delete", VK_DELETE, 0x53, 1, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: F7", VK_F7, 0x41, 0, WM_KEYDOWN, WM_KEYUP},
        // The left-hand modifiers reach the window as the generic ones.
        {"Keyboard: Shift (left)", VK_SHIFT, 0x2A, 0, WM_KEYDOWN, WM_KEYUP},
        {"Keyboard: Alt (left)", VK_MENU, 0x38, 0, WM_SYSKEYDOWN, WM_SYSKEYUP},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clear_test_log();
        const InputSpec &chosen = catalogue_entry(c.name);
        EXPECT_EQ(send_input_edge(chosen, EDGE_PRESS), 1u);
        EXPECT_EQ(send_input_edge(chosen, EDGE_RELEASE), 1u);
        ASSERT_TRUE(flush_input());

        const std::vector<LoggedMessage> got = logged_messages();
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].window, target);
        EXPECT_EQ(got[0].message, c.down);
        EXPECT_EQ(got[0].wparam, c.seen_vk);
        EXPECT_EQ(scan_of(got[0].lparam), c.scan);
        EXPECT_EQ(extended_of(got[0].lparam), c.extended);
        EXPECT_EQ(released_of(got[0].lparam), 0u);
        EXPECT_EQ(got[1].window, target);
        EXPECT_EQ(got[1].message, c.up);
        EXPECT_EQ(got[1].wparam, c.seen_vk);
        EXPECT_EQ(scan_of(got[1].lparam), c.scan);
        EXPECT_EQ(extended_of(got[1].lparam), c.extended);
        EXPECT_EQ(released_of(got[1].lparam), 1u);
        EXPECT_EQ(GetAsyncKeyState(chosen.vk) & 0x8000, 0) << "key left down";
    }
}

// A click is a button-down then a button-up at the cursor, and the cursor
// stays where it was.
TEST_F(SyntheticInput, ClickArrivesAtTheCursorWithoutMovingIt)
{
    struct Case { const char *name; UINT down, up; };
    const Case cases[] = {
        {"Mouse: Right click (at cursor position)", WM_RBUTTONDOWN, WM_RBUTTONUP},
        {"Mouse: Left click (at cursor position)", WM_LBUTTONDOWN, WM_LBUTTONUP},
    };
    POINT client = cursor;
    ScreenToClient(target, &client);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clear_test_log();
        const InputSpec &chosen = catalogue_entry(c.name);
        EXPECT_EQ(send_input_edge(chosen, EDGE_PRESS), 1u);
        EXPECT_EQ(send_input_edge(chosen, EDGE_RELEASE), 1u);
        ASSERT_TRUE(flush_input());

        const std::vector<LoggedMessage> got = logged_messages();
        ASSERT_EQ(got.size(), 2u);
        const UINT expected[2] = {c.down, c.up};
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(got[i].window, target);
            EXPECT_EQ(got[i].message, expected[i]);
            EXPECT_EQ(GET_X_LPARAM(got[i].lparam), client.x);
            EXPECT_EQ(GET_Y_LPARAM(got[i].lparam), client.y);
        }
        POINT now;
        ASSERT_TRUE(GetCursorPos(&now));
        EXPECT_EQ(now.x, cursor.x);
        EXPECT_EQ(now.y, cursor.y);
    }
}

// A mouse entry with no usable button sends nothing, press or release.
TEST_F(SyntheticInput, MouseEntryWithoutButtonSendsNothing)
{
    const InputSpec odd_buttons[] = {
        {"no button", KIND_MOUSE, 0, 0, BUTTON_NONE},
        {"middle", KIND_MOUSE, 0, 0, 3},
    };
    for (const InputSpec &chosen : odd_buttons) {
        EXPECT_EQ(send_input_edge(chosen, EDGE_PRESS), 0u) << chosen.name;
        EXPECT_EQ(send_input_edge(chosen, EDGE_RELEASE), 0u) << chosen.name;
    }
    ASSERT_TRUE(flush_input());
    EXPECT_TRUE(logged_messages().empty());
}

// release_held_input sends exactly one release for what is latched, empties
// the latch, and sends nothing when called again or on an empty latch.
TEST_F(SyntheticInput, ReleaseHeldInputReleasesOnceFromTheLatch)
{
    struct Case { const char *name; UINT up; };
    const Case cases[] = {
        {"Keyboard: B", WM_KEYUP},
        {"Keyboard: Numpad Enter", WM_KEYUP},
        {"Mouse: Right click (at cursor position)", WM_RBUTTONUP},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const InputSpec &chosen = catalogue_entry(c.name);
        // Pressed the way the worker does it: latched first, then sent.
        EnterCriticalSection(&input_lock);
        latch_held_input(&held_input, &chosen);
        LeaveCriticalSection(&input_lock);
        ASSERT_EQ(send_input_edge(chosen, EDGE_PRESS), 1u);
        ASSERT_TRUE(flush_input());
        clear_test_log();

        release_held_input();
        release_held_input();  // the latch is empty now: nothing more
        ASSERT_TRUE(flush_input());

        const std::vector<LoggedMessage> got = logged_messages();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].message, c.up);
        if (chosen.kind == KIND_KEYBOARD) {
            EXPECT_EQ(got[0].wparam, (WPARAM)chosen.vk);
            EXPECT_EQ(extended_of(got[0].lparam), chosen.extended);
        }
        EXPECT_EQ(held_input.held, 0u);
        EXPECT_EQ(held_input.input.name, nullptr);
    }
}

TEST_F(SyntheticInput, ReleaseHeldInputOnEmptyLatchSendsNothing)
{
    ASSERT_EQ(held_input.held, 0u);
    release_held_input();
    ASSERT_TRUE(flush_input());
    EXPECT_TRUE(logged_messages().empty());
}
