// The held-input latch record and its two operations. Portable; the one
// process-wide instance, held_input, is listed in common/shared_state.h and
// its lock, input_lock, in synthetic_input_win.h.
#pragma once
#include <stdint.h>
#include "input/input_catalogue.h"

struct HeldInput {
    uint32_t held;    // 1 while an input is latched
    InputSpec input;  // copy of the latched input; all zero when empty
};

// Latches input, replacing whatever was latched. Caller holds input_lock.
void latch_held_input(HeldInput *latch, const InputSpec *input);
// Empty latch: returns 0 and writes nothing. Otherwise copies the input into
// out (when out is not null), clears the latch and returns 1. Caller holds
// input_lock.
int32_t take_held_input(HeldInput *latch, InputSpec *out);
