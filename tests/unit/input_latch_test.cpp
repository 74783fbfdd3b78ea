#include <gtest/gtest.h>
#include "input/held_input.h"

namespace {

const InputSpec SPACE = {"Keyboard: Space", KIND_KEYBOARD, 0x20, 0, BUTTON_NONE};
const InputSpec RIGHT_CLICK = {"Mouse: Right click (at cursor position)", KIND_MOUSE, 0, 0,
                               BUTTON_RIGHT};

bool same_input(const InputSpec &a, const InputSpec &b)
{
    return a.name == b.name && a.kind == b.kind && a.vk == b.vk && a.extended == b.extended &&
           a.button == b.button;
}

bool all_zero(const HeldInput &latch)
{
    static const HeldInput zero = {};
    return latch.held == 0 && same_input(latch.input, zero.input);
}

}  // namespace

TEST(HeldInputLatch, TakeFromEmptyLatchWritesNothing)
{
    HeldInput latch = {};
    InputSpec out = RIGHT_CLICK;  // a caller's value that must survive
    EXPECT_EQ(take_held_input(&latch, &out), 0);
    EXPECT_TRUE(same_input(out, RIGHT_CLICK));
    EXPECT_EQ(take_held_input(&latch, nullptr), 0);
    EXPECT_TRUE(all_zero(latch));
}

TEST(HeldInputLatch, LatchThenTakeHandsOverOnceAndEmpties)
{
    // Taking with and without an output: the first take returns the input
    // once and leaves the latch all zero; the next take finds it empty.
    for (int with_output = 0; with_output <= 1; ++with_output) {
        HeldInput latch = {};
        latch_held_input(&latch, &SPACE);
        EXPECT_EQ(latch.held, 1u);
        EXPECT_TRUE(same_input(latch.input, SPACE));

        InputSpec out = {};
        EXPECT_EQ(take_held_input(&latch, with_output ? &out : nullptr), 1);
        if (with_output) {
            EXPECT_TRUE(same_input(out, SPACE));
        }
        EXPECT_TRUE(all_zero(latch)) << "with_output " << with_output;

        InputSpec again = RIGHT_CLICK;
        EXPECT_EQ(take_held_input(&latch, &again), 0);
        EXPECT_TRUE(same_input(again, RIGHT_CLICK)) << "second take must not write";
    }
}

TEST(HeldInputLatch, LatchOnFullLatchReplaces)
{
    HeldInput latch = {};
    latch_held_input(&latch, &SPACE);
    latch_held_input(&latch, &RIGHT_CLICK);
    InputSpec out = {};
    EXPECT_EQ(take_held_input(&latch, &out), 1);
    EXPECT_TRUE(same_input(out, RIGHT_CLICK));
    EXPECT_EQ(take_held_input(&latch, &out), 0) << "one take per latch, however often latched";
}

TEST(HeldInputLatch, LatchKeepsItsOwnCopy)
{
    InputSpec source = SPACE;
    HeldInput latch = {};
    latch_held_input(&latch, &source);
    source.vk = 0x41;
    source.extended = 1;
    InputSpec out = {};
    ASSERT_EQ(take_held_input(&latch, &out), 1);
    EXPECT_TRUE(same_input(out, SPACE)) << "the latch must not follow later changes of its source";
}
