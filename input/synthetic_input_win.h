// Win32: the only sender of synthetic input, the process-wide latch with its
// lock, and the release path shared by every stop.
#pragma once
#include <windows.h>
#include "input/held_input.h"

// Initialised by app_main before the window exists and never deleted; guards
// held_input (common/shared_state.h) and nothing else.
extern CRITICAL_SECTION input_lock;

// The system call through which send_input_edge sends: SendInput. Only
// tests replace it (while no worker exists), to play a system that refuses
// input, which Wine never does, or to see the records the program sends.
typedef UINT(WINAPI *SendInputCall)(UINT count, LPINPUT inputs, int size);
extern SendInputCall system_send_input;

// Sends one press or one release of input through system_send_input (one
// record per call). Returns the number of events the system inserted (1, or
// 0 when it refused), or 0 when nothing was sent. Takes no lock.
uint32_t send_input_edge(const InputSpec &input, InputEdge edge);
// Takes the latch under input_lock and, if something was held, sends its
// release outside the lock.
void release_held_input(void);
