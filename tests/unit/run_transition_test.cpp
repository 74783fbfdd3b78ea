#include <gtest/gtest.h>
#include <vector>
#include "control/run_transition.h"

namespace {

const int32_t OWN_EITHER = -1;

// The controller's table as a user would read it: a row covers a set of
// events and either one value of the "own window in front" flag or both.
struct Row {
    RunState before;
    std::vector<RunEvent> events;
    int32_t own;  // 0, 1 or OWN_EITHER
    RunState after;
    RunAction action;
};

const std::vector<Row> &rows()
{
    static const std::vector<Row> table = {
        {RUN_IDLE, {EV_START_BUTTON, EV_HOTKEY_F6}, 1, RUN_ARMED, ACT_ARM},
        {RUN_IDLE, {EV_START_BUTTON, EV_HOTKEY_F6}, 0, RUN_RUNNING, ACT_START},
        {RUN_ARMED, {EV_START_BUTTON, EV_HOTKEY_F6}, OWN_EITHER, RUN_IDLE, ACT_STOP},
        {RUN_RUNNING, {EV_START_BUTTON, EV_HOTKEY_F6}, OWN_EITHER, RUN_IDLE, ACT_STOP},
        {RUN_IDLE, {EV_HOTKEY_F8, EV_CLOSE}, OWN_EITHER, RUN_IDLE, ACT_NONE},
        {RUN_ARMED, {EV_HOTKEY_F8, EV_CLOSE}, OWN_EITHER, RUN_IDLE, ACT_STOP},
        {RUN_RUNNING, {EV_HOTKEY_F8, EV_CLOSE}, OWN_EITHER, RUN_IDLE, ACT_STOP},
        {RUN_ARMED, {EV_ARM_TICK}, 0, RUN_RUNNING, ACT_START},
        {RUN_ARMED, {EV_ARM_TICK}, 1, RUN_ARMED, ACT_NONE},
        {RUN_IDLE, {EV_ARM_TICK}, OWN_EITHER, RUN_IDLE, ACT_NONE},
        {RUN_RUNNING, {EV_ARM_TICK}, OWN_EITHER, RUN_RUNNING, ACT_NONE},
    };
    return table;
}

}  // namespace

// Every (state, event, flag) combination is covered by exactly one row and
// gives that row's state and action.
TEST(RunTransition, FollowsEveryRowOfTheTable)
{
    int covered[3][5][2] = {};
    for (const Row &row : rows()) {
        for (RunEvent event : row.events) {
            for (int32_t own = 0; own <= 1; ++own) {
                if (row.own != OWN_EITHER && row.own != own) continue;
                RunState state = row.before;
                const RunAction action = run_transition(&state, event, own);
                EXPECT_EQ(state, row.after) << "from " << row.before << " event " << event << " own " << own;
                EXPECT_EQ(action, row.action) << "from " << row.before << " event " << event << " own " << own;
                ++covered[row.before][event][own];
            }
        }
    }
    for (int s = 0; s < 3; ++s)
        for (int e = 0; e < 5; ++e)
            for (int o = 0; o < 2; ++o)
                EXPECT_EQ(covered[s][e][o], 1) << "state " << s << " event " << e << " own " << o;
}

// Any nonzero flag counts as "own window in front".
TEST(RunTransition, AnyNonzeroFlagMeansOwnWindowInFront)
{
    for (int32_t own : {2, -1, 0x7fffffff}) {
        RunState state = RUN_IDLE;
        EXPECT_EQ(run_transition(&state, EV_START_BUTTON, own), ACT_ARM) << own;
        EXPECT_EQ(state, RUN_ARMED) << own;
        EXPECT_EQ(run_transition(&state, EV_ARM_TICK, own), ACT_NONE) << own;
        EXPECT_EQ(state, RUN_ARMED) << own;
    }
}

// Values outside the enumerations (a corrupted state, an unknown event)
// neither move the state nor ask for an action.
TEST(RunTransition, UnknownStateOrEventChangesNothing)
{
    struct Case { uint32_t state; uint32_t event; };
    const Case cases[] = {{3, EV_START_BUTTON}, {0xffffffffu, EV_HOTKEY_F8}, {RUN_IDLE, 5},
                          {RUN_RUNNING, 0xffffffffu}, {RUN_ARMED, 99}};
    for (const Case &c : cases) {
        RunState state = static_cast<RunState>(c.state);
        for (int32_t own = 0; own <= 1; ++own) {
            EXPECT_EQ(run_transition(&state, static_cast<RunEvent>(c.event), own), ACT_NONE)
                << c.state << " " << c.event;
            EXPECT_EQ(static_cast<uint32_t>(state), c.state);
        }
    }
    EXPECT_EQ(run_transition(nullptr, EV_START_BUTTON, 0), ACT_NONE);
}

// An arming tick starts the run only once the switch is over: a window in
// front, not the program's own, and neither Alt nor a Windows key held.
TEST(RunTransition, ArmingStartsOnlyInAnotherWindowWithNoSwitchingKeyHeld)
{
    struct Case { int32_t front_exists, own_in_front, switch_key_held, may_start; };
    const Case cases[] = {
        {1, 0, 0, 1},
        {1, 0, 1, 0},  // Alt or a Windows key held: the task switcher or Start menu is in front
        {1, 1, 0, 0},  // the program's own window
        {1, 1, 1, 0},
        {0, 0, 0, 0},  // no foreground window while activation moves
        {0, 0, 1, 0},
        {2, 0, 0, 1},  // any nonzero value is a yes
        {1, 0, -1, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(arming_may_start(c.front_exists, c.own_in_front, c.switch_key_held), c.may_start)
            << c.front_exists << c.own_in_front << c.switch_key_held;
        // What the controller makes of it: the tick counts a switch under
        // way as the program's own window in front.
        RunState state = RUN_ARMED;
        const RunAction action = run_transition(&state, EV_ARM_TICK, !c.may_start);
        EXPECT_EQ(state, c.may_start ? RUN_RUNNING : RUN_ARMED);
        EXPECT_EQ(action, c.may_start ? ACT_START : ACT_NONE);
    }
}
