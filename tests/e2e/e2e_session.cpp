// The session machinery of the end-to-end driver and the pacing benchmark
// (e2e_session.h): everything here acts on rivanta.exe from outside, as a
// user would.
#include "e2e_session.h"
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// EnumWindows callback: counts the windows that match the query.
BOOL CALLBACK find_window_proc(HWND window, LPARAM lparam)
{
    WindowQuery *q = (WindowQuery *)lparam;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (q->pid && pid != q->pid) return TRUE;
    if (!IsWindowVisible(window)) return TRUE;
    char class_name[64];
    GetClassNameA(window, class_name, sizeof class_name);
    if (q->class_name && strcmp(class_name, q->class_name) != 0) return TRUE;
    if (!q->found) q->found = window;
    ++q->count;
    return TRUE;
}

}  // namespace

const char RIVANTA_CLASS[] = "Rivanta";
const char HINT[] = "F6 toggles, F8 stops (from any application)";
const char PAUSED_ACTIVE[] = " - PAUSED while this window is active";
const char PAUSED_CURSOR[] = " - PAUSED while the cursor is over this window";

// ---- reporting ----------------------------------------------------------------

int32_t expect(Session *s, int32_t cond, const char *format, ...)
{
    if (cond) return 1;
    char text[E2E_TEXT_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    printf("FAIL [%s] %s\n", s->scenario, text);
    fflush(stdout);
    ++s->failures;
    return 0;
}

int32_t expect_text(Session *s, const char *what, const char *got, const char *want)
{
    return expect(s, strcmp(got, want) == 0, "%s:\n    got  \"%s\"\n    want \"%s\"", what, got,
                  want);
}

void note(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    printf("\n");
    fflush(stdout);
}

// ---- reading and driving the program's window -----------------------------------

HWND control(const Session *s, int32_t id)
{
    return GetDlgItem(s->main, id);
}

// The text of a control of another process. GetWindowTextA does not ask a
// window of another process for its text (an edit box would read empty), so
// WM_GETTEXT is sent as the documentation advises.
void read_text(HWND window, char *buffer, int32_t size)
{
    buffer[0] = '\0';
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, (WPARAM)size, (LPARAM)buffer, SMTO_ABORTIFHUNG,
                             E2E_REACTION_MS, &result))
        buffer[0] = '\0';
    buffer[size - 1] = '\0';
}

void set_text(HWND window, const char *text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_SETTEXT, 0, (LPARAM)text, SMTO_ABORTIFHUNG, E2E_REACTION_MS,
                        &result);
}

LRESULT send_to(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, E2E_REACTION_MS,
                             &result))
        return -1;
    return (LRESULT)result;
}

// A button click: the button itself turns BM_CLICK into a press and release
// of the left button and notifies the program with BN_CLICKED, as a user's
// click does. Returns once the program has handled it.
void click(HWND button)
{
    send_to(button, BM_CLICK, 0, 0);
}

int32_t is_checked(HWND button)
{
    return send_to(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The window holding the keyboard focus in the program's window thread, as
// the system records it for that thread; null while the program is not the
// active application.
HWND thread_focus(const Session *s)
{
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(s->main_thread, &info)) return NULL;
    return info.hwndFocus;
}

HWND thread_caret(const Session *s)
{
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(s->main_thread, &info)) return NULL;
    return info.hwndCaret;
}

int32_t focus_id(const Session *s)
{
    HWND focus = thread_focus(s);
    if (!focus) return E2E_FOCUS_NONE;
    if (focus == s->main) return E2E_FOCUS_MAIN_WINDOW;
    return GetDlgCtrlID(focus);
}

// ---- keyboard and mouse -----------------------------------------------------------

void key_edge(WORD vk, int32_t up)
{
    INPUT input;
    memset(&input, 0, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = (WORD)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    input.ki.dwExtraInfo = E2E_DRIVER_EXTRA;
    SendInput(1, &input, sizeof input);
}

void press_key(WORD vk)
{
    key_edge(vk, 0);
    key_edge(vk, 1);
}

void press_shift_tab(void)
{
    key_edge(VK_SHIFT, 0);
    press_key(VK_TAB);
    key_edge(VK_SHIFT, 1);
}

RECT client_rect_of(const Session *s, HWND child)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, s->main, (POINT *)&r, 2);
    return r;
}

POINT screen_center_of(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    return p;
}

// ---- waiting ----------------------------------------------------------------------

int32_t deadline_passed(DWORD start, DWORD timeout_ms)
{
    return GetTickCount() - start >= timeout_ms;
}

// Puts the cursor on a screen point and returns once every reader agrees it is
// there. Under Wine, GetCursorPos asks the X server once the last move is more
// than 100 ms old, and the X pointer can lag behind SetCursorPos or be put
// back by a late pointer event; meanwhile the program's pause test and the
// routing of its clicks could disagree on where the cursor is. So the move is
// repeated until a reading older than that still finds the cursor in place.
int32_t move_cursor(Session *s, int32_t x, int32_t y)
{
    DWORD start = GetTickCount();
    SetCursorPos(x, y);
    DWORD moved = GetTickCount();
    for (;;) {
        POINT p;
        GetCursorPos(&p);
        if (p.x != x || p.y != y) {
            SetCursorPos(x, y);
            moved = GetTickCount();
        } else if (deadline_passed(moved, E2E_CURSOR_SETTLE_MS)) {
            return 1;
        }
        if (deadline_passed(start, E2E_REACTION_MS))
            return expect(s, 0, "the cursor does not stay at (%d, %d): it is at (%ld, %ld)", x, y,
                          p.x, p.y);
        Sleep(E2E_POLL_MS);
    }
}

void left_click_at(Session *s, int32_t x, int32_t y)
{
    move_cursor(s, x, y);
    INPUT input[2];
    memset(input, 0, sizeof input);
    input[0].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[0].mi.dwExtraInfo = E2E_DRIVER_EXTRA;
    input[1].type = INPUT_MOUSE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    input[1].mi.dwExtraInfo = E2E_DRIVER_EXTRA;
    SendInput(2, input, sizeof input[0]);
}

int32_t wait_text(HWND window, const char *want, char *got, int32_t size, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        read_text(window, got, size);
        if (strcmp(got, want) == 0) return 1;
        if (deadline_passed(start, timeout_ms)) return 0;
        Sleep(E2E_POLL_MS);
    }
}

int32_t expect_text_soon(Session *s, const char *what, HWND window, const char *want)
{
    char got[E2E_TEXT_SIZE];
    if (wait_text(window, want, got, sizeof got, E2E_REACTION_MS)) return 1;
    return expect_text(s, what, got, want);
}

int32_t wait_text_prefix(HWND window, const char *prefix, char *got, int32_t size,
                                DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    size_t n = strlen(prefix);
    for (;;) {
        read_text(window, got, size);
        if (strncmp(got, prefix, n) == 0) return 1;
        if (deadline_passed(start, timeout_ms)) return 0;
        Sleep(E2E_POLL_MS);
    }
}

int32_t wait_foreground(HWND window, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    while (GetForegroundWindow() != window) {
        if (deadline_passed(start, timeout_ms)) return 0;
        Sleep(E2E_POLL_MS);
    }
    return 1;
}

// Brings a window to the front. Wine lets any program of the desktop set the
// foreground window (Windows would require AllowSetForegroundWindow from the
// current foreground owner), so SetForegroundWindow is used and its effect
// checked; should it not take, a real click on the window's caption does what
// a user would do.
int32_t bring_to_front(Session *s, HWND window, const char *what)
{
    if (GetForegroundWindow() == window) return 1;
    SetForegroundWindow(window);
    if (wait_foreground(window, E2E_REACTION_MS)) return 1;
    RECT r;
    GetWindowRect(window, &r);
    left_click_at(s, (r.left + r.right) / 2, r.top + 8);
    return expect(s, wait_foreground(window, E2E_REACTION_MS), "%s could not be brought to the front",
                  what);
}

int32_t wait_focus(const Session *s, int32_t id, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    while (focus_id(s) != id) {
        if (deadline_passed(start, timeout_ms)) return 0;
        Sleep(E2E_POLL_MS);
    }
    return 1;
}

int32_t wait_focus_change(const Session *s, HWND from, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    while (thread_focus(s) == from) {
        if (deadline_passed(start, timeout_ms)) return 0;
        Sleep(E2E_POLL_MS);
    }
    return 1;
}

int32_t wait_events(const Session *s, uint32_t from, uint32_t message, uint32_t wparam,
                           uint32_t n, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    while (recorder_collect(s->rec, from, message, wparam, NULL, 0) < n) {
        if (deadline_passed(start, timeout_ms)) return 0;
        Sleep(1);
    }
    return 1;
}

int32_t first_event(const Session *s, uint32_t from, uint32_t message, uint32_t wparam)
{
    uint32_t end = recorder_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (e.message == message && (wparam == RECORDER_ANY || e.wparam == wparam))
            return (int32_t)i;
    }
    return -1;
}

// Returns once the program's window thread has handled everything sent to it
// so far: a message sent now is answered only from its message loop.
void sync_program(const Session *s)
{
    send_to(s->main, WM_NULL, 0, 0);
}

// Makes sure everything sent to the recorder before now has been stamped:
// input reaches a window in the order it was sent, so once a marker key sent
// now arrives, every earlier key and click has arrived too. The recorder must
// be in front. Returns the index just after the marker.
uint32_t sync_recorder(Session *s)
{
    uint32_t from = recorder_count(s->rec);
    press_key(E2E_MARKER_VK);
    expect(s, wait_events(s, from, WM_KEYUP, E2E_MARKER_VK, 1, E2E_REACTION_MS),
           "the recorder did not receive the marker key (is it in front?)");
    return recorder_count(s->rec);
}

int32_t wait_next_release(Session *s, uint32_t up_message, uint32_t wparam)
{
    uint32_t from = recorder_count(s->rec);
    return expect(s, wait_events(s, from, up_message, wparam, 1, E2E_REACTION_MS),
                  "no release of the running input arrived at the recorder");
}

// ---- launching and closing the program ------------------------------------------

// A path as the driver's Windows side can open it: Unix paths (as CMake passes
// them) go through drive Z:, which Wine maps to the root.
void to_windows_path(const char *in, char *out, size_t size)
{
    if (in[0] == '/') snprintf(out, size, "Z:%s", in);
    else snprintf(out, size, "%s", in);
    for (char *p = out; *p; ++p)
        if (*p == '/') *p = '\\';
}

WindowQuery find_windows(DWORD pid, const char *class_name)
{
    WindowQuery q = {pid, class_name, NULL, 0};
    EnumWindows(find_window_proc, (LPARAM)&q);
    return q;
}

// A job that ends every process the driver starts when the driver ends, even
// by a crash, so that no copy of the program outlives its scenario. Returns 1
// when it exists.
int32_t create_job(Session *s)
{
    s->job = CreateJobObjectA(NULL, NULL);
    if (!s->job) return 0;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(s->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return 1;
}

namespace {

// Processes of the job still alive, or -1 when that cannot be read.
long processes_in_job(const Session *s)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
    if (!s->job || !QueryInformationJobObject(s->job, JobObjectBasicAccountingInformation, &info,
                                              sizeof info, NULL))
        return -1;
    return (long)info.ActiveProcesses;
}

int32_t create_in_job(Session *s, PROCESS_INFORMATION *process, DWORD *error)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    char command[MAX_PATH + 2];
    snprintf(command, sizeof command, "\"%s\"", s->exe);
    if (!CreateProcessA(s->exe, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, process)) {
        *error = GetLastError();
        memset(process, 0, sizeof *process);
        return 0;
    }
    if (s->job) AssignProcessToJobObject(s->job, process->hProcess);
    return 1;
}

}  // namespace

int32_t launch(Session *s, PROCESS_INFORMATION *process)
{
    // Under Wine, process creation now and then fails with error 1359
    // (ERROR_INTERNAL_ERROR) on a loaded machine while the program itself is
    // not involved yet: its first instruction has not run. One more try
    // after a short wait tells such a refusal from a program that cannot
    // start; every retry is reported.
    const DWORD RETRY_WAIT_MS = 250;
    DWORD error = 0;
    if (create_in_job(s, process, &error)) return 1;
    ++s->launch_retries;
    note("[ figures ] launch retry %d: CreateProcess failed with error %lu, %ld processes alive "
         "in the job; trying once more in %lu ms",
         s->launch_retries, (unsigned long)error, processes_in_job(s), (unsigned long)RETRY_WAIT_MS);
    Sleep(RETRY_WAIT_MS);
    if (create_in_job(s, process, &error)) return 1;
    return expect(s, 0, "could not start %s, twice (error %lu)", s->exe, (unsigned long)error);
}

int32_t set_rate(Session *s, const char *rate_text)
{
    set_text(control(s, IDC_CPS_EDIT), rate_text);
    char want[128], plan[E2E_TEXT_SIZE];
    snprintf(want, sizeof want, "Requested: %s CPS. Scheduled: ", rate_text);
    return expect(s, wait_text_prefix(control(s, IDC_PLAN), want, plan, sizeof plan,
                                      E2E_REACTION_MS),
                  "plan line for %s: \"%s\"", rate_text, plan);
}

// Starts rivanta.exe and waits until its main window is shown (WM_CREATE is
// over once the window is visible).
int32_t start_rivanta(Session *s)
{
    if (!expect(s, find_windows(0, RIVANTA_CLASS).count == 0,
                "a Rivanta window is already open before the scenario starts"))
        return 0;
    if (!launch(s, &s->process)) return 0;
    DWORD start = GetTickCount();
    for (;;) {
        WindowQuery q = find_windows(s->process.dwProcessId, RIVANTA_CLASS);
        if (q.found) {
            s->main = q.found;
            s->main_thread = GetWindowThreadProcessId(s->main, NULL);
            return 1;
        }
        if (WaitForSingleObject(s->process.hProcess, 0) == WAIT_OBJECT_0)
            return expect(s, 0, "rivanta.exe ended before showing its window");
        if (deadline_passed(start, E2E_LAUNCH_MS))
            return expect(s, 0, "no visible window of class \"Rivanta\" within %d ms",
                          E2E_LAUNCH_MS);
        Sleep(E2E_POLL_MS);
    }
}

void close_process_handles(PROCESS_INFORMATION *process)
{
    if (process->hThread) CloseHandle(process->hThread);
    if (process->hProcess) CloseHandle(process->hProcess);
    memset(process, 0, sizeof *process);
}

void expect_exit_zero(Session *s, PROCESS_INFORMATION *process, const char *what)
{
    if (!process->hProcess) return;
    if (WaitForSingleObject(process->hProcess, E2E_EXIT_MS) != WAIT_OBJECT_0) {
        expect(s, 0, "%s did not end within %d ms; terminated", what, E2E_EXIT_MS);
        TerminateProcess(process->hProcess, 99);
        WaitForSingleObject(process->hProcess, E2E_EXIT_MS);
    } else {
        DWORD code = 12345;
        GetExitCodeProcess(process->hProcess, &code);
        expect(s, code == 0, "%s ended with exit code %lu, not 0", what, (unsigned long)code);
    }
    close_process_handles(process);
}

void close_rivanta(Session *s)
{
    if (!s->process.hProcess) return;
    if (s->main && IsWindow(s->main)) PostMessageA(s->main, WM_CLOSE, 0, 0);
    expect_exit_zero(s, &s->process, "rivanta.exe");
    s->main = NULL;
}

int32_t open_recorder_beside(Session *s)
{
    RECT desk, main_rect;
    GetWindowRect(GetDesktopWindow(), &desk);
    GetWindowRect(s->main, &main_rect);
    int32_t x = main_rect.right + 12;
    int32_t width = desk.right - x - 12;
    if (width > 480) width = 480;
    if (width < 200) {
        // Not enough room on the right: move the program to the left edge, as
        // a user would drag it.
        SetWindowPos(s->main, NULL, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(s->main, &main_rect);
        x = main_rect.right + 12;
        width = desk.right - x - 12;
        if (width > 480) width = 480;
    }
    return expect(s, recorder_open(s->rec, "Rivanta e2e recorder", x, 40, width, 360),
                  "the recorder window could not be opened");
}

int32_t parse_running_line(const char *text, const char *what, const char *suffix,
                                  long *sent)
{
    char head[256];
    snprintf(head, sizeof head, "Running: %s, ", what);
    size_t n = strlen(head);
    if (strncmp(text, head, n) != 0) return 0;
    const char *p = text + n;
    char *end = NULL;
    long value = strtol(p, &end, 10);
    if (end == p) return 0;
    char tail[256];
    snprintf(tail, sizeof tail, " sent%s. %s.", suffix, HINT);
    if (strcmp(end, tail) != 0) return 0;
    *sent = value;
    return 1;
}

// Polls the status line until it is the running line with the given suffix.
int32_t wait_running_line(Session *s, const char *what, const char *suffix, long *sent)
{
    char got[E2E_TEXT_SIZE];
    DWORD start = GetTickCount();
    for (;;) {
        read_text(control(s, IDC_STATUS), got, sizeof got);
        if (parse_running_line(got, what, suffix, sent)) return 1;
        if (deadline_passed(start, E2E_REACTION_MS))
            return expect(s, 0, "status line is not the running line \"Running: %s, <n> sent%s. "
                                "%s.\":\n    got \"%s\"",
                          what, suffix, HINT, got);
        Sleep(E2E_POLL_MS);
    }
}

int compare_doubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

Cadence measure_cadence(const Session *s, uint32_t from, uint32_t down_message,
                               uint32_t up_message, uint32_t wparam)
{
    static double intervals[E2E_MAX_STAMPS], holds[E2E_MAX_STAMPS];
    Cadence c;
    memset(&c, 0, sizeof c);
    uint32_t end = recorder_count(s->rec);
    int64_t previous_down = 0, pending_down = 0;
    uint32_t n_intervals = 0, n_holds = 0;
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (e.wparam != wparam && wparam != RECORDER_ANY) continue;
        if (e.message == down_message) {
            if (c.presses > 0 && n_intervals < E2E_MAX_STAMPS)
                intervals[n_intervals++] = recorder_ms(e.qpc - previous_down);
            previous_down = e.qpc;
            pending_down = e.qpc;
            ++c.presses;
        } else if (e.message == up_message && pending_down != 0) {
            if (n_holds < E2E_MAX_STAMPS) holds[n_holds++] = recorder_ms(e.qpc - pending_down);
            pending_down = 0;
        }
    }
    if (n_intervals > 0) {
        double sum = 0;
        for (uint32_t i = 0; i < n_intervals; ++i) sum += intervals[i];
        c.mean_interval = sum / n_intervals;
        qsort(intervals, n_intervals, sizeof intervals[0], compare_doubles);
        c.min_interval = intervals[0];
        c.max_interval = intervals[n_intervals - 1];
        c.median_interval = intervals[n_intervals / 2];
    }
    if (n_holds > 0) {
        qsort(holds, n_holds, sizeof holds[0], compare_doubles);
        c.median_hold = holds[n_holds / 2];
    }
    return c;
}

int32_t start_by_f6_from_recorder(Session *s, uint32_t from, uint32_t down_message,
                                         uint32_t wparam)
{
    if (!bring_to_front(s, s->rec->window, "the recorder")) return 0;
    int64_t sent_at = recorder_now();
    press_key(VK_F6);
    DWORD start = GetTickCount();
    char text[E2E_TEXT_SIZE];
    int32_t armed_seen = 0;
    while (recorder_collect(s->rec, from, down_message, wparam, NULL, 0) == 0 &&
           !deadline_passed(start, E2E_REACTION_MS)) {
        read_text(control(s, IDC_STATUS), text, sizeof text);
        if (strncmp(text, "Armed", 5) == 0) armed_seen = 1;
        Sleep(1);
    }
    expect(s, !armed_seen, "F6 from another application armed the run instead of starting it");
    int32_t first = first_event(s, from, down_message, wparam);
    if (!expect(s, first >= 0, "F6 from the recorder did not start a run")) return 0;
    note("F6 start: first input %.1f ms after F6",
         recorder_ms(recorder_event(s->rec, (uint32_t)first).qpc - sent_at));
    return 1;
}

int32_t parse_stop_line(const char *text, const char *message, const char *unit, long *sent)
{
    char head[256];
    snprintf(head, sizeof head, "%s  (", message);
    size_t n = strlen(head);
    if (strncmp(text, head, n) != 0) return 0;
    const char *p = text + n;
    if (*p < '0' || *p > '9') return 0;
    char *end = NULL;
    long value = strtol(p, &end, 10);
    char tail[128];
    snprintf(tail, sizeof tail, " %s sent)", unit);
    if (strcmp(end, tail) != 0) return 0;
    *sent = value;
    return 1;
}

// ---- a session's life -----------------------------------------------------------

int32_t session_begin(Session *s, const char *name, Recorder *rec, const char *exe_path,
                      const char *out_dir)
{
    memset(s, 0, sizeof *s);
    s->scenario = name;
    s->rec = rec;
    to_windows_path(exe_path, s->exe, sizeof s->exe);
    if (out_dir) to_windows_path(out_dir, s->out_dir, sizeof s->out_dir);
    create_job(s);
    return start_rivanta(s);
}

void session_end(Session *s)
{
    close_rivanta(s);
    recorder_close(s->rec);
    if (s->job) CloseHandle(s->job);
    s->job = NULL;
}
