#include <gtest/gtest.h>
#include <string>
#include "common/shared_state.h"
#include "control/hotkey_hint.h"

TEST(HotkeyHint, OneTextPerPairOfFlags)
{
    struct Case { int32_t f6, f8; const char *text; };
    const Case cases[] = {
        {1, 1, "F6 toggles, F8 stops (from any application)"},
        {1, 0, "F6 toggles (from any application); F8 unavailable"},
        {0, 1, "F6 unavailable; F8 stops (from any application)"},
        {0, 0, "Hotkeys unavailable: use the Start/Stop button"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(std::string(hotkey_hint_for(c.f6, c.f8)), c.text) << c.f6 << c.f8;
        hotkey_f6_ok = c.f6;
        hotkey_f8_ok = c.f8;
        EXPECT_EQ(std::string(hotkey_hint()), c.text) << "global flags " << c.f6 << c.f8;
    }
}
