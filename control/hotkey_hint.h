// The one rule that turns whether F6 and F8 could be registered (the flags in
// common/shared_state.h) into the hint that ends every status text. Portable.
#pragma once
#include <stdint.h>

// The hint for the given flags.
const char *hotkey_hint_for(int32_t f6_ok, int32_t f8_ok);
// The hint for the current flags.
const char *hotkey_hint(void);
