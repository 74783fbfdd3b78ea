// A stand-in for a winmm.dll that someone left in the Downloads folder: as
// soon as a process loads it, it writes PLANTED_MARKER_NAME beside itself,
// naming that process's exe. It exports the two functions rivanta.exe once
// imported from winmm.dll (planted_winmm.def), so that a program importing
// them loads it and runs as before: a real attack would be no less quiet.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "planted_winmm.h"

namespace {

void leave_marker(HINSTANCE module)
{
    char marker[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, marker, sizeof marker);
    if (length == 0 || length >= sizeof marker) return;
    char *name = strrchr(marker, '\\');
    if (name == NULL) return;
    const size_t room = sizeof marker - (size_t)(name + 1 - marker);
    if (snprintf(name + 1, room, "%s", PLANTED_MARKER_NAME) >= (int)room) return;

    char host[MAX_PATH] = "";
    GetModuleFileNameA(NULL, host, sizeof host);
    const HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, host, (DWORD)strlen(host), &written, NULL);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) leave_marker(module);
    return TRUE;
}

// Exported as timeBeginPeriod and timeEndPeriod; both succeed (TIMERR_NOERROR).
extern "C" UINT WINAPI planted_time_begin_period(UINT ms)
{
    (void)ms;
    return 0;
}

extern "C" UINT WINAPI planted_time_end_period(UINT ms)
{
    (void)ms;
    return 0;
}
