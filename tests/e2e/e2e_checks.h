// What the end-to-end scenario files share: the program's texts that more than
// one scenario waits for, the checks of the controls' enabled states and of
// the count a stop shows, the single-instance notice, and the functions of the
// scenarios that e2e_scenarios.def lists.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "e2e_session.h"

// The texts the program shows, exactly as it must show them (both hotkeys
// registered, as in the test desktop).
extern const char READY_TEXT[];
extern const char ARMED_SPACE[];
extern const char PLAN_1000[];
// The refusals of the rate statuses that cannot run.
extern const char RATE_EMPTY_TEXT[];
extern const char RATE_NOT_UNDERSTOOD_TEXT[];
extern const char RATE_NOT_POSITIVE_TEXT[];
extern const char RATE_BAD_INTERVAL_TEXT[];

// The folder of the fuzzer's corpus, from the command line (Windows form);
// empty when none was given.
extern char corpus_dir[MAX_PATH];

// Idle: the list, the Start button, both radio buttons, the fastest button and
// exactly the rate box(es) of the selected mode are enabled.
void expect_idle_controls(Session *s, const char *when, int32_t interval_mode);

// Armed or running: everything but the Start/Stop button is disabled.
void expect_busy_controls(Session *s, const char *when);

// After a stop: the status line must be "<message>  (<n> <unit> sent)" with n
// the number of presses the recorder saw, and the last press released. A
// press whose hold the stop cut short is released by the stop but not
// counted, so n may be one less than the presses seen, but only when the last
// release came after the stop was sent (a press may go out just before the
// stop key and still be in its hold when the program handles it). `switches`
// is how often the foreground changed during the run: at each change one
// press or release may have gone to the window that came to the front (the
// pause test comes before the press, and a press, once sent, is always
// followed by its release), so n and the releases may differ from the presses
// seen by that much, and no more.
void expect_stop_count(Session *s, const char *message, const char *unit, uint32_t from,
                       uint32_t down_message, uint32_t up_message, uint32_t wparam,
                       int64_t stop_sent, uint32_t switches);

// 1 when the message box shows the single-instance notice.
int32_t is_instance_notice(HWND box);

// scenario_<name> runs the scenario <name> against the program the session
// has started; its failed checks are counted in the session.
#define E2E_SCENARIO(name, seconds) void scenario_##name(Session *s);
#include "e2e_scenarios.def"
#undef E2E_SCENARIO
