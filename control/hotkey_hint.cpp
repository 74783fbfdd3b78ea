#include "control/hotkey_hint.h"

#include "common/shared_state.h"

// Written by the window once, when it registers the hotkeys.
int32_t hotkey_f6_ok = 0;
int32_t hotkey_f8_ok = 0;

const char *hotkey_hint_for(int32_t f6_ok, int32_t f8_ok)
{
    if (f6_ok && f8_ok) return "F6 toggles, F8 stops (from any application)";
    if (f6_ok) return "F6 toggles (from any application); F8 unavailable";
    if (f8_ok) return "F6 unavailable; F8 stops (from any application)";
    return "Hotkeys unavailable: use the Start/Stop button";
}

const char *hotkey_hint(void)
{
    return hotkey_hint_for(hotkey_f6_ok, hotkey_f8_ok);
}
