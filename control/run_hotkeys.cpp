#include "control/run_hotkeys.h"

#include "common/count_of.h"
#include "common/shared_state.h"

// Nothing of the run's own registrations exists until a run is armed.
uint32_t run_hotkeys_registered = 0;

namespace {

const uint32_t NOREPEAT = HOTKEY_MOD_NOREPEAT;
const uint32_t SHIFT = HOTKEY_MOD_SHIFT;
const uint32_t CTRL = HOTKEY_MOD_CONTROL;
const uint32_t ALT = HOTKEY_MOD_ALT;

}  // namespace

const HotkeySpec RUN_HOTKEYS[] = {
    {11, NOREPEAT | ALT, HOTKEY_VK_F8},
    {12, NOREPEAT | CTRL, HOTKEY_VK_F8},
    {13, NOREPEAT | CTRL | ALT, HOTKEY_VK_F8},
    {14, NOREPEAT | SHIFT, HOTKEY_VK_F8},
    {15, NOREPEAT | SHIFT | ALT, HOTKEY_VK_F8},
    {16, NOREPEAT | SHIFT | CTRL, HOTKEY_VK_F8},
    {17, NOREPEAT | SHIFT | CTRL | ALT, HOTKEY_VK_F8},
    {21, NOREPEAT | ALT, HOTKEY_VK_F6},
    {22, NOREPEAT | CTRL, HOTKEY_VK_F6},
    {23, NOREPEAT | CTRL | ALT, HOTKEY_VK_F6},
    {24, NOREPEAT | SHIFT, HOTKEY_VK_F6},
    {25, NOREPEAT | SHIFT | ALT, HOTKEY_VK_F6},
    {26, NOREPEAT | SHIFT | CTRL, HOTKEY_VK_F6},
    {27, NOREPEAT | SHIFT | CTRL | ALT, HOTKEY_VK_F6},
};
static_assert(COUNT_OF(RUN_HOTKEYS) == RUN_HOTKEY_COUNT, "the table has RUN_HOTKEY_COUNT rows");
// One bit of run_hotkeys_registered per row.
static_assert(RUN_HOTKEY_COUNT <= 32, "a bit per run hotkey");

uint32_t hotkey_key_for_id(int32_t id)
{
    if (id == HOTKEY_F6.id) return HOTKEY_F6.vk;
    if (id == HOTKEY_F8.id) return HOTKEY_F8.vk;
    for (const HotkeySpec &hotkey : RUN_HOTKEYS)
        if (hotkey.id == id) return hotkey.vk;
    return 0;
}
