// Stress scenarios of the program's life: the window closed at random moments
// of a run, and ten copies started at once.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include "e2e_checks.h"
#include "e2e_stress.h"

namespace {

// The moments of a run at which the window is closed.
enum CloseMoment {
    CLOSE_ARMED,    // Start clicked in the program's window, nothing sent yet
    CLOSE_IN_HOLD,  // a press is out and its release is not
    CLOSE_IN_WAIT,  // a release is out and the next press is not
    CLOSE_ANY,      // a random time into a run at 1000 per second
};

const char *const CLOSE_MOMENT_NAMES[] = {"while armed", "during a hold",
                                          "during the wait", "at a random moment"};

// Rounds of the close scenario, each with a freshly started program; round i
// closes at moment i % 4.
const int32_t CLOSE_ROUNDS = 12;

// Runs until the moment has come and posts WM_CLOSE there. Returns the
// counter reading just before the close went out, 0 when it did not; the
// recorder tells afterwards whether the run was in a hold or a wait then.
int64_t close_at(Session *s, Random *r, CloseMoment moment, uint32_t from)
{
    if (moment == CLOSE_ARMED) {
        if (!bring_to_front(s, s->main, "the program's window")) return 0;
        click(control(s, IDC_START));
        if (!expect_text_soon(s, "armed text", control(s, IDC_STATUS), ARMED_SPACE)) return 0;
        int64_t posted = recorder_now();
        PostMessageA(s->main, WM_CLOSE, 0, 0);
        return posted;
    }
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SPACE)) return 0;
    if (moment == CLOSE_ANY) {
        wait_events(s, from, WM_KEYDOWN, VK_SPACE, 1 + random_below(r, 30), E2E_REACTION_MS);
        random_pause(r, 3);
        int64_t posted = recorder_now();
        PostMessageA(s->main, WM_CLOSE, 0, 0);
        return posted;
    }
    // At 20 per second a press is held 25 ms and the next comes 25 ms after
    // its release; the close is posted as soon as the moment is seen, and the
    // round tried again when the run had moved on by then.
    DWORD start = GetTickCount();
    while (!deadline_passed(start, 4 * E2E_REACTION_MS)) {
        uint32_t mark = recorder_count(s->rec);
        uint32_t wanted = moment == CLOSE_IN_HOLD ? WM_KEYDOWN : WM_KEYUP;
        if (!wait_events(s, mark, wanted, VK_SPACE, 1, E2E_REACTION_MS)) break;
        uint32_t seen = (uint32_t)first_event(s, mark, wanted, VK_SPACE);
        random_pause(r, 5);
        uint32_t other = moment == CLOSE_IN_HOLD ? WM_KEYUP : WM_KEYDOWN;
        int64_t posted = recorder_now();
        if (recorder_collect(s->rec, seen, other, VK_SPACE, NULL, 0) != 0) continue;
        PostMessageA(s->main, WM_CLOSE, 0, 0);
        return posted;
    }
    return expect(s, 0, "could not close %s", CLOSE_MOMENT_NAMES[moment]);
}

// 1 when the last event of the input stamped before `at` is a press: the
// run was inside a hold then.
int32_t held_at(const Session *s, uint32_t from, int64_t at)
{
    int32_t held = 0;
    uint32_t end = recorder_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (e.qpc >= at) break;
        if (e.wparam != VK_SPACE) continue;
        if (e.message == WM_KEYDOWN) held = 1;
        else if (e.message == WM_KEYUP) held = 0;
    }
    return held;
}

const int32_t RACE_COPIES = 10;

}  // namespace

// ---- scenario: closing at random moments ------------------------------------------

// Closing the window at random moments of a run, each time with the program
// started afresh: the process always ends with code 0 and nothing held, and
// an armed run sends nothing.
void scenario_close_at_random(Session *s)
{
    Random r = seeded_random();
    if (!open_tapping_recorder(s)) return;
    const RecordMark everything_from = record_mark(s);
    int32_t rounds = 0, in_hold = 0, in_wait = 0, armed = 0;
    for (int32_t i = 0; i < CLOSE_ROUNDS; ++i) {
        CloseMoment moment = (CloseMoment)(i % 4);
        if (i > 0 && !start_rivanta(s)) break;
        set_text(control(s, IDC_CPS_EDIT), moment == CLOSE_ANY ? "1000" : "20");
        const RecordMark from = record_mark(s);
        int64_t posted = close_at(s, &r, moment, from.events);
        char what[96];
        snprintf(what, sizeof what, "rivanta.exe closed %s", CLOSE_MOMENT_NAMES[moment]);
        if (posted) expect_exit_zero(s, &s->process, what);
        else close_rivanta(s);
        s->main = NULL;
        if (!bring_to_front(s, s->rec->window, "the recorder")) break;
        PairTally t = expect_nothing_held(s, from, &STRESS_SPACE, what, NULL);
        if (!posted) break;
        if (moment == CLOSE_ARMED) {
            expect(s, t.pairs + t.stuck == 0, "%s: %u presses were sent", what, t.pairs + t.stuck);
            ++armed;
        } else if (held_at(s, from.events, posted)) {
            ++in_hold;
        } else {
            ++in_wait;
        }
        ++rounds;
    }
    expect(s, in_hold > 0 && in_wait > 0,
           "the closes never fell into a hold (%d) or never into a wait (%d)", in_hold, in_wait);
    PairTally all = expect_nothing_held(s, everything_from, &STRESS_SPACE, "after every round", NULL);
    note("[ figures ] close at random moments: %d rounds with exit code 0 (%d while armed, %d "
         "during a hold, %d during the wait), %u pairs, %u keys left down",
         rounds, armed, in_hold, in_wait, all.pairs, all.stuck);
}

// ---- scenario: single instance under a race -----------------------------------------------

// Ten copies started at once, with none running before: exactly one opens
// its window, the other nine show their notice and end with code 0 once it
// is dismissed; the one left runs on and answers.
void scenario_instance_race(Session *s)
{
    close_rivanta(s);
    PROCESS_INFORMATION copies[RACE_COPIES];
    int32_t launched = 0;
    for (int32_t i = 0; i < RACE_COPIES; ++i)
        if (launch(s, &copies[i])) ++launched;
    if (launched != RACE_COPIES) {
        for (int32_t i = 0; i < launched; ++i) expect_exit_zero(s, &copies[i], "a copy");
        return;
    }
    int32_t notices = 0, ended = 0;
    int32_t done[RACE_COPIES] = {0};
    WindowQuery windows = {0, NULL, NULL, 0};
    DWORD start = GetTickCount();
    for (;;) {
        for (int32_t i = 0; i < RACE_COPIES; ++i) {
            if (done[i]) continue;
            if (WaitForSingleObject(copies[i].hProcess, 0) == WAIT_OBJECT_0) {
                done[i] = 1;
                ++ended;
                continue;
            }
            HWND box = find_windows(copies[i].dwProcessId, "#32770").found;
            if (box && is_instance_notice(box)) {
                ++notices;
                click(GetDlgItem(box, IDOK));
                // Dismissed once: the copy must now end by itself.
                WaitForSingleObject(copies[i].hProcess, E2E_EXIT_MS);
            }
        }
        windows = find_windows(0, RIVANTA_CLASS);
        if (ended == RACE_COPIES - 1 && windows.count >= 1) break;
        if (ended == RACE_COPIES) break;
        if (deadline_passed(start, 2 * E2E_LAUNCH_MS)) break;
        Sleep(E2E_POLL_MS);
    }
    expect(s, windows.count == 1, "%d Rivanta windows after the race, not 1", windows.count);
    expect(s, notices == RACE_COPIES - 1, "%d notices shown, not %d", notices, RACE_COPIES - 1);
    int32_t survivor = -1;
    DWORD owner = 0;
    if (windows.found) GetWindowThreadProcessId(windows.found, &owner);
    for (int32_t i = 0; i < RACE_COPIES; ++i) {
        if (copies[i].dwProcessId == owner && !done[i]) {
            survivor = i;
            continue;
        }
        expect_exit_zero(s, &copies[i], "a copy that lost the race");
    }
    if (!expect(s, survivor >= 0, "the window left belongs to none of the running copies")) return;
    s->process = copies[survivor];
    s->main = windows.found;
    s->main_thread = GetWindowThreadProcessId(s->main, NULL);
    set_text(control(s, IDC_CPS_EDIT), "7");
    expect_text_soon(s, "the survivor's plan line", control(s, IDC_PLAN),
                     "Requested: 7 CPS. Scheduled: 7 per second, evenly spaced (142.86 ms between "
                     "events). The actual rate in the game depends on Windows and the game; it is "
                     "not measured here.");
    note("[ figures ] single instance under a race: %d copies started at once, 1 window, %d "
         "notices, every loser's exit code 0",
         RACE_COPIES, notices);
}
