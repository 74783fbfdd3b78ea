#include "recorder.h"
#include <stdio.h>
#include <string.h>

namespace {

const char RECORDER_CLASS[] = "RivantaTestRecorder";
const DWORD RECORDER_START_WAIT_MS = 5000;
const DWORD RECORDER_END_WAIT_MS = 5000;
// Asks the recorder's thread to install the input hooks: low-level hooks
// are called on the thread that installed them, which must pump messages.
const UINT WM_RECORDER_TAP = WM_APP + 40;

// The recorder whose thread holds the hooks; hook procedures have no context.
Recorder *tapping_recorder = NULL;
HHOOK keyboard_hook = NULL;
HHOOK mouse_hook = NULL;

void store_tap(uint32_t message, uint32_t vk, uint32_t injected, uintptr_t extra)
{
    Recorder *rec = tapping_recorder;
    if (!rec) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const uint32_t index = rec->tap_count.load(std::memory_order_relaxed);
    if (index >= RECORDER_CAPACITY) return;
    rec->taps[index] = TappedEvent{now.QuadPart, message, vk, injected, extra};
    rec->tap_count.store(index + 1, std::memory_order_release);
}

LRESULT CALLBACK keyboard_tap(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HC_ACTION) {
        const KBDLLHOOKSTRUCT *key = (const KBDLLHOOKSTRUCT *)lparam;
        store_tap((uint32_t)wparam, key->vkCode, (key->flags & LLKHF_INJECTED) ? 1 : 0,
                  key->dwExtraInfo);
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

LRESULT CALLBACK mouse_tap(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HC_ACTION && wparam != WM_MOUSEMOVE) {
        const MSLLHOOKSTRUCT *mouse = (const MSLLHOOKSTRUCT *)lparam;
        store_tap((uint32_t)wparam, 0, (mouse->flags & LLMHF_INJECTED) ? 1 : 0,
                  mouse->dwExtraInfo);
    }
    return CallNextHookEx(NULL, code, wparam, lparam);
}

void install_taps(Recorder *rec)
{
    tapping_recorder = rec;
    const HINSTANCE instance = GetModuleHandleA(NULL);
    keyboard_hook = SetWindowsHookExA(WH_KEYBOARD_LL, keyboard_tap, instance, 0);
    mouse_hook = SetWindowsHookExA(WH_MOUSE_LL, mouse_tap, instance, 0);
    rec->tapping = keyboard_hook && mouse_hook;
    SetEvent(rec->tap_ready);
}

void remove_taps(void)
{
    if (keyboard_hook) UnhookWindowsHookEx(keyboard_hook);
    if (mouse_hook) UnhookWindowsHookEx(mouse_hook);
    keyboard_hook = mouse_hook = NULL;
    if (tapping_recorder) tapping_recorder->tapping = 0;
    tapping_recorder = NULL;
}

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
    if (message == WM_RECORDER_TAP && rec) {
        install_taps(rec);
        return 0;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        if (rec && rec == tapping_recorder) remove_taps();
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
    rec->tap_ready = NULL;
    rec->tapping = 0;
    rec->tap_count.store(0, std::memory_order_relaxed);
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
    if (rec->tap_ready) {
        CloseHandle(rec->tap_ready);
        rec->tap_ready = NULL;
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

int64_t recorder_frequency(void)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

double recorder_ms(int64_t ticks)
{
    return (double)ticks * 1000.0 / (double)recorder_frequency();
}

double recorder_us(int64_t ticks)
{
    return (double)ticks * 1e6 / (double)recorder_frequency();
}

int64_t recorder_now(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int32_t recorder_tap_input(Recorder *rec)
{
    if (!rec->window) return 0;
    if (rec->tapping) return 1;
    if (!rec->tap_ready) rec->tap_ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!rec->tap_ready) return 0;
    PostMessageA(rec->window, WM_RECORDER_TAP, 0, 0);
    if (WaitForSingleObject(rec->tap_ready, RECORDER_START_WAIT_MS) != WAIT_OBJECT_0) return 0;
    return rec->tapping;
}

uint32_t recorder_tap_count(const Recorder *rec)
{
    return rec->tap_count.load(std::memory_order_acquire);
}

TappedEvent recorder_tap(const Recorder *rec, uint32_t i)
{
    return rec->taps[i];
}
