#include "input/held_input.h"

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
