// Whether the two global hotkeys could be registered, and the one rule that
// turns that into the hint ending every status text. Portable.
#pragma once
#include <stdint.h>

extern int32_t hotkey_f6_ok;  // written once when the main window is created
extern int32_t hotkey_f8_ok;

// The hint for the given flags.
const char *hotkey_hint_for(int32_t f6_ok, int32_t f8_ok);
// The hint for the current flags.
const char *hotkey_hint(void);
