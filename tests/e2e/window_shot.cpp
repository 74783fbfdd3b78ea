// Saves a PNG of a program's window once it is shown and has finished
// painting: ./dev.sh run takes it when there is no display to look at, so
// that a newcomer on a headless machine sees that the program ran and what
// it looks like.
//
//   window_shot <window class> <png path> [<seconds to wait for the window>]
//
// Exit code 0 once the picture is saved (its path and size are printed), 1
// when the window did not come or could not be captured, 2 for bad arguments.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "e2e_session.h"
#include "window_capture.h"

namespace {

const DWORD DEFAULT_WAIT_S = 60;
const DWORD MAX_WAIT_S = 3600;
const DWORD PAINT_WAIT_MS = 5000;

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: window_shot <window class> <png path> [<seconds to wait>]\n");
        return 2;
    }
    DWORD wait_s = DEFAULT_WAIT_S;
    if (argc == 4) {
        char *end = NULL;
        const unsigned long given = strtoul(argv[3], &end, 10);
        if (end == argv[3] || *end != '\0' || given == 0 || given > MAX_WAIT_S) {
            fprintf(stderr, "window_shot: the wait must be 1 to %lu seconds\n", (unsigned long)MAX_WAIT_S);
            return 2;
        }
        wait_s = (DWORD)given;
    }
    char path[MAX_PATH];
    to_windows_path(argv[2], path, sizeof path);

    const DWORD start = GetTickCount();
    HWND window = NULL;
    while (!window && !deadline_passed(start, wait_s * 1000)) {
        window = find_windows(0, argv[1]).found;
        if (!window) Sleep(E2E_POLL_MS);
    }
    if (!window) {
        fprintf(stderr, "window_shot: no visible window of class \"%s\" within %lu s\n", argv[1],
                (unsigned long)wait_s);
        return 1;
    }
    int32_t width = 0, height = 0;
    switch (save_window_png(window, path, PAINT_WAIT_MS, &width, &height)) {
    case WINDOW_SHOT_SAVED:
        printf("%s (%d x %d)\n", path, width, height);
        return 0;
    case WINDOW_SHOT_NOT_SETTLED:
        fprintf(stderr, "window_shot: the window did not finish painting within %lu ms\n",
                (unsigned long)PAINT_WAIT_MS);
        return 1;
    default:
        fprintf(stderr, "window_shot: could not write %s\n", path);
        return 1;
    }
}
