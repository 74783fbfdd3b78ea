// Test recorder: a plain top-level window, on a thread of its own with its own
// message loop, that stamps every key and mouse-button message it receives with
// the performance counter into a fixed array. Used by the end-to-end driver and
// the pacing benchmark as "the application in front".
//
// On request it also taps the input itself, with low-level keyboard and mouse
// hooks: every key and button edge as it enters the system, in the order it
// was sent, whichever window it is then delivered to. That tells what a
// program sent from what a window received, which the system's routing (a
// change of the front window, or Wine's resynchronisation of its key state
// with the X server) can change.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <atomic>

const int32_t RECORDER_CAPACITY = 65536;

// One received message, stamped when the window procedure got it.
struct RecordedEvent {
    int64_t qpc;       // QueryPerformanceCounter at receipt
    uint32_t message;  // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_[LRMX]BUTTON{DOWN,UP}
    uint32_t wparam;   // virtual-key code (keys) or MK_* flags (mouse)
    uint32_t lparam;   // repeat count, scan code and flags (keys) or client position (mouse)
    uint32_t time;     // the message's own time stamp (GetMessageTime), in ms
};

// One key or button edge seen by the input tap.
struct TappedEvent {
    int64_t qpc;        // QueryPerformanceCounter when the hook saw it
    uint32_t message;   // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP, WM_[LR]BUTTON{DOWN,UP}
    uint32_t vk;        // virtual-key code; 0 for the mouse
    uint32_t injected;  // 1 when a program sent it with SendInput
    uintptr_t extra;    // the sender's dwExtraInfo
};

// The recorder's record. Large (the event array is inside): give it static
// storage or allocate it once. The window thread is the only writer of
// events[] and count; other threads read count (acquire) and then only the
// events below it. Event i is kept in events[i % RECORDER_CAPACITY]: a reader
// that has finished with the events below some index hands their room back
// with recorder_release, so that a long recording can be drained as it goes;
// without that the recorder holds the first RECORDER_CAPACITY events and
// drops the rest.
struct Recorder {
    HWND window;
    HANDLE thread;
    DWORD thread_id;
    HANDLE ready;                  // set once the window exists (or could not be made)
    int32_t x, y, width, height;   // outer rectangle asked for, screen coordinates
    char title[64];
    std::atomic<uint32_t> count;   // events stored so far
    std::atomic<uint32_t> released; // events below this index may be overwritten
    std::atomic<uint32_t> dropped; // events that found the array full
    RecordedEvent events[RECORDER_CAPACITY];
    HANDLE tap_ready;              // set once the hooks are installed (or could not be)
    int32_t tapping;               // 1 while both hooks are installed
    std::atomic<uint32_t> tap_count;
    TappedEvent taps[RECORDER_CAPACITY];
};

// Starts the recorder thread and shows its window at the given screen
// rectangle. Returns 1 once the window exists, 0 if it could not be made within
// a few seconds (the record is then closed again).
int32_t recorder_open(Recorder *rec, const char *title, int32_t x, int32_t y, int32_t width,
                      int32_t height);
// Destroys the window and ends the thread, waiting a few seconds at most.
// Safe on a record that was never opened or is already closed.
void recorder_close(Recorder *rec);

// Starts tapping the input (see the top of this header). Returns 1 once both
// hooks are installed. At most one recorder of a process taps.
int32_t recorder_tap_input(Recorder *rec);
// Number of tapped edges so far, and a copy of edge i (i below the count).
uint32_t recorder_tap_count(const Recorder *rec);
TappedEvent recorder_tap(const Recorder *rec, uint32_t i);

// Number of events stored so far; events [released, result) may be read.
uint32_t recorder_count(const Recorder *rec);
// A copy of stored event i (not released, and below recorder_count).
RecordedEvent recorder_event(const Recorder *rec, uint32_t i);
// Hands back the room of every event below index upto (at most
// recorder_count), which must not be read again. Only the one reader that
// drains the recording calls it; the recorder can then hold
// RECORDER_CAPACITY events beyond upto.
void recorder_release(Recorder *rec, uint32_t upto);

// Events stored at index >= from whose message is `message` and, unless
// wparam is RECORDER_ANY, whose wparam equals it. Writes up to max stamps
// (may be null with max 0) and returns how many matched in all.
const uint32_t RECORDER_ANY = 0xFFFFFFFFu;
uint32_t recorder_collect(const Recorder *rec, uint32_t from, uint32_t message, uint32_t wparam,
                          int64_t *stamps, uint32_t max);
// Index of the last event at or after `from` matching message/wparam as in
// recorder_collect, or -1 when there is none.
int32_t recorder_last(const Recorder *rec, uint32_t from, uint32_t message, uint32_t wparam);

// Performance-counter ticks per second.
int64_t recorder_frequency(void);
// Performance-counter ticks converted to milliseconds, and to microseconds.
double recorder_ms(int64_t ticks);
double recorder_us(int64_t ticks);
// The performance counter now.
int64_t recorder_now(void);
