// A program's window as the screen shows it, saved as a PNG once it has
// finished painting: the end-to-end start-up screenshot and window_shot (the
// screenshot ./dev.sh run takes without a display).
#pragma once
#include <windows.h>
#include <stdint.h>

// What save_window_png did.
enum WindowShot : int32_t {
    WINDOW_SHOT_SAVED = 0,
    WINDOW_SHOT_NOT_SETTLED = 1,  // no two captures in a row agreed, or only one colour
    WINDOW_SHOT_NOT_WRITTEN = 2,  // out of memory, or the file could not be written
};

// Captures the screen rectangle of window every 50 ms until two captures in
// a row agree and show more than one colour (at most timeout_ms), then writes
// it to path as a PNG. The window's outer size goes to width and height.
WindowShot save_window_png(HWND window, const char *path, DWORD timeout_ms, int32_t *width,
                           int32_t *height);
