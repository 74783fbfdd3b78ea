// The only sender of synthetic input, and the process-wide latch that makes
// sure a press whose release is still owed is released by whoever ends a run.
#include "input/synthetic_input_win.h"

#include "common/shared_state.h"

// The portable flag values must be the platform's own.
static_assert(INPUT_KEY_EXTENDED == KEYEVENTF_EXTENDEDKEY, "key flag");
static_assert(INPUT_KEY_UP == KEYEVENTF_KEYUP, "key flag");
static_assert(INPUT_MOUSE_LEFT_DOWN == MOUSEEVENTF_LEFTDOWN, "mouse flag");
static_assert(INPUT_MOUSE_LEFT_UP == MOUSEEVENTF_LEFTUP, "mouse flag");
static_assert(INPUT_MOUSE_RIGHT_DOWN == MOUSEEVENTF_RIGHTDOWN, "mouse flag");
static_assert(INPUT_MOUSE_RIGHT_UP == MOUSEEVENTF_RIGHTUP, "mouse flag");

CRITICAL_SECTION input_lock;
SendInputCall system_send_input = SendInput;

uint32_t send_input_edge(const InputSpec &input, InputEdge edge)
{
    INPUT record;
    ZeroMemory(&record, sizeof record);
    if (input.kind == KIND_MOUSE) {
        const uint32_t flags = mouse_flags_for(input.button, edge);
        if (flags == 0) return 0;
        // No move and no absolute flag: the click lands wherever the cursor
        // is, and the cursor never moves.
        record.type = INPUT_MOUSE;
        record.mi.dwFlags = flags;
    } else {
        // The scan code is looked up at every edge, so that a layout switched
        // during a run is followed.
        record.type = INPUT_KEYBOARD;
        record.ki.wVk = input.vk;
        record.ki.wScan = (WORD)(MapVirtualKeyA(input.vk, MAPVK_VK_TO_VSC) & 0xFFFF);
        record.ki.dwFlags = key_flags_for(input.extended, edge);
    }
    return system_send_input(1, &record, sizeof record);
}

void release_held_input(void)
{
    InputSpec taken;
    EnterCriticalSection(&input_lock);
    const int32_t had = take_held_input(&held_input, &taken);
    LeaveCriticalSection(&input_lock);
    // Sent outside the lock: SendInput may take a while, and the worker must
    // never wait on it to latch or clear.
    if (had) send_input_edge(taken, EDGE_RELEASE);
}
