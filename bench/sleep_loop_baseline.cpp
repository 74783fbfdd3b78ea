// The plain repeat loop that most key repeaters use, measured beside
// rivanta.exe by the pacing benchmark: press, Sleep(hold), release,
// Sleep(period - hold), with the timer resolution raised to 1 ms, until the
// stop event is set. Sleep counts whole milliseconds, so the schedule's
// microseconds are rounded to them, as such a loop would write them.
//
//   sleep_loop_baseline <period_us> <hold_us> <name of the stop event>
//
// Sends Space, by SendInput, to whatever window is in front. The exit code is
// the number of press/release pairs sent (so that the benchmark needs no
// pipe); a usage error exits with -1.
#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// One edge of Space, with its scan code, into the window in front.
void space_edge(int up)
{
    INPUT input;
    memset(&input, 0, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_SPACE;
    input.ki.wScan = (WORD)MapVirtualKeyA(VK_SPACE, MAPVK_VK_TO_VSC);
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: sleep_loop_baseline <period_us> <hold_us> <stop event name>\n");
        return -1;
    }
    long period_us = strtol(argv[1], NULL, 10);
    long hold_us = strtol(argv[2], NULL, 10);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (period_us < 1000 || hold_us < 1000 || hold_us > period_us || !stop) {
        fprintf(stderr, "sleep_loop_baseline: bad period, hold or event name\n");
        return -1;
    }
    DWORD period_ms = (DWORD)((period_us + 500) / 1000);
    DWORD hold_ms = (DWORD)((hold_us + 500) / 1000);
    if (hold_ms > period_ms) hold_ms = period_ms;

    timeBeginPeriod(1);
    int sent = 0;
    while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        space_edge(0);
        Sleep(hold_ms);
        space_edge(1);
        ++sent;
        Sleep(period_ms - hold_ms);
    }
    timeEndPeriod(1);
    CloseHandle(stop);
    return sent;
}
