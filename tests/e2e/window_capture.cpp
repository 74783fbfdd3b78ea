#include "window_capture.h"

#include <stdlib.h>
#include <string.h>
#include "png_writer.h"

namespace {

const DWORD CAPTURE_INTERVAL_MS = 50;

// Copies the screen rectangle of a window into rgb (3 bytes a pixel, rows top
// down). Returns 1 on success.
int32_t capture_window(HWND window, uint8_t *rgb, int32_t width, int32_t height)
{
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    int32_t ok = 0;
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
        int32_t stride = (width * 3 + 3) & ~3;
        for (int32_t y = 0; ok && y < height; ++y) {
            const uint8_t *src = (const uint8_t *)bits + (size_t)y * stride;
            uint8_t *dest = rgb + (size_t)y * width * 3;
            for (int32_t x = 0; x < width; ++x) {  // BGR to RGB
                dest[x * 3] = src[x * 3 + 2];
                dest[x * 3 + 1] = src[x * 3 + 1];
                dest[x * 3 + 2] = src[x * 3];
            }
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}

}  // namespace

WindowShot save_window_png(HWND window, const char *path, DWORD timeout_ms, int32_t *width,
                           int32_t *height)
{
    RECT r;
    GetWindowRect(window, &r);
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    if (*width <= 0 || *height <= 0) return WINDOW_SHOT_NOT_SETTLED;
    const size_t size = (size_t)*width * *height * 3;
    uint8_t *a = (uint8_t *)malloc(size);
    uint8_t *b = (uint8_t *)malloc(size);
    int32_t stable = 0;
    const DWORD start = GetTickCount();
    if (a && b && capture_window(window, a, *width, *height)) {
        while (!stable && GetTickCount() - start < timeout_ms) {
            Sleep(CAPTURE_INTERVAL_MS);
            if (!capture_window(window, b, *width, *height)) break;
            stable = memcmp(a, b, size) == 0;
            memcpy(a, b, size);
        }
    }
    int32_t varied = 0;
    for (size_t i = 3; stable && i < size && !varied; ++i) varied = a[i] != a[i % 3];
    WindowShot result = WINDOW_SHOT_NOT_SETTLED;
    if (!a || !b) result = WINDOW_SHOT_NOT_WRITTEN;
    else if (stable && varied)
        result = png_write_rgb(path, a, *width, *height) ? WINDOW_SHOT_SAVED : WINDOW_SHOT_NOT_WRITTEN;
    free(a);
    free(b);
    return result;
}
