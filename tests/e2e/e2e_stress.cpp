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
void note_odd(PairTally *t, uint32_t at)
{
    if (t->odd_count < TALLY_MAX_ODD) t->odd_at[t->odd_count++] = at;
}

// 1 for an edge of the input that the program sent: injected, and not by
// this driver, which marks its own.
int32_t sent_by_program(const TappedEvent *e, const StressInput *in)
{
    if (!e->injected || e->extra == E2E_DRIVER_EXTRA) return 0;
    if (e->message != in->down_message && e->message != in->up_message) return 0;
    return in->wparam == RECORDER_ANY || e->vk == in->wparam;
}

// Pairs what the program sent, from the input tap: its order is the order of
// sending, whichever window each edge then went to.
void tally_sent(const Session *s, uint32_t from, const StressInput *in, PairTally *t)
{
    int32_t held = 0;
    const uint32_t end = recorder_tap_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        const TappedEvent e = recorder_tap(s->rec, i);
        if (!sent_by_program(&e, in)) continue;
        if (e.message == in->down_message) {
            if (held) ++t->stuck;
            held = 1;
        } else {
            if (held) ++t->pairs;
            else ++t->stray_ups;
            held = 0;
        }
    }
    if (held) ++t->stuck;
}

// Pairs what the recorder's window received. A press without its release, or
// a release without its press, counts as gone elsewhere when a span of the
// log falls between it and the input's event before it (or after it, for a
// press left at the end).
void tally_delivered(const Session *s, uint32_t from, const StressInput *in, const StormLog *log,
                     PairTally *t)
{
    int32_t held = 0;
    uint32_t held_at = 0;
    int64_t previous = 0;  // stamp of the input's event before this one
    const uint32_t end = recorder_count(s->rec);
    for (uint32_t i = from; i < end; ++i) {
        RecordedEvent e = recorder_event(s->rec, i);
        if (in->wparam != RECORDER_ANY && e.wparam != in->wparam) continue;
        if (e.message == in->down_message) {
            if (held) {
                if (meets_away_span(log, previous, e.qpc)) ++t->elsewhere;
                else ++t->delivery_odd, note_odd(t, held_at);
            }
            held = 1;
            held_at = i;
        } else if (e.message == in->up_message) {
            if (held) ++t->delivered_pairs;
            else if (meets_away_span(log, previous, e.qpc)) ++t->elsewhere;
            else ++t->delivery_odd, note_odd(t, i);
            held = 0;
        } else {
            continue;
        }
        previous = e.qpc;
    }
    if (held) {
        if (meets_away_span(log, previous, INT64_MAX)) ++t->elsewhere;
        else ++t->delivery_odd, note_odd(t, held_at);
    }
}

const char *message_name(uint32_t message)
{
    switch (message) {
    case WM_KEYDOWN: return "key down";
    case WM_KEYUP: return "key up";
    case WM_SYSKEYDOWN: return "sys key down";
    case WM_SYSKEYUP: return "sys key up";
    case WM_LBUTTONDOWN: return "left down";
    case WM_LBUTTONUP: return "left up";
    case WM_RBUTTONDOWN: return "right down";
    case WM_RBUTTONUP: return "right up";
    default: return "other";
    }
}

// Prints what the recorder saw around an odd press or release (the hotkeys
// show as the key-ups of F6 and F8, which the recorder receives), and the
// nearest switch of the front window, so that a failure says what happened.
void show_around(const Session *s, uint32_t from, uint32_t at, const StormLog *log)
{
    const uint32_t end = recorder_count(s->rec);
    const RecordedEvent odd = recorder_event(s->rec, at);
    note("  around recorder event %u (times in ms from it):", at);
    const uint32_t first = at >= from + 8 ? at - 8 : from;
    for (uint32_t i = first; i < end && i <= at + 6; ++i) {
        const RecordedEvent e = recorder_event(s->rec, i);
        note("  %c %+10.3f %-12s vk 0x%02x", i == at ? '>' : ' ',
             recorder_ms(e.qpc - odd.qpc), message_name(e.message), e.wparam);
    }
    note("  what the input tap saw sent in the same moments (program's edges; * the driver's):");
    const uint32_t taps = recorder_tap_count(s->rec);
    for (uint32_t i = 0; i < taps; ++i) {
        const TappedEvent e = recorder_tap(s->rec, i);
        const double ms = recorder_ms(e.qpc - odd.qpc);
        if (ms < -8.0 || ms > 6.0 || !e.injected) continue;
        note("  %c %+10.3f %-12s vk 0x%02x", e.extra == E2E_DRIVER_EXTRA ? '*' : ' ', ms,
             message_name(e.message), e.vk);
    }
    int64_t nearest = INT64_MAX;
    for (int32_t k = 0; log && k < log->away_count; ++k) {
        const int64_t d = odd.qpc < log->away_from[k] ? log->away_from[k] - odd.qpc
                          : odd.qpc > log->away_to[k] ? odd.qpc - log->away_to[k] : 0;
        if (d < nearest) nearest = d;
    }
    if (nearest != INT64_MAX)
        note("  nearest switch of the front window: %.3f ms away", recorder_ms(nearest));
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

RecordMark record_mark(const Session *s)
{
    return RecordMark{recorder_count(s->rec), recorder_tap_count(s->rec)};
}

int32_t open_tapping_recorder(Session *s)
{
    if (!s->rec->window && !open_recorder_beside(s)) return 0;
    return expect(s, recorder_tap_input(s->rec),
                  "the recorder could not install its low-level input hooks");
}

int32_t prepare_fast_run(Session *s, const StressInput *in)
{
    if (!open_tapping_recorder(s)) return 0;
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

PairTally expect_nothing_held(Session *s, RecordMark from, const StressInput *in, const char *when,
                              const StormLog *log)
{
    sync_recorder(s);
    PairTally t = {};
    tally_sent(s, from.taps, in, &t);
    tally_delivered(s, from.events, in, log, &t);
    expect(s, t.pairs + t.stuck + t.stray_ups > 0 || t.delivered_pairs == 0,
           "%s: the input tap saw nothing of the %u pairs the window received", when,
           t.delivered_pairs);
    expect(s, t.stuck == 0 && t.stray_ups == 0,
           "%s: the program sent %u pairs, %u presses without their release, %u releases "
           "without a press", when, t.pairs, t.stuck, t.stray_ups);
    if (t.delivery_odd > 0) {
        note("%s: the window received %u edges without their pair although the program's were "
             "paired (the system's delivery, not the program):", when, t.delivery_odd);
        for (int32_t k = 0; k < t.odd_count; ++k) show_around(s, from.events, t.odd_at[k], log);
    }
    expect(s, !(GetAsyncKeyState(in->vk) & 0x8000), "%s: %s is still down", when, in->held_name);
    return t;
}
