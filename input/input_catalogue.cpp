#include "input/input_catalogue.h"

// The inputs in list order: the list box shows them in this order and the
// run controller indexes this array with the list's selection. There is no
// F6 or F8: those two keys are the program's global hotkeys.
const InputSpec INPUT_CATALOGUE[INPUT_CATALOGUE_COUNT] = {
    {"Mouse: Left click (at cursor position)", KIND_MOUSE, 0, 0, BUTTON_LEFT},
    {"Mouse: Right click (at cursor position)", KIND_MOUSE, 0, 0, BUTTON_RIGHT},
    {"Keyboard: Space", KIND_KEYBOARD, 0x20, 0, BUTTON_NONE},        // VK_SPACE
    {"Keyboard: Enter", KIND_KEYBOARD, 0x0D, 0, BUTTON_NONE},        // VK_RETURN
    {"Keyboard: Up arrow", KIND_KEYBOARD, 0x26, 1, BUTTON_NONE},     // VK_UP
    {"Keyboard: Down arrow", KIND_KEYBOARD, 0x28, 1, BUTTON_NONE},   // VK_DOWN
    {"Keyboard: Left arrow", KIND_KEYBOARD, 0x25, 1, BUTTON_NONE},   // VK_LEFT
    {"Keyboard: Right arrow", KIND_KEYBOARD, 0x27, 1, BUTTON_NONE},  // VK_RIGHT
    {"Keyboard: Shift (left)", KIND_KEYBOARD, 0xA0, 0, BUTTON_NONE}, // VK_LSHIFT
    {"Keyboard: Ctrl (left)", KIND_KEYBOARD, 0xA2, 0, BUTTON_NONE},  // VK_LCONTROL
    {"Keyboard: Alt (left)", KIND_KEYBOARD, 0xA4, 0, BUTTON_NONE},   // VK_LMENU
    {"Keyboard: Tab", KIND_KEYBOARD, 0x09, 0, BUTTON_NONE},          // VK_TAB
    {"Keyboard: Backspace", KIND_KEYBOARD, 0x08, 0, BUTTON_NONE},    // VK_BACK
    {"Keyboard: Escape", KIND_KEYBOARD, 0x1B, 0, BUTTON_NONE},       // VK_ESCAPE
    // Letters and digits: the virtual-key code is the character code of the
    // upper-case letter or of the digit.
    {"Keyboard: A", KIND_KEYBOARD, 0x41, 0, BUTTON_NONE},
    {"Keyboard: B", KIND_KEYBOARD, 0x42, 0, BUTTON_NONE},
    {"Keyboard: C", KIND_KEYBOARD, 0x43, 0, BUTTON_NONE},
    {"Keyboard: D", KIND_KEYBOARD, 0x44, 0, BUTTON_NONE},
    {"Keyboard: E", KIND_KEYBOARD, 0x45, 0, BUTTON_NONE},
    {"Keyboard: F", KIND_KEYBOARD, 0x46, 0, BUTTON_NONE},
    {"Keyboard: G", KIND_KEYBOARD, 0x47, 0, BUTTON_NONE},
    {"Keyboard: H", KIND_KEYBOARD, 0x48, 0, BUTTON_NONE},
    {"Keyboard: I", KIND_KEYBOARD, 0x49, 0, BUTTON_NONE},
    {"Keyboard: J", KIND_KEYBOARD, 0x4A, 0, BUTTON_NONE},
    {"Keyboard: K", KIND_KEYBOARD, 0x4B, 0, BUTTON_NONE},
    {"Keyboard: L", KIND_KEYBOARD, 0x4C, 0, BUTTON_NONE},
    {"Keyboard: M", KIND_KEYBOARD, 0x4D, 0, BUTTON_NONE},
    {"Keyboard: N", KIND_KEYBOARD, 0x4E, 0, BUTTON_NONE},
    {"Keyboard: O", KIND_KEYBOARD, 0x4F, 0, BUTTON_NONE},
    {"Keyboard: P", KIND_KEYBOARD, 0x50, 0, BUTTON_NONE},
    {"Keyboard: Q", KIND_KEYBOARD, 0x51, 0, BUTTON_NONE},
    {"Keyboard: R", KIND_KEYBOARD, 0x52, 0, BUTTON_NONE},
    {"Keyboard: S", KIND_KEYBOARD, 0x53, 0, BUTTON_NONE},
    {"Keyboard: T", KIND_KEYBOARD, 0x54, 0, BUTTON_NONE},
    {"Keyboard: U", KIND_KEYBOARD, 0x55, 0, BUTTON_NONE},
    {"Keyboard: V", KIND_KEYBOARD, 0x56, 0, BUTTON_NONE},
    {"Keyboard: W", KIND_KEYBOARD, 0x57, 0, BUTTON_NONE},
    {"Keyboard: X", KIND_KEYBOARD, 0x58, 0, BUTTON_NONE},
    {"Keyboard: Y", KIND_KEYBOARD, 0x59, 0, BUTTON_NONE},
    {"Keyboard: Z", KIND_KEYBOARD, 0x5A, 0, BUTTON_NONE},
    {"Keyboard: 0", KIND_KEYBOARD, 0x30, 0, BUTTON_NONE},
    {"Keyboard: 1", KIND_KEYBOARD, 0x31, 0, BUTTON_NONE},
    {"Keyboard: 2", KIND_KEYBOARD, 0x32, 0, BUTTON_NONE},
    {"Keyboard: 3", KIND_KEYBOARD, 0x33, 0, BUTTON_NONE},
    {"Keyboard: 4", KIND_KEYBOARD, 0x34, 0, BUTTON_NONE},
    {"Keyboard: 5", KIND_KEYBOARD, 0x35, 0, BUTTON_NONE},
    {"Keyboard: 6", KIND_KEYBOARD, 0x36, 0, BUTTON_NONE},
    {"Keyboard: 7", KIND_KEYBOARD, 0x37, 0, BUTTON_NONE},
    {"Keyboard: 8", KIND_KEYBOARD, 0x38, 0, BUTTON_NONE},
    {"Keyboard: 9", KIND_KEYBOARD, 0x39, 0, BUTTON_NONE},
    {"Keyboard: F1", KIND_KEYBOARD, 0x70, 0, BUTTON_NONE},           // VK_F1
    {"Keyboard: F2", KIND_KEYBOARD, 0x71, 0, BUTTON_NONE},
    {"Keyboard: F3", KIND_KEYBOARD, 0x72, 0, BUTTON_NONE},
    {"Keyboard: F4", KIND_KEYBOARD, 0x73, 0, BUTTON_NONE},
    {"Keyboard: F5", KIND_KEYBOARD, 0x74, 0, BUTTON_NONE},
    {"Keyboard: F7", KIND_KEYBOARD, 0x76, 0, BUTTON_NONE},
    {"Keyboard: F9", KIND_KEYBOARD, 0x78, 0, BUTTON_NONE},
    {"Keyboard: F10", KIND_KEYBOARD, 0x79, 0, BUTTON_NONE},
    {"Keyboard: F11", KIND_KEYBOARD, 0x7A, 0, BUTTON_NONE},
    {"Keyboard: F12", KIND_KEYBOARD, 0x7B, 0, BUTTON_NONE},          // VK_F12
    {"Keyboard: Numpad 0", KIND_KEYBOARD, 0x60, 0, BUTTON_NONE},     // VK_NUMPAD0
    {"Keyboard: Numpad 1", KIND_KEYBOARD, 0x61, 0, BUTTON_NONE},
    {"Keyboard: Numpad 2", KIND_KEYBOARD, 0x62, 0, BUTTON_NONE},
    {"Keyboard: Numpad 5", KIND_KEYBOARD, 0x65, 0, BUTTON_NONE},     // VK_NUMPAD5
    // Same code as Enter: only the extended flag makes it the keypad's key.
    {"Keyboard: Numpad Enter", KIND_KEYBOARD, 0x0D, 1, BUTTON_NONE}, // VK_RETURN
    // The dedicated navigation block is extended.
    {"Keyboard: Page Up", KIND_KEYBOARD, 0x21, 1, BUTTON_NONE},      // VK_PRIOR
    {"Keyboard: Page Down", KIND_KEYBOARD, 0x22, 1, BUTTON_NONE},    // VK_NEXT
    {"Keyboard: Home", KIND_KEYBOARD, 0x24, 1, BUTTON_NONE},         // VK_HOME
    {"Keyboard: End", KIND_KEYBOARD, 0x23, 1, BUTTON_NONE},          // VK_END
    {"Keyboard: Insert", KIND_KEYBOARD, 0x2D, 1, BUTTON_NONE},       // VK_INSERT
    {"Keyboard: Delete", KIND_KEYBOARD, 0x2E, 1, BUTTON_NONE},       // VK_DELETE
};

uint32_t mouse_flags_for(uint32_t button, uint32_t edge)
{
    const int press = edge == EDGE_PRESS;
    if (button == BUTTON_LEFT) return press ? INPUT_MOUSE_LEFT_DOWN : INPUT_MOUSE_LEFT_UP;
    if (button == BUTTON_RIGHT) return press ? INPUT_MOUSE_RIGHT_DOWN : INPUT_MOUSE_RIGHT_UP;
    return 0;
}

uint32_t physical_button_for(uint32_t button, int32_t swapped)
{
    if (!swapped) return button;
    if (button == BUTTON_LEFT) return BUTTON_RIGHT;
    if (button == BUTTON_RIGHT) return BUTTON_LEFT;
    return button;
}

uint32_t key_flags_for(uint32_t extended, uint32_t edge)
{
    uint32_t flags = 0;
    if (extended) flags |= INPUT_KEY_EXTENDED;
    if (edge != EDGE_PRESS) flags |= INPUT_KEY_UP;
    return flags;
}
