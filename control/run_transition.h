// The idle / armed / running transition table of the run controller. Portable.
#pragma once
#include <stdint.h>

// RUN_RUNNING and EV_CLOSE are the last of their enumerations: the table in
// run_transition.cpp is checked against them.
enum RunState : uint32_t { RUN_IDLE = 0, RUN_ARMED = 1, RUN_RUNNING = 2 };
enum RunEvent : uint32_t {
    EV_START_BUTTON = 0,
    EV_HOTKEY_F6 = 1,
    EV_HOTKEY_F8 = 2,
    EV_ARM_TICK = 3,
    EV_CLOSE = 4,
};
enum RunAction : uint32_t { ACT_NONE = 0, ACT_ARM = 1, ACT_START = 2, ACT_STOP = 3 };

// Moves *state by the table for event, given whether the program's own
// window is in front (0 or 1), and returns the action to take. Touches
// nothing else.
RunAction run_transition(RunState *state, RunEvent event, int32_t own_in_front);

// Whether an arming tick may start the run: there is a foreground window,
// it is not the program's own, and no key of switching between
// applications (Alt, a Windows key) is held. Otherwise the user is still
// switching and the run stays armed.
int32_t arming_may_start(int32_t front_exists, int32_t own_in_front, int32_t switch_key_held);
