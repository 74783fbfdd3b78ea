// The global hotkeys: F6 and F8 alone, registered for the life of the main
// window, and each of them with every combination of Shift, Ctrl and Alt,
// registered only while a run is armed or running, so that the stop keys
// work whatever modifier the run or the user holds down, while other
// programs keep Ctrl+F6 and the like whenever Rivanta is idle. Portable: the
// values are the platform's, checked against its own names where the Win32
// code registers them.
#pragma once
#include <stdint.h>

// RegisterHotKey's modifier flags (MOD_*) and the two keys' codes (VK_F6, VK_F8).
const uint32_t HOTKEY_MOD_ALT = 0x0001;
const uint32_t HOTKEY_MOD_CONTROL = 0x0002;
const uint32_t HOTKEY_MOD_SHIFT = 0x0004;
const uint32_t HOTKEY_MOD_NOREPEAT = 0x4000;  // a held key does not repeat the hotkey
const uint32_t HOTKEY_VK_F6 = 0x75;
const uint32_t HOTKEY_VK_F8 = 0x77;

// One registration: its identifier, its modifier flags and its key.
struct HotkeySpec {
    int32_t id;
    uint32_t modifiers;
    uint32_t vk;
};

// The plain keys, registered when the main window is created.
const int32_t HOTKEY_ID_F8 = 1;
const int32_t HOTKEY_ID_F6 = 2;
const HotkeySpec HOTKEY_F6 = {HOTKEY_ID_F6, HOTKEY_MOD_NOREPEAT, HOTKEY_VK_F6};
const HotkeySpec HOTKEY_F8 = {HOTKEY_ID_F8, HOTKEY_MOD_NOREPEAT, HOTKEY_VK_F8};

// F8, then F6, each with the seven combinations of Shift, Ctrl and Alt, and
// every one without auto-repeat. Identifiers 11 to 17 are F8's and 21 to 27
// F6's (10 or 20 plus the Shift, Ctrl and Alt bits).
const uint32_t RUN_HOTKEY_COUNT = 14;
extern const HotkeySpec RUN_HOTKEYS[RUN_HOTKEY_COUNT];

// The key (HOTKEY_VK_F6 or HOTKEY_VK_F8) that a hotkey identifier of the
// program stands for, plain or with modifiers; 0 for any other identifier.
uint32_t hotkey_key_for_id(int32_t id);
