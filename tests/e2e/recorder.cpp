#include "recorder.h"
#include <stdio.h>
#include <string.h>

namespace {

const char RECORDER_CLASS[] = "RivantaTestRecorder";
const DWORD RECORDER_START_WAIT_MS = 5000;
const DWORD RECORDER_END_WAIT_MS = 5000;

// 1 for the key and mouse-button messages the recorder stamps.
int32_t is_recorded_message(UINT message)
{
    switch (message) {
    case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYDOWN: case WM_SYSKEYUP:
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_RBUTTONDOWN: case WM_RBUTTONUP:
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_XBUTTONDOWN: case WM_XBUTTONUP:
        return 1;
    default:
        return 0;
    }
}

// Stamps first, so that the time is as close to receipt as the queue allows.
void store_event(Recorder *rec, UINT message, WPARAM wparam, LPARAM lparam)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t index = rec->count.load(std::memory_order_relaxed);
    // Acquire: the reader is done with a released event before its room is
    // written again.
    if (index - rec->released.load(std::memory_order_acquire) >= (uint32_t)RECORDER_CAPACITY) {
        rec->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    RecordedEvent *event = &rec->events[index % RECORDER_CAPACITY];
    event->qpc = now.QuadPart;
    event->message = message;
    event->wparam = (uint32_t)wparam;
    event->lparam = (uint32_t)lparam;
    event->time = (uint32_t)GetMessageTime();
    rec->count.store(index + 1, std::memory_order_release);
}

// The recorder window's procedure: stamps, then behaves as a plain window;
// closing it ends its thread's message loop.
LRESULT CALLBACK recorder_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA *create = (const CREATESTRUCTA *)lparam;
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)create->lpCreateParams);
    }
    Recorder *rec = (Recorder *)GetWindowLongPtrA(window, GWLP_USERDATA);
    if (rec && is_recorded_message(message)) {
        store_event(rec, message, wparam, lparam);
        // Key messages are swallowed: an Alt press passed on would open the
        // system menu's modal loop and stop the recording.
        if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
            message == WM_SYSKEYUP)
            return 0;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

// The recorder thread: makes the window, signals `ready`, and runs the
// window's message loop until the window is destroyed.
DWORD WINAPI recorder_thread_main(void *argument)
{
    Recorder *rec = (Recorder *)argument;
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = recorder_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = RECORDER_CLASS;
    RegisterClassA(&wc);  // fails harmlessly when a previous recorder registered it

    rec->window = CreateWindowExA(0, RECORDER_CLASS, rec->title,
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, rec->x,
                                  rec->y, rec->width, rec->height, NULL, NULL, instance, rec);
    SetEvent(rec->ready);
    if (!rec->window) return 1;

    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

int32_t event_matches(const RecordedEvent *event, uint32_t message, uint32_t wparam)
{
    return event->message == message && (wparam == RECORDER_ANY || event->wparam == wparam);
}

}  // namespace

int32_t recorder_open(Recorder *rec, const char *title, int32_t x, int32_t y, int32_t width,
                      int32_t height)
{
    rec->window = NULL;
    rec->thread = NULL;
    rec->thread_id = 0;
    rec->x = x;
    rec->y = y;
    rec->width = width;
    rec->height = height;
    snprintf(rec->title, sizeof rec->title, "%s", title);
    rec->count.store(0, std::memory_order_relaxed);
    rec->released.store(0, std::memory_order_relaxed);
    rec->dropped.store(0, std::memory_order_relaxed);
    rec->ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!rec->ready) return 0;
    rec->thread = CreateThread(NULL, 0, recorder_thread_main, rec, 0, &rec->thread_id);
    if (!rec->thread || WaitForSingleObject(rec->ready, RECORDER_START_WAIT_MS) != WAIT_OBJECT_0 ||
        !rec->window) {
        recorder_close(rec);
        return 0;
    }
    return 1;
}

void recorder_close(Recorder *rec)
{
    if (rec->thread) {
        if (rec->window) PostMessageA(rec->window, WM_CLOSE, 0, 0);
        else PostThreadMessageA(rec->thread_id, WM_QUIT, 0, 0);
        if (WaitForSingleObject(rec->thread, RECORDER_END_WAIT_MS) != WAIT_OBJECT_0)
            fprintf(stderr, "recorder: window thread did not end within %lu ms\n",
                    (unsigned long)RECORDER_END_WAIT_MS);
        CloseHandle(rec->thread);
        rec->thread = NULL;
    }
    if (rec->ready) {
        CloseHandle(rec->ready);
        rec->ready = NULL;
    }
    rec->window = NULL;
}

uint32_t recorder_count(const Recorder *rec)
{
    return rec->count.load(std::memory_order_acquire);
}

RecordedEvent recorder_event(const Recorder *rec, uint32_t i)
{
    return rec->events[i % RECORDER_CAPACITY];
}

void recorder_release(Recorder *rec, uint32_t upto)
{
    const uint32_t end = recorder_count(rec);
    if (upto > end) upto = end;
    if (upto > rec->released.load(std::memory_order_relaxed))
        rec->released.store(upto, std::memory_order_release);
}

uint32_t recorder_collect(const Recorder *rec, uint32_t from, uint32_t message, uint32_t wparam,
                          int64_t *stamps, uint32_t max)
{
    uint32_t end = recorder_count(rec);
    uint32_t matched = 0;
    for (uint32_t i = from; i < end; ++i) {
        const RecordedEvent *event = &rec->events[i % RECORDER_CAPACITY];
        if (!event_matches(event, message, wparam)) continue;
        if (matched < max) stamps[matched] = event->qpc;
        ++matched;
    }
    return matched;
}

int32_t recorder_last(const Recorder *rec, uint32_t from, uint32_t message, uint32_t wparam)
{
    uint32_t end = recorder_count(rec);
    for (uint32_t i = end; i > from; --i)
        if (event_matches(&rec->events[(i - 1) % RECORDER_CAPACITY], message, wparam))
            return (int32_t)(i - 1);
    return -1;
}

double recorder_ms(int64_t ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)ticks * 1000.0 / (double)frequency.QuadPart;
}

int64_t recorder_now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
