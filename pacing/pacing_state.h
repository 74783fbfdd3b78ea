// State shared by the window thread and the pacing worker. Portable.
#pragma once
#include <atomic>
#include <stdint.h>
#include "input/input_catalogue.h"

// 1 while a run is in progress. Written by the run controller only (atomic
// exchange to 1 before the worker is created, to 0 to stop it); the worker
// only loads it.
extern std::atomic<int32_t> running;
// Completed press/release pairs of the current run. The worker adds 1 per
// pair whose press and release the system both took, and stops adding at
// INT32_MAX; the controller resets it to 0 only while no worker exists.
extern std::atomic<int32_t> sent_count;
// Performance-counter ticks per second, written once at start-up.
extern int64_t perf_frequency;
// The input being sent: copied from the catalogue by the run controller while
// no worker exists; read by the worker at every use. All zero until then.
extern InputSpec current_input;
