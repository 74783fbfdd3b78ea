// Driving the real rivanta.exe as a user would, for the end-to-end scenarios
// and the pacing benchmark: start the program in a job, find its controls by
// id, read and set their texts, click, press keys with SendInput, bring
// windows to the front, wait for the program's texts and for the recorder's
// events (recorder.h), and read the running and stop status lines. Every wait
// polls with a deadline; a failed check is printed and counted in the session.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "recorder.h"

// winuser.h names a cursor IDC_HELP; here the name is the help text's id.
#undef IDC_HELP

// The program's control ids, as the user-visible contract gives them.
const int32_t IDC_INPUT_COMBO = 101;
const int32_t IDC_CPS_EDIT = 102;
const int32_t IDC_START = 103;
const int32_t IDC_STATUS = 104;
const int32_t IDC_PLAN = 105;
const int32_t IDC_HELP = 106;
const int32_t IDC_MODE_CPS = 107;
const int32_t IDC_MODE_INTERVAL = 108;
const int32_t IDC_COUNT_EDIT = 109;
const int32_t IDC_MS_EDIT = 110;
const int32_t IDC_FASTEST = 111;
const int32_t IDC_LABEL = -1;

const int32_t E2E_POLL_MS = 10;
const int32_t E2E_REACTION_MS = 3000; // longest wait for the program to react to one action
const int32_t E2E_LAUNCH_MS = 15000; // longest wait for the window of a new process
const int32_t E2E_EXIT_MS = 5000; // longest wait for the process to end after WM_CLOSE
const int32_t E2E_ARM_START_LIMIT_MS = 600; // armed run must start within a few 100 ms ticks
const int32_t E2E_CURSOR_SETTLE_MS = 150; // age of a cursor move after which Wine asks X where it is
const int32_t E2E_TEXT_SIZE = 2048;
const int32_t E2E_MAX_STAMPS = 4096;
const int32_t E2E_MARKER_VK = VK_F13; // a key the program never sends: marks the end of a recording
// The dwExtraInfo of every edge this driver sends, so that an input tap can
// tell the driver's keys and clicks from the program's (which carry 0).
const ULONG_PTR E2E_DRIVER_EXTRA = 0x52564E54;
const int32_t E2E_FOCUS_NONE = 0; // focus_id: the program's thread holds no focus
const int32_t E2E_FOCUS_MAIN_WINDOW = -2; // focus_id: the main window itself holds it

#if defined(__GNUC__)
#define E2E_PRINTF_LIKE(format_index) __attribute__((format(printf, format_index, format_index + 1)))
#else
#define E2E_PRINTF_LIKE(format_index)
#endif

// The program's window class, the hotkey hint that ends its status texts (both
// hotkeys registered, as in the test desktop) and the suffixes of a paused
// running line.
extern const char RIVANTA_CLASS[];
extern const char HINT[];
extern const char PAUSED_ACTIVE[];
extern const char PAUSED_CURSOR[];

// One scenario's run: the program under test, the recorder and the verdict.
struct Session {
    const char *scenario;
    char exe[MAX_PATH];
    char out_dir[MAX_PATH];
    HANDLE job;                  // kills whatever the driver started if the driver dies
    PROCESS_INFORMATION process; // the rivanta.exe under test; handles null once closed
    HWND main;
    DWORD main_thread;
    Recorder *rec;
    int32_t failures;
    int32_t launch_retries;      // launches that failed once and were tried again
};

// ---- a session's life -----------------------------------------------------------

// Fills the session (name, paths as given on the command line, the recorder to
// use, which is not opened yet), makes the job and starts rivanta.exe. Returns
// 1 once the program's window is shown; failures are counted either way.
int32_t session_begin(Session *s, const char *name, Recorder *rec, const char *exe_path,
                      const char *out_dir);
// Closes the program (checking exit code 0), the recorder and the job.
void session_end(Session *s);

// ---- reporting --------------------------------------------------------------------

// Records a failed check, described by the printf-style message, when cond is
// 0; returns cond.
E2E_PRINTF_LIKE(3) int32_t expect(Session *s, int32_t cond, const char *format, ...);
// Records a failed check unless got equals want; returns 1 when it does.
int32_t expect_text(Session *s, const char *what, const char *got, const char *want);
// Prints one line of information (a figure, a platform trait), not a verdict.
E2E_PRINTF_LIKE(1) void note(const char *format, ...);

// ---- reading and driving the program's window -------------------------------------

// The program's control with the given id (null if there is none).
HWND control(const Session *s, int32_t id);
// The text of a control of another process (WM_GETTEXT); empty when it does not answer.
void read_text(HWND window, char *buffer, int32_t size);
// Sets a box's text as typing would end up: the edit raises EN_CHANGE.
void set_text(HWND window, const char *text);
// Sends a message to a window of the program and returns its answer, or -1
// when the program did not answer in time.
LRESULT send_to(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// A button click by BM_CLICK (a press and release of the left button, then
// BN_CLICKED, as a user's click); returns once the program has handled it.
void click(HWND button);
// 1 when the button reports BST_CHECKED.
int32_t is_checked(HWND button);
// The window holding the keyboard focus in the program's window thread; null
// while the program is not the active application.
HWND thread_focus(const Session *s);
// The window that owns the caret in the program's window thread, or null.
HWND thread_caret(const Session *s);
// The id of the control holding the focus in the program, E2E_FOCUS_NONE or
// E2E_FOCUS_MAIN_WINDOW.
int32_t focus_id(const Session *s);

// ---- keyboard and mouse -------------------------------------------------------------

// One key press (up 0) or release (up 1) into the foreground application.
void key_edge(WORD vk, int32_t up);
// A key pressed and released.
void press_key(WORD vk);
// Shift+Tab: Shift held around a Tab press.
void press_shift_tab(void);
// A control's rectangle in the main window's client coordinates.
RECT client_rect_of(const Session *s, HWND child);
// The centre of a window, in screen coordinates.
POINT screen_center_of(HWND window);
// Puts the cursor on a screen point and returns 1 once every reader agrees it
// is there (records a failure and returns 0 when it does not stay).
int32_t move_cursor(Session *s, int32_t x, int32_t y);
// Moves the cursor to the screen point and clicks the left button there.
void left_click_at(Session *s, int32_t x, int32_t y);

// ---- waiting ------------------------------------------------------------------------

// 1 once timeout_ms have passed since the tick count start.
int32_t deadline_passed(DWORD start, DWORD timeout_ms);
// Polls until the control's text equals want; the last text read is left in got.
int32_t wait_text(HWND window, const char *want, char *got, int32_t size, DWORD timeout_ms);
// Polls the control's text for want; records a failure, with the last text
// read, when it does not come within E2E_REACTION_MS. Returns 1 when it came.
int32_t expect_text_soon(Session *s, const char *what, HWND window, const char *want);
// Polls until the control's text starts with prefix; the text is left in got.
int32_t wait_text_prefix(HWND window, const char *prefix, char *got, int32_t size,
                         DWORD timeout_ms);
// Polls until the window is the foreground window; 0 when the time ran out.
int32_t wait_foreground(HWND window, DWORD timeout_ms);
// Brings a window to the front (and checks it is there); `what` names it in
// the failure.
int32_t bring_to_front(Session *s, HWND window, const char *what);
// Polls until focus_id gives id; 0 when the time ran out.
int32_t wait_focus(const Session *s, int32_t id, DWORD timeout_ms);
// Polls until the program's focus is no longer `from`; 0 when the time ran out.
int32_t wait_focus_change(const Session *s, HWND from, DWORD timeout_ms);
// Polls until the recorder holds at least n events matching message/wparam at
// or after index from.
int32_t wait_events(const Session *s, uint32_t from, uint32_t message, uint32_t wparam,
                    uint32_t n, DWORD timeout_ms);
// Index of the first event at or after `from` matching message/wparam, or -1.
int32_t first_event(const Session *s, uint32_t from, uint32_t message, uint32_t wparam);
// Returns once the program's window thread has handled everything sent to it
// so far.
void sync_program(const Session *s);
// Returns once everything sent to the recorder before now has been stamped (a
// marker key is pressed and awaited; the recorder must be in front). Returns
// the index just after the marker.
uint32_t sync_recorder(Session *s);
// Waits for the next release of the recorded input (a key-up or button-up
// after the current end of the recording), so that a stop sent right after it
// falls between two presses rather than inside a hold.
int32_t wait_next_release(Session *s, uint32_t up_message, uint32_t wparam);

// ---- launching and closing the program ----------------------------------------------

// A path as the driver's Windows side can open it: Unix paths go through Z:.
void to_windows_path(const char *in, char *out, size_t size);

// What find_windows looks for, and what it found.
struct WindowQuery {
    DWORD pid;
    const char *class_name;  // null: any class
    HWND found;
    int32_t count;
};
// The visible top-level windows of a class (of one process, unless pid is 0).
WindowQuery find_windows(DWORD pid, const char *class_name);

// Makes the job that ends every process the driver starts when the driver
// ends, even by a crash. Returns 1 when it exists.
int32_t create_job(Session *s);
// Starts one copy of the program in the job; returns 1 when it started. A
// launch that the system refuses is tried once more after a short wait (and
// said in the scenario's figures); a second refusal is a failure.
int32_t launch(Session *s, PROCESS_INFORMATION *process);
// Types rate_text into the per-second box and waits for the plan line that
// reads it ("Requested: <text> CPS. Scheduled: ..."). Returns 1 once shown.
int32_t set_rate(Session *s, const char *rate_text);
// Starts rivanta.exe and waits until its main window is shown; sets s->main.
int32_t start_rivanta(Session *s);
// Closes the handles CreateProcess gave and clears the record.
void close_process_handles(PROCESS_INFORMATION *process);
// Waits for a process to end and checks its exit code is 0; ends it by force
// (and fails) when it does not end in time. Closes the handles.
void expect_exit_zero(Session *s, PROCESS_INFORMATION *process, const char *what);
// Closes the program as its close box does and checks it ends with code 0.
void close_rivanta(Session *s);
// Opens the recorder beside the program's window, inside the virtual desktop.
int32_t open_recorder_beside(Session *s);
// Sends F6 with the recorder in front and checks the run starts at once,
// without passing through the armed state. Returns 1 once running.
int32_t start_by_f6_from_recorder(Session *s, uint32_t from, uint32_t down_message,
                                  uint32_t wparam);

// ---- status lines -------------------------------------------------------------------

// 1 when text is the running status line
//   "Running: <what>, <n> sent<suffix>. <hint>."
// and stores n.
int32_t parse_running_line(const char *text, const char *what, const char *suffix, long *sent);
// Polls the status line until it is the running line with the given suffix
// (records a failure when it does not come within E2E_REACTION_MS).
int32_t wait_running_line(Session *s, const char *what, const char *suffix, long *sent);
// 1 when text is the stop line "<message>  (<n> <unit> sent)", storing n.
int32_t parse_stop_line(const char *text, const char *message, const char *unit, long *sent);

// ---- figures ------------------------------------------------------------------------

// qsort order of doubles, ascending.
int compare_doubles(const void *a, const void *b);

// Figures of a run of presses: intervals between presses and holds, in ms.
struct Cadence {
    uint32_t presses;
    double median_interval, mean_interval, min_interval, max_interval;
    double median_hold;
};
// The cadence of the presses recorded from index `from` on, taking each press
// with the first release after it.
Cadence measure_cadence(const Session *s, uint32_t from, uint32_t down_message,
                        uint32_t up_message, uint32_t wparam);
