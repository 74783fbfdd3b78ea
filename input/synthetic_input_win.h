// Win32: the only sender of synthetic input, the process-wide latch with its
// lock, and the release path shared by every stop.
#pragma once
#include <windows.h>
#include "input/held_input.h"

// Initialised by app_main before the window exists and never deleted; guards
// held_input (common/shared_state.h) and nothing else.
extern CRITICAL_SECTION input_lock;

// Sends one press or one release of input through SendInput (one record per
// call). Returns what SendInput returned, or 0 when nothing was sent. Takes
// no lock.
uint32_t send_input_edge(const InputSpec &input, InputEdge edge);
// Takes the latch under input_lock and, if something was held, sends its
// release outside the lock.
void release_held_input(void);
