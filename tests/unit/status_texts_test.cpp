#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>
#include <string>
#include "input/input_catalogue.h"
#include "rate/rate_entry.h"
#include "control/status_texts.h"

namespace {

const char BOTH_HINT[] = "F6 toggles, F8 stops (from any application)";
const InputSpec SPACE = {"Keyboard: Space", KIND_KEYBOARD, 0x20, 0, BUTTON_NONE};
const InputSpec LEFT_CLICK = {"Mouse: Left click (at cursor position)", KIND_MOUSE, 0, 0, BUTTON_LEFT};

}  // namespace

TEST(StatusTexts, ReadyTextNamesTheKeysThatAreTaken)
{
    struct Case { int32_t f6, f8; const char *text; };
    const Case cases[] = {
        {1, 1, "Ready. Nothing is sent until you press F6 or Start. F6 toggles, F8 stops (from any application)."},
        {1, 0, "Ready, but F8 already taken by another program. F6 toggles (from any application); F8 unavailable."},
        {0, 1, "Ready, but F6 already taken by another program. F6 unavailable; F8 stops (from any application)."},
        {0, 0, "Ready, but F6 and F8 already taken by another program. Hotkeys unavailable: use the Start/Stop button."},
    };
    for (const Case &c : cases) {
        char out[STATUS_READY_SIZE];
        EXPECT_STREQ(compose_ready_text(out, sizeof out, c.f6, c.f8), c.text) << c.f6 << c.f8;
    }
}

// The rate shown is the one the whole-microsecond period gives.
TEST(StatusTexts, StartTextShowsTheRateOfThePeriodAndWhereInputGoes)
{
    struct Case { const InputSpec *input; int32_t period; const char *text; };
    const Case cases[] = {
        {&SPACE, 50000, "Running: Keyboard: Space at 20 per second in the active application. F6 toggles, F8 stops (from any application)."},
        {&SPACE, 333333, "Running: Keyboard: Space at 3 per second in the active application. F6 toggles, F8 stops (from any application)."},
        {&SPACE, 2333, "Running: Keyboard: Space at 428.6 per second in the active application. F6 toggles, F8 stops (from any application)."},
        {&LEFT_CLICK, 10000000, "Running: Mouse: Left click (at cursor position) at 0.1 per second at the cursor position. F6 toggles, F8 stops (from any application)."},
        {&LEFT_CLICK, 1000, "Running: Mouse: Left click (at cursor position) at 1000 per second at the cursor position. F6 toggles, F8 stops (from any application)."},
    };
    for (const Case &c : cases) {
        char out[STATUS_START_SIZE];
        EXPECT_STREQ(compose_start_text(out, sizeof out, c.input, c.period, BOTH_HINT), c.text);
    }
}

TEST(StatusTexts, ArmedTextHasAKeyboardAndAMouseWording)
{
    char out[STATUS_ARMED_SIZE];
    EXPECT_STREQ(compose_armed_text(out, sizeof out, &SPACE, "F6 unavailable; F8 stops (from any application)"),
                 "Armed (Keyboard: Space): switch to the application you want it pressed in (click it or "
                 "Alt+Tab). Pressing starts there automatically. F6 unavailable; F8 stops (from any application).");
    EXPECT_STREQ(compose_armed_text(out, sizeof out, &LEFT_CLICK, BOTH_HINT),
                 "Armed (Mouse: Left click (at cursor position)): switch to the application you want clicked "
                 "and put the cursor where the clicks should land. Clicking starts there automatically. "
                 "F6 toggles, F8 stops (from any application).");
}

// The count's top, 2147483647, shows as it is; a negative value, which the
// worker never produces, shows as its unsigned reading, never with a minus.
TEST(StatusTexts, RunningTextShowsCountUpToItsTopAndPauseSuffixNeverAMinusSign)
{
    struct Case { int32_t count; const char *suffix; const char *text; };
    const Case cases[] = {
        {153, "", "Running: Keyboard: Space at 20 per second, 153 sent. F6 toggles, F8 stops (from any application)."},
        {0, " - PAUSED while this window is active", "Running: Keyboard: Space at 20 per second, 0 sent - PAUSED while this window is active. F6 toggles, F8 stops (from any application)."},
        {INT32_MAX, " - PAUSED while the cursor is over this window", "Running: Keyboard: Space at 20 per second, 2147483647 sent - PAUSED while the cursor is over this window. F6 toggles, F8 stops (from any application)."},
        {INT32_MIN, "", "Running: Keyboard: Space at 20 per second, 2147483648 sent. F6 toggles, F8 stops (from any application)."},
        {-1, "", "Running: Keyboard: Space at 20 per second, 4294967295 sent. F6 toggles, F8 stops (from any application)."},
        {42, nullptr, "Running: Keyboard: Space at 20 per second, 42 sent. F6 toggles, F8 stops (from any application)."},
    };
    for (const Case &c : cases) {
        char out[STATUS_RUNNING_SIZE];
        EXPECT_STREQ(compose_running_text(out, sizeof out, &SPACE, 50000, c.count, c.suffix, BOTH_HINT), c.text);
    }
}

TEST(StatusTexts, StopTextCountsPressesOrClicksUpToTheTopNeverAMinusSign)
{
    struct Case { const char *message; int32_t count; uint32_t kind; const char *text; };
    const Case cases[] = {
        {"Closing.", 0, KIND_KEYBOARD, "Closing.  (0 presses sent)"},
        {"Stopped by F8.", 153, KIND_MOUSE, "Stopped by F8.  (153 clicks sent)"},
        {"Stopped.", INT32_MAX, KIND_KEYBOARD, "Stopped.  (2147483647 presses sent)"},
        {"Stopped by F6.", INT32_MIN, KIND_KEYBOARD, "Stopped by F6.  (2147483648 presses sent)"},
        {"Could not start the worker thread.", 0, KIND_MOUSE, "Could not start the worker thread.  (0 clicks sent)"},
        {nullptr, 7, 5, "  (7 presses sent)"},  // any kind but mouse counts presses
    };
    for (const Case &c : cases) {
        char out[STATUS_STOP_SIZE];
        EXPECT_STREQ(compose_stop_text(out, sizeof out, c.message, c.count, c.kind), c.text);
    }
}

TEST(StatusTexts, RateRefusalAndFastestTexts)
{
    char out[STATUS_FASTEST_SIZE];
    EXPECT_STREQ(compose_rate_refusal(out, STATUS_RATE_REFUSAL_SIZE, RATE_EMPTY),
                 "Rate: enter a number of clicks per second.");
    EXPECT_STREQ(compose_rate_refusal(out, STATUS_RATE_REFUSAL_SIZE, RATE_BAD_INTERVAL),
                 "Rate: the interval must be a positive number of milliseconds (e.g. 100, 0.1, 2.5e-3).");
    EXPECT_STREQ(compose_fastest_text(out, sizeof out, "1000", BOTH_HINT),
                 "Fastest mode applied: 1000 per second scheduled (this app's fastest scheduled rate, 1 ms "
                 "apart - not a measured in-game rate). Input unchanged. Nothing is sent until F6 or Start. "
                 "F6 toggles, F8 stops (from any application).");
    EXPECT_STREQ(compose_fastest_caption(out, STATUS_FASTEST_CAPTION_SIZE, "1000"),
                 "Fastest mode (1000/s scheduled)");
}

// A buffer too small for the text gets as much as fits and its terminator,
// and not one byte more; a null buffer or a size of 0 is left alone.
TEST(StatusTexts, CutAtTheBufferSizeAndNeverBeyond)
{
    char out[32];
    memset(out, '#', sizeof out);
    compose_stop_text(out, 10, "Stopped by F8.", 153, KIND_KEYBOARD);
    EXPECT_STREQ(out, "Stopped b");
    for (size_t i = 10; i < sizeof out; ++i) ASSERT_EQ(out[i], '#') << i;

    memset(out, '#', sizeof out);
    EXPECT_EQ(compose_ready_text(out, 0, 1, 1), out);
    EXPECT_EQ(compose_armed_text(nullptr, 300, &SPACE, BOTH_HINT), nullptr);
    for (char c : out) ASSERT_EQ(c, '#');
}

// With the buffer sizes the texts have, no catalogue entry and no hint ever
// gets its text cut: the hint and the closing full stop always show.
TEST(StatusTexts, NoCatalogueEntryOrHintIsCut)
{
    const char *const hints[] = {BOTH_HINT, "F6 toggles (from any application); F8 unavailable",
                                 "F6 unavailable; F8 stops (from any application)",
                                 "Hotkeys unavailable: use the Start/Stop button"};
    const auto ends_with = [](const std::string &text, const std::string &tail) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    for (const InputSpec &input : INPUT_CATALOGUE) {
        for (const char *hint : hints) {
            char out[STATUS_ARMED_SIZE];
            const std::string tail = std::string(hint) + ".";
            compose_armed_text(out, STATUS_ARMED_SIZE, &input, hint);
            EXPECT_TRUE(ends_with(out, tail)) << out;
            compose_start_text(out, STATUS_START_SIZE, &input, 2333, hint);
            EXPECT_TRUE(ends_with(out, tail)) << out;
            // The widest rate (0.1111 per second), the widest count and every
            // suffix, the refusal being the longest.
            for (const char *suffix : {RUNNING_SUFFIX_PAUSED_OWN_WINDOW, RUNNING_SUFFIX_PAUSED_CURSOR,
                                       RUNNING_SUFFIX_REFUSED}) {
                compose_running_text(out, STATUS_RUNNING_SIZE, &input, 9000001, INT32_MIN, suffix, hint);
                EXPECT_TRUE(ends_with(out, tail)) << out;
                EXPECT_NE(std::string(out).find(suffix), std::string::npos) << out;
            }
        }
    }
}

// Which suffix the running line shows: a pause wins over a refusal (a paused
// run sends nothing), the program's own window over the cursor.
TEST(StatusTexts, RunningSuffixPauseWinsOverARefusal)
{
    struct Case { int32_t own_in_front, paused, refused; const char *suffix; };
    const Case cases[] = {
        {0, 0, 0, ""},
        {0, 0, 1, " - Windows is refusing the input (is the window in front running as administrator?)"},
        {0, 1, 0, " - PAUSED while the cursor is over this window"},
        {0, 1, 1, " - PAUSED while the cursor is over this window"},
        {1, 1, 0, " - PAUSED while this window is active"},
        {1, 1, 1, " - PAUSED while this window is active"},
        {1, 0, 1, " - PAUSED while this window is active"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(running_suffix(c.own_in_front, c.paused, c.refused), c.suffix)
            << c.own_in_front << c.paused << c.refused;

    char out[STATUS_RUNNING_SIZE];
    EXPECT_STREQ(compose_running_text(out, sizeof out, &LEFT_CLICK, 1000, 0, running_suffix(0, 0, 1), BOTH_HINT),
                 "Running: Mouse: Left click (at cursor position) at 1000 per second, 0 sent - Windows is "
                 "refusing the input (is the window in front running as administrator?). F6 toggles, F8 stops "
                 "(from any application).");
}
