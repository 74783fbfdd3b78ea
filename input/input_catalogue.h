// The fixed list of the 71 inputs the program can repeat, the mouse event
// flags of each button edge and the physical button of a swapped mouse.
// Portable.
#pragma once
#include <stdint.h>

enum InputKind : uint32_t { KIND_KEYBOARD = 0, KIND_MOUSE = 1 };
enum MouseButton : uint32_t { BUTTON_NONE = 0, BUTTON_LEFT = 1, BUTTON_RIGHT = 2 };
enum InputEdge : uint32_t { EDGE_PRESS = 0, EDGE_RELEASE = 1 };

// One input; a plain constant record, copied by value.
struct InputSpec {
    const char *name;   // text in the input list
    uint32_t kind;      // an InputKind
    uint16_t vk;        // virtual-key code; 0 for mouse entries
    uint32_t extended;  // 1: sent as an extended key
    uint32_t button;    // a MouseButton; BUTTON_NONE for keys
};

const uint32_t INPUT_CATALOGUE_COUNT = 71;
const uint32_t INPUT_DEFAULT_INDEX = 2;  // "Keyboard: Space", selected when the window opens
// Index = position in the input list.
extern const InputSpec INPUT_CATALOGUE[INPUT_CATALOGUE_COUNT];

// The platform's event flag values, so that the portable core can compose
// them; the Win32 sender checks each against the platform's own name when it
// is compiled. Keyboard: KEYEVENTF_*; mouse: MOUSEEVENTF_*.
const uint32_t INPUT_KEY_EXTENDED = 0x0001;
const uint32_t INPUT_KEY_UP = 0x0002;
const uint32_t INPUT_MOUSE_LEFT_DOWN = 0x0002;
const uint32_t INPUT_MOUSE_LEFT_UP = 0x0004;
const uint32_t INPUT_MOUSE_RIGHT_DOWN = 0x0008;
const uint32_t INPUT_MOUSE_RIGHT_UP = 0x0010;

// Mouse event flags (MOUSEEVENTF_*) for a button edge: edge 0 is a press, any
// other value a release; 0 for a button that is neither left nor right.
uint32_t mouse_flags_for(uint32_t button, uint32_t edge);
// The physical button that the system delivers as button: the other one of
// left and right when the user swapped the primary and secondary buttons,
// button itself otherwise (and for anything but left and right).
uint32_t physical_button_for(uint32_t button, int32_t swapped);
// Keyboard event flags (KEYEVENTF_*) for a key edge: INPUT_KEY_EXTENDED when
// extended is nonzero, with INPUT_KEY_UP for any edge other than 0. Never a
// scan-code or Unicode flag: the target always receives the virtual-key code.
uint32_t key_flags_for(uint32_t extended, uint32_t edge);
