// Test windows for the Win32 tests: windows that log every key and mouse
// button message (and WM_WORKER_DONE) they receive, with a counter stamp,
// and helpers that bring one to the front and wait by pumping messages with
// a deadline. Header-only; each test program includes it once.
#pragma once
#include <windows.h>
#include <windowsx.h>
#include <stdint.h>
#include <vector>

#include "pacing/pacing_worker_win.h"

struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    int64_t stamp;  // performance counter when the window procedure ran
};

const LONG TEST_LOG_SIZE = 8192;
inline LoggedMessage test_log[TEST_LOG_SIZE];
inline volatile LONG test_log_count = 0;

// The key that marks the end of what was sent before it: input is delivered
// in order, so once its release has arrived everything sent earlier has too.
const WORD TEST_SENTINEL_VK = VK_F24;

inline int64_t test_counter(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

inline bool test_logged_kind(UINT message)
{
    switch (message) {
    case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYDOWN: case WM_SYSKEYUP:
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_RBUTTONDOWN: case WM_RBUTTONUP:
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_WORKER_DONE:
        return true;
    default:
        return false;
    }
}

inline LRESULT CALLBACK test_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (test_logged_kind(message)) {
        const LONG index = test_log_count;
        if (index < TEST_LOG_SIZE) {
            test_log[index] = LoggedMessage{window, message, wparam, lparam, test_counter()};
            test_log_count = index + 1;
        }
        // Swallowed: a lone Alt must not open a menu loop inside the test.
        return 0;
    }
    if (message == WM_MOUSEACTIVATE) return MA_NOACTIVATE;  // a click must not change the front
    return DefWindowProcA(window, message, wparam, lparam);
}

const char TEST_WINDOW_CLASS[] = "RivantaTestWindow";

// A visible top-level window at the given screen rectangle; owner may be
// NULL. Registers the class on first use.
inline HWND create_test_window(const char *title, int x, int y, int width, int height,
                               HWND owner = NULL)
{
    static ATOM registered = 0;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = test_window_proc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.hCursor = LoadCursor(NULL, IDC_ARROW);
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = TEST_WINDOW_CLASS;
        registered = RegisterClassA(&wc);
    }
    return CreateWindowExA(0, TEST_WINDOW_CLASS, title, WS_POPUP | WS_BORDER | WS_VISIBLE, x, y,
                           width, height, owner, NULL, GetModuleHandleA(NULL), NULL);
}

inline void test_pump(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps messages until done() holds or timeout_ms has passed; returns
// whether done() held. Waits for messages in between, never a fixed sleep.
template <typename Done>
inline bool pump_until(Done done, DWORD timeout_ms)
{
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        test_pump();
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        const DWORD left = (DWORD)(end - now);
        MsgWaitForMultipleObjectsEx(0, NULL, left < 5 ? left : 5, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// Pumps messages for duration_ms: an observation window for what must not
// happen while it runs.
inline void pump_for(DWORD duration_ms)
{
    pump_until([] { return false; }, duration_ms);
}

// Brings window to the front with the keyboard focus; true once it is the
// foreground window.
inline bool bring_to_front(HWND window)
{
    return pump_until(
        [window] {
            if (GetForegroundWindow() != window) {
                SetForegroundWindow(window);
                SetActiveWindow(window);
            }
            if (GetFocus() != window) SetFocus(window);
            return GetForegroundWindow() == window && GetFocus() == window;
        },
        5000);
}

// Puts the cursor in the middle of window (the test moves it; the program
// under test never does). True once the cursor has stayed there for 50 ms:
// under Wine a pointer motion still queued from an earlier move can put the
// cursor back where it was just after it moved.
inline bool cursor_to(HWND window, POINT *at = NULL)
{
    RECT r;
    GetWindowRect(window, &r);
    const POINT target = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    if (at) *at = target;
    ULONGLONG there_since = 0;
    return pump_until(
        [target, &there_since] {
            POINT p;
            if (!GetCursorPos(&p)) return false;
            if (p.x != target.x || p.y != target.y) {
                SetCursorPos(target.x, target.y);
                there_since = 0;
                return false;
            }
            if (there_since == 0) there_since = GetTickCount64();
            return GetTickCount64() - there_since >= 50;
        },
        5000);
}

inline bool is_sentinel(const LoggedMessage &m)
{
    return (m.message == WM_KEYDOWN || m.message == WM_KEYUP) && m.wparam == TEST_SENTINEL_VK;
}

// Sends a press and release of the sentinel key and waits until its release
// has arrived; true when it did within the deadline. Everything sent before
// has then been delivered.
inline bool flush_input(void)
{
    INPUT records[2] = {};
    records[0].type = INPUT_KEYBOARD;
    records[0].ki.wVk = TEST_SENTINEL_VK;
    records[1] = records[0];
    records[1].ki.dwFlags = KEYEVENTF_KEYUP;
    const LONG from = test_log_count;
    if (SendInput(2, records, sizeof(INPUT)) != 2) return false;
    return pump_until(
        [from] {
            for (LONG i = from; i < test_log_count; ++i)
                if (test_log[i].message == WM_KEYUP && test_log[i].wparam == TEST_SENTINEL_VK)
                    return true;
            return false;
        },
        5000);
}

inline void clear_test_log(void)
{
    test_log_count = 0;
}

// The logged messages so far, without the sentinel's.
inline std::vector<LoggedMessage> logged_messages(void)
{
    std::vector<LoggedMessage> out;
    for (LONG i = 0; i < test_log_count; ++i)
        if (!is_sentinel(test_log[i])) out.push_back(test_log[i]);
    return out;
}

// Key-down and key-up messages of one key that the test windows received.
struct KeyTally {
    int downs = 0;
    int ups = 0;
};

inline KeyTally tally_key(WPARAM vk)
{
    KeyTally tally;
    for (const LoggedMessage &m : logged_messages()) {
        if (m.wparam != vk) continue;
        if (m.message == WM_KEYDOWN) ++tally.downs;
        if (m.message == WM_KEYUP) ++tally.ups;
    }
    return tally;
}
