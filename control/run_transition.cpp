#include "control/run_transition.h"

#include "common/count_of.h"
#include "common/shared_state.h"

RunState run_state = RUN_IDLE;

namespace {

// One cell of the transition table: the state after and the action to take.
struct RunStep {
    RunState after;
    RunAction action;
};

// Indexed [state][event][own window in front], in the order of RunState and
// RunEvent. The number of states is counted from the rows, so that a state
// added to RunState without its row fails to compile.
const RunStep RUN_TABLE[][EV_CLOSE + 1][2] = {
    // RUN_IDLE
    {
        {{RUN_RUNNING, ACT_START}, {RUN_ARMED, ACT_ARM}},  // EV_START_BUTTON
        {{RUN_RUNNING, ACT_START}, {RUN_ARMED, ACT_ARM}},  // EV_HOTKEY_F6
        {{RUN_IDLE, ACT_NONE}, {RUN_IDLE, ACT_NONE}},      // EV_HOTKEY_F8
        {{RUN_IDLE, ACT_NONE}, {RUN_IDLE, ACT_NONE}},      // EV_ARM_TICK
        {{RUN_IDLE, ACT_NONE}, {RUN_IDLE, ACT_NONE}},      // EV_CLOSE
    },
    // RUN_ARMED
    {
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
        {{RUN_RUNNING, ACT_START}, {RUN_ARMED, ACT_NONE}},
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
    },
    // RUN_RUNNING
    {
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
        {{RUN_RUNNING, ACT_NONE}, {RUN_RUNNING, ACT_NONE}},
        {{RUN_IDLE, ACT_STOP}, {RUN_IDLE, ACT_STOP}},
    },
};
static_assert(COUNT_OF(RUN_TABLE) == RUN_RUNNING + 1, "a row per RunState");

}  // namespace

RunAction run_transition(RunState *state, RunEvent event, int32_t own_in_front)
{
    // A state or event outside the enumerations is left alone: no action.
    if (!state || *state > RUN_RUNNING || event > EV_CLOSE) return ACT_NONE;
    const RunStep step = RUN_TABLE[*state][event][own_in_front ? 1 : 0];
    *state = step.after;
    return step.action;
}

int32_t arming_may_start(int32_t front_exists, int32_t own_in_front, int32_t switch_key_held)
{
    return front_exists && !own_in_front && !switch_key_held ? 1 : 0;
}
