#include "input/held_input.h"

#include "common/shared_state.h"

HeldInput held_input = {};

void latch_held_input(HeldInput *latch, const InputSpec *input)
{
    latch->input = *input;
    latch->held = 1;
}

int32_t take_held_input(HeldInput *latch, InputSpec *out)
{
    if (!latch->held) return 0;
    if (out) *out = latch->input;
    *latch = HeldInput{};
    return 1;
}
