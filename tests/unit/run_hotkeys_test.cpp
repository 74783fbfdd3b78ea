// The hotkeys: F6 and F8 alone, and with every combination of Shift, Ctrl
// and Alt for the time of a run, each without auto-repeat and each standing
// for its plain key.
#include <gtest/gtest.h>
#include <set>
#include "control/run_hotkeys.h"

namespace {

const uint32_t SHIFT_CTRL_ALT = HOTKEY_MOD_SHIFT | HOTKEY_MOD_CONTROL | HOTKEY_MOD_ALT;

}  // namespace

// For each key the run adds exactly the seven non-empty combinations of
// Shift, Ctrl and Alt (never the Windows key, which is the system's), and
// every registration, plain or not, asks for no auto-repeat.
TEST(RunHotkeys, EveryModifierCombinationOfBothKeysOnceAndNoneRepeats)
{
    struct Key { uint32_t vk; const HotkeySpec *plain; };
    const Key keys[] = {{HOTKEY_VK_F6, &HOTKEY_F6}, {HOTKEY_VK_F8, &HOTKEY_F8}};
    for (const Key &key : keys) {
        SCOPED_TRACE(key.vk);
        EXPECT_EQ(key.plain->vk, key.vk);
        EXPECT_EQ(key.plain->modifiers, HOTKEY_MOD_NOREPEAT) << "the plain key has no modifier";
        std::set<uint32_t> combinations;
        for (const HotkeySpec &hotkey : RUN_HOTKEYS) {
            if (hotkey.vk != key.vk) continue;
            EXPECT_TRUE(hotkey.modifiers & HOTKEY_MOD_NOREPEAT) << "id " << hotkey.id;
            EXPECT_EQ(hotkey.modifiers & ~(SHIFT_CTRL_ALT | HOTKEY_MOD_NOREPEAT), 0u) << "id " << hotkey.id;
            EXPECT_NE(hotkey.modifiers & SHIFT_CTRL_ALT, 0u) << "id " << hotkey.id << " repeats the plain key";
            combinations.insert(hotkey.modifiers & SHIFT_CTRL_ALT);
        }
        EXPECT_EQ(combinations.size(), 7u);
    }
    for (const HotkeySpec &hotkey : RUN_HOTKEYS)
        EXPECT_TRUE(hotkey.vk == HOTKEY_VK_F6 || hotkey.vk == HOTKEY_VK_F8) << "id " << hotkey.id;
}

// Identifiers are unique, distinct from the plain keys' and in the range an
// application may use (0 to 0xBFFF); each stands for its key, and nothing
// else stands for a key.
TEST(RunHotkeys, IdentifiersAreUniqueAndStandForTheirKey)
{
    std::set<int32_t> ids = {HOTKEY_F6.id, HOTKEY_F8.id};
    for (const HotkeySpec &hotkey : RUN_HOTKEYS) {
        EXPECT_TRUE(ids.insert(hotkey.id).second) << "id " << hotkey.id << " used twice";
        EXPECT_GE(hotkey.id, 0);
        EXPECT_LE(hotkey.id, 0xBFFF);
        EXPECT_EQ(hotkey_key_for_id(hotkey.id), hotkey.vk) << "id " << hotkey.id;
    }
    EXPECT_EQ(hotkey_key_for_id(HOTKEY_ID_F6), HOTKEY_VK_F6);
    EXPECT_EQ(hotkey_key_for_id(HOTKEY_ID_F8), HOTKEY_VK_F8);
    for (int32_t other : {0, 3, 10, 18, 20, 28, -1, 0xBFFF, INT32_MAX, INT32_MIN})
        EXPECT_EQ(hotkey_key_for_id(other), 0u) << "id " << other;
}
