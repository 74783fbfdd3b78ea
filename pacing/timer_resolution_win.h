// Win32 only. The finer system timer that the worker asks for while it runs
// (timeBeginPeriod and timeEndPeriod of winmm.dll). winmm.dll is not one of
// the DLLs that Windows always takes from the system folder, so it is not
// imported: it is loaded at run time from the system folder only, and a
// winmm.dll lying beside the exe (in the Downloads folder it was unzipped
// into) is never loaded.
#pragma once
#include <stdint.h>

// Loads winmm.dll from the system folder and looks up its two functions.
// Called once at start-up, before any worker exists. 1 when both were found;
// 0 otherwise, and the worker then runs at the system's timer resolution.
int32_t load_timer_resolution(void);
// timeBeginPeriod(ms), when load_timer_resolution found it. 1 when the call
// was made (its result is ignored), 0 when the function is not available.
int32_t begin_timer_resolution(uint32_t ms);
// timeEndPeriod(ms), the same way.
int32_t end_timer_resolution(uint32_t ms);
