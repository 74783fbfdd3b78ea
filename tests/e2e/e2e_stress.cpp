// What the stress scenarios share (e2e_stress.h).
#include <windows.h>
#include <stdint.h>
#include <stdlib.h>
#include "e2e_checks.h"
#include "e2e_stress.h"

namespace {

uint32_t random_next(Random *r)
{
    uint64_t x = r->state;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    r->state = x;
    return (uint32_t)((x * 0x2545F4914F6CDD1DULL) >> 32);
}

// 1 when the counter span [a, b] meets a span of the log in which the
// recorder was not in front.
int32_t meets_away_span(const StormLog *log, int64_t a, int64_t b)
{
    for (int32_t i = 0; log && i < log->away_count; ++i)
        if (a <= log->away_to[i] && b >= log->away_from[i]) return 1;
    return 0;
}

// Counts the pairs recorded from `from` on. A press without its release, or a
// release without its press, counts as gone elsewhere when a span of the log
// falls between it and the input's event before it (or after it, for a
// press left at the end); otherwise as stuck or stray.
PairTally tally_pairs(const Session *s, uint32_t from, const StressInput *in,
                      const StormLog *log)
{
    PairTally t = {0, 0, 0, 0};
    int32_t held = 0;
    int64_t previous = 0;  // stamp of the input's event before this one
    uint32_t end = recorder_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (in->wparam != RECORDER_ANY && e.wparam != in->wparam) continue;
        if (e.message == in->down_message) {
            if (held) ++*(meets_away_span(log, previous, e.qpc) ? &t.elsewhere : &t.stuck);
            held = 1;
        } else if (e.message == in->up_message) {
            if (held) ++t.pairs;
            else ++*(meets_away_span(log, previous, e.qpc) ? &t.elsewhere : &t.stray_ups);
            held = 0;
        } else {
            continue;
        }
        previous = e.qpc;
    }
    if (held) ++*(meets_away_span(log, previous, INT64_MAX) ? &t.elsewhere : &t.stuck);
    return t;
}

}  // namespace

uint32_t random_below(Random *r, uint32_t n)
{
    return n ? random_next(r) % n : 0;
}

Random seeded_random(void)
{
    char text[32];
    uint32_t seed = 0;
    DWORD length = GetEnvironmentVariableA("E2E_SEED", text, sizeof text);
    if (length > 0 && length < sizeof text) seed = (uint32_t)strtoul(text, NULL, 10);
    else seed = (uint32_t)recorder_now() ^ (GetCurrentProcessId() << 16);
    note("seed %u (E2E_SEED=%u repeats this run)", seed, seed);
    Random r = {((uint64_t)seed << 32 | seed) ^ 0x9E3779B97F4A7C15ULL};
    return r;
}

void random_pause(Random *r, uint32_t max_ms)
{
    Sleep(random_below(r, max_ms + 1));
}

const StressInput STRESS_SPACE = {
    "keyboard", "Space", 2, WM_KEYDOWN, WM_KEYUP, VK_SPACE, VK_SPACE, "presses"};
const StressInput STRESS_LEFT = {
    "left button", "the left button", 0, WM_LBUTTONDOWN, WM_LBUTTONUP, RECORDER_ANY, VK_LBUTTON,
    "clicks"};

int32_t prepare_fast_run(Session *s, const StressInput *in)
{
    if (!s->rec->window && !open_recorder_beside(s)) return 0;
    send_to(control(s, IDC_INPUT_COMBO), CB_SETCURSEL, (WPARAM)in->list_index, 0);
    set_text(control(s, IDC_CPS_EDIT), "1000");
    if (!expect_text_soon(s, "plan line at 1000 per second", control(s, IDC_PLAN), PLAN_1000))
        return 0;
    if (in->down_message == WM_LBUTTONDOWN) {
        POINT p = screen_center_of(s->rec->window);
        if (!move_cursor(s, p.x, p.y)) return 0;
    }
    return bring_to_front(s, s->rec->window, "the recorder");
}

PairTally expect_nothing_held(Session *s, uint32_t from, const StressInput *in, const char *when,
                              const StormLog *log)
{
    sync_recorder(s);
    PairTally t = tally_pairs(s, from, in, log);
    expect(s, t.stuck == 0 && t.stray_ups == 0,
           "%s: %u pairs, %u presses left without their release, %u releases without a press",
           when, t.pairs, t.stuck, t.stray_ups);
    expect(s, !(GetAsyncKeyState(in->vk) & 0x8000), "%s: %s is still down", when, in->held_name);
    return t;
}
