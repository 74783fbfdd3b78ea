// winmm.dll's timer functions, bound at run time from the system folder.
#include "pacing/timer_resolution_win.h"

#include <windows.h>

namespace {

// timeBeginPeriod and timeEndPeriod have this shape (MMRESULT is a UINT).
typedef UINT(WINAPI *TimerPeriodFn)(UINT);

// Written once by load_timer_resolution before any worker exists; creating
// the worker thread orders the write before its reads.
TimerPeriodFn time_begin_period = NULL;
TimerPeriodFn time_end_period = NULL;

TimerPeriodFn find_timer_function(HMODULE library, const char *name)
{
    const FARPROC found = GetProcAddress(library, name);
    return reinterpret_cast<TimerPeriodFn>(reinterpret_cast<void (*)(void)>(found));
}

}  // namespace

int32_t load_timer_resolution(void)
{
    if (time_begin_period != NULL && time_end_period != NULL) return 1;
    // The system folder only: never the exe's own folder, the current
    // directory or PATH. The library stays loaded until the process ends.
    const HMODULE library = LoadLibraryExA("winmm.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library == NULL) return 0;
    const TimerPeriodFn begin = find_timer_function(library, "timeBeginPeriod");
    const TimerPeriodFn end = find_timer_function(library, "timeEndPeriod");
    // Both or neither: a raised resolution must always be lowered again.
    if (begin == NULL || end == NULL) return 0;
    time_begin_period = begin;
    time_end_period = end;
    return 1;
}

int32_t begin_timer_resolution(uint32_t ms)
{
    if (time_begin_period == NULL) return 0;
    time_begin_period(ms);
    return 1;
}

int32_t end_timer_resolution(uint32_t ms)
{
    if (time_end_period == NULL) return 0;
    time_end_period(ms);
    return 1;
}
