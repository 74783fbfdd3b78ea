// The state the pacing worker shares with the window thread; who writes and
// who reads each is listed in common/shared_state.h.
#include "common/shared_state.h"

#include "input/input_catalogue.h"

std::atomic<int32_t> running{0};
std::atomic<int32_t> sent_count{0};
std::atomic<int32_t> input_refused{0};
int64_t perf_frequency = 0;
InputSpec current_input = {};
