#include "pacing/pacing_state.h"

std::atomic<int32_t> running{0};
std::atomic<int32_t> sent_count{0};
int64_t perf_frequency = 0;
InputSpec current_input = {};
