// The pacing worker's own cycle on a simulated platform: a counter that moves
// only when the cycle sleeps, gives up its slice, spins or sends, each by a
// set number of ticks, so that every instant asserted below is exact and
// nothing depends on the load of the machine running the tests.
#include <gtest/gtest.h>
#include <stdint.h>
#include <vector>
#include "common/shared_state.h"
#include "input/held_input.h"
#include "pacing/pacing_cycle.h"
#include "pacing/pacing_math.h"
#include "tests/reset_shared_state.h"

namespace {

const int64_t MHZ10 = 10000000;  // a 10 MHz performance counter
const int64_t ACPI = 3579545;    // the ACPI power-management timer's rate
const int64_t MS = 10000;        // ticks per millisecond at 10 MHz
const int64_t NEVER = INT64_MAX;
const int64_t START = 987654321;  // the counter's value when a run starts
// A cycle that runs away (a fault under test) is stopped after this many
// logged calls instead of hanging the test program.
const size_t MAX_CALLS = 200000;
const int64_t MAX_SPINS = 100000000;

const InputSpec KEY_A = {"Keyboard: A", KIND_KEYBOARD, 0x41, 0, BUTTON_NONE};

// The calls the log keeps. Counter readings, running checks and spin hints
// are only counted.
enum SimCallKind : uint32_t {
    CALL_SLEEP = 0,
    CALL_YIELD = 1,
    CALL_SEND = 2,
    CALL_LATCH = 3,
    CALL_CLEAR = 4,
    CALL_PAUSE_CHECK = 5,
};

struct SimCall {
    uint32_t kind;  // a SimCallKind
    int64_t at;     // the counter when the call was made
    uint32_t arg;   // ms of a sleep, edge of a send, answer of a pause check
    uint32_t held;  // the latch's held flag when the call was made
};

// The simulated platform: its clock, what each operation costs, the script
// of the run, and what the cycle did.
struct Sim {
    int64_t now;
    int64_t send_cost;    // ticks every send takes
    int64_t yield_cost;   // ticks every Sleep(0) takes
    int64_t spin_cost;    // ticks every spin hint takes
    int64_t sleep_late;   // ticks every sleep wakes after its whole milliseconds
    int64_t stall_send;   // index of the one send that also takes stall_ticks
    int64_t stall_ticks;
    int64_t stop_at;            // is_running gives 0 from this counter value on
    int64_t stop_after_reads;   // ... and once this many readings were made
    int64_t pause_from;         // should_pause gives 1 for now in [pause_from, pause_to)
    int64_t pause_to;
    uint32_t press_result;      // what a press's send returns
    uint32_t release_result;
    uint32_t refused_presses;   // bit k set: the system refuses press k (0 for it)

    HeldInput latch;
    int64_t reads;
    int64_t unasked_reads;  // readings with no running check since the one before
    int32_t asked_since_read;
    int64_t spins;
    int64_t sends;
    int64_t presses;
    int32_t ran_away;
    std::vector<SimCall> calls;
    std::vector<int32_t> refused_seen;  // input_refused as each release goes out
};

Sim sim;

void log_call(uint32_t kind, uint32_t arg)
{
    if (sim.calls.size() >= MAX_CALLS) {
        sim.ran_away = 1;
        return;
    }
    sim.calls.push_back(SimCall{kind, sim.now, arg, sim.latch.held});
}

int64_t sim_read_counter(void)
{
    ++sim.reads;
    if (!sim.asked_since_read) ++sim.unasked_reads;
    sim.asked_since_read = 0;
    return sim.now;
}

void sim_sleep_ms(uint32_t ms)
{
    log_call(CALL_SLEEP, ms);
    sim.now += (int64_t)ms * perf_frequency / 1000 + sim.sleep_late;
}

void sim_give_up_slice(void)
{
    log_call(CALL_YIELD, 0);
    sim.now += sim.yield_cost;
}

void sim_spin_hint(void)
{
    if (++sim.spins > MAX_SPINS) sim.ran_away = 1;
    sim.now += sim.spin_cost;
}

uint32_t sim_send_edge(const InputSpec &input, InputEdge edge)
{
    EXPECT_EQ(input.vk, KEY_A.vk);
    log_call(CALL_SEND, edge);
    sim.now += sim.send_cost;
    if (sim.sends == sim.stall_send) sim.now += sim.stall_ticks;
    ++sim.sends;
    if (edge != EDGE_PRESS) {
        sim.refused_seen.push_back(input_refused.load());
        return sim.release_result;
    }
    const int64_t press = sim.presses++;
    if (press < 32 && (sim.refused_presses >> press) & 1) return 0;
    return sim.press_result;
}

int32_t sim_should_pause(void)
{
    const int32_t pause = sim.now >= sim.pause_from && sim.now < sim.pause_to ? 1 : 0;
    log_call(CALL_PAUSE_CHECK, (uint32_t)pause);
    return pause;
}

int32_t sim_is_running(void)
{
    sim.asked_since_read = 1;
    if (sim.ran_away || sim.now >= sim.stop_at || sim.reads >= sim.stop_after_reads) return 0;
    return 1;
}

void sim_latch_input(const InputSpec &input)
{
    log_call(CALL_LATCH, 0);
    latch_held_input(&sim.latch, &input);
}

void sim_clear_latch(void)
{
    log_call(CALL_CLEAR, 0);
    take_held_input(&sim.latch, nullptr);
}

const PacingOps SIM_OPS = {
    sim_read_counter,  // read_counter
    sim_sleep_ms,      // sleep_ms
    sim_give_up_slice, // give_up_slice
    sim_spin_hint,     // spin_hint
    sim_send_edge,     // send_edge
    sim_should_pause,  // should_pause
    sim_is_running,    // is_running
    sim_latch_input,   // latch_input
    sim_clear_latch,   // clear_latch
};

// Counter values of the sends of one edge, relative to START, in order.
std::vector<int64_t> sends_of(InputEdge edge)
{
    std::vector<int64_t> at;
    for (const SimCall &c : sim.calls)
        if (c.kind == CALL_SEND && c.arg == edge) at.push_back(c.at - START);
    return at;
}

int32_t count_calls(uint32_t kind, uint32_t arg)
{
    int32_t n = 0;
    for (const SimCall &c : sim.calls)
        if (c.kind == kind && c.arg == arg) ++n;
    return n;
}

// The latch protocol of every run: each press is latched right before it is
// sent, its release goes out while the latch still holds it and is followed
// at once by the clear, and the pause test never falls between a press and
// its release.
void expect_latch_protocol(void)
{
    for (size_t i = 0; i < sim.calls.size(); ++i) {
        const SimCall &c = sim.calls[i];
        if (c.kind == CALL_SEND && c.arg == EDGE_PRESS) {
            EXPECT_EQ(c.held, 1u) << "press at " << c.at - START << " sent before it was latched";
            EXPECT_TRUE(i > 0 && sim.calls[i - 1].kind == CALL_LATCH)
                << "press at " << c.at - START << " not right after its latch";
        } else if (c.kind == CALL_SEND && c.arg == EDGE_RELEASE) {
            EXPECT_EQ(c.held, 1u) << "release at " << c.at - START << " with the latch empty";
            EXPECT_TRUE(i + 1 < sim.calls.size() && sim.calls[i + 1].kind == CALL_CLEAR)
                << "release at " << c.at - START << " not followed by the clear";
        } else if (c.kind == CALL_PAUSE_CHECK) {
            EXPECT_EQ(c.held, 0u) << "pause test at " << c.at - START << " inside a hold";
        }
    }
}

// Each case of a table starts from a fresh simulation and a fresh shared
// state; the fixture only keeps the process's counter frequency for the
// tests that follow.
class PacingCycle : public ::testing::Test {
protected:
    void SetUp() override { saved_frequency = perf_frequency; }

    void TearDown() override
    {
        sim.calls = std::vector<SimCall>();
        reset_shared_state();
        perf_frequency = saved_frequency;
    }

    static void start_case(void)
    {
        reset_shared_state();
        perf_frequency = MHZ10;
        current_input = KEY_A;
        sim = Sim{};
        sim.now = START;
        sim.send_cost = 0;
        sim.yield_cost = 500;  // 0.05 ms: few enough to log every one
        sim.spin_cost = 1;     // one tick: a wait's last spin lands on its target
        sim.sleep_late = 0;
        sim.stall_send = -1;
        sim.stall_ticks = 0;
        sim.stop_at = NEVER;
        sim.stop_after_reads = NEVER;
        sim.pause_from = NEVER;
        sim.pause_to = NEVER;
        sim.press_result = 1;
        sim.release_result = 1;
        sim.refused_presses = 0;
    }

    static void end_case(void) { EXPECT_EQ(sim.ran_away, 0) << "the cycle did not stop"; }

    int64_t saved_frequency = 0;
};

}  // namespace

TEST_F(PacingCycle, PressesOnTheGridAndReleasesAHoldAfterTheirDeadline)
{
    // Each run is stopped in the hold of its seventh press: seven presses on
    // the grid START + k * period, six releases a hold after their deadline.
    // A wait ends on the first spin that reaches its target, so with spins
    // of more than one tick an edge may go out up to a spin late, but that
    // lateness never carries over to the next deadline.
    struct Case {
        const char *what;
        int64_t frequency;
        int32_t period_us, hold_us;
        int64_t send_cost, sleep_late, spin_cost;
    };
    const Case cases[] = {
        {"20/s, sends take no time", MHZ10, 50000, 25000, 0, 0, 1},
        {"20/s, every send takes 1234 ticks", MHZ10, 50000, 25000, 1234, 0, 1},
        {"20/s, every sleep wakes 1.4 ms late", MHZ10, 50000, 25000, 500, 14 * MS / 10, 1},
        {"20/s, spins of 7 ticks", MHZ10, 50000, 25000, 1234, 0, 7},
        {"100/s, every send takes 3 ms of the 5 ms hold", MHZ10, 10000, 5000, 3 * MS, 0, 1},
        {"1/s, slow sends and late sleeps", MHZ10, 1000000, 25000, 777, 3000, 1},
        {"333/s, spins of 3 ticks", MHZ10, 3003, 1501, 100, 0, 3},
        {"1000/s: a release and the next press on one counter value", MHZ10, 1000, 1000, 0, 0, 1},
        {"20/s on a 3579545 Hz counter", ACPI, 50000, 25000, 1234, 0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        perf_frequency = c.frequency;
        period_us = c.period_us;
        hold_us = c.hold_us;
        sim.send_cost = c.send_cost;
        sim.sleep_late = c.sleep_late;
        sim.spin_cost = c.spin_cost;
        const int64_t period = ticks_from_us(c.period_us, c.frequency);
        const int64_t hold = ticks_from_us(c.hold_us, c.frequency);
        sim.stop_at = START + 6 * period + hold / 2;

        pacing_cycle(&SIM_OPS);

        const std::vector<int64_t> presses = sends_of(EDGE_PRESS);
        const std::vector<int64_t> releases = sends_of(EDGE_RELEASE);
        ASSERT_EQ(presses.size(), 7u);
        ASSERT_EQ(releases.size(), 6u);
        EXPECT_EQ(presses[0], 0) << "the first press is due at once";
        for (int64_t k = 1; k < 7; ++k) {
            EXPECT_GE(presses[k], k * period) << "press " << k;
            EXPECT_LT(presses[k], k * period + c.spin_cost) << "press " << k;
        }
        for (int64_t k = 0; k < 6; ++k) {
            EXPECT_GE(releases[k], k * period + hold) << "release " << k;
            EXPECT_LT(releases[k], k * period + hold + c.spin_cost) << "release " << k;
        }
        EXPECT_EQ(sent_count.load(), 6);
        EXPECT_EQ(count_calls(CALL_PAUSE_CHECK, 0), 7) << "one pause test per press";
        EXPECT_EQ(sim.latch.held, 1u) << "the press cut short by the stop stays latched";
        expect_latch_protocol();
        end_case();
    }
}

TEST_F(PacingCycle, BacklogIsWorkedOffBackToBackOrTheScheduleRestarts)
{
    // 20/s on a 10 MHz counter. The first release takes stall ticks to go
    // out, so the reading for the next deadline lies hold + stall - period
    // behind the nominal one; the catch-up limit is four periods.
    const int64_t P = 500000, H = 250000;
    struct Case {
        const char *what;
        int64_t stall;
        std::vector<int64_t> presses, releases;  // relative to START
    };
    const Case cases[] = {
        {"2.5 periods behind: overdue pairs back to back, the last with a hold cut to zero",
         3 * P,
         {0, 3 * P + H, 3 * P + H, 3 * P + H, 4 * P, 5 * P},
         {H, 3 * P + H, 3 * P + H, 3 * P + H, 4 * P + H}},
        {"exactly four periods behind: still worked off, then the old cadence",
         5 * P - H,
         {0, 5 * P, 5 * P, 5 * P, 5 * P, 5 * P, 6 * P, 7 * P},
         {H, 5 * P, 5 * P, 5 * P, 5 * P, 5 * P + H, 6 * P + H}},
        {"one tick more: the schedule restarts from the reading",
         5 * P - H + 1,
         {0, 5 * P + 1, 6 * P + 1, 7 * P + 1},
         {H, 5 * P + 1 + H, 6 * P + 1 + H}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        sim.stall_send = 1;  // the first pair's release
        sim.stall_ticks = c.stall;
        sim.stop_at = START + c.presses.back() + H / 2;

        pacing_cycle(&SIM_OPS);

        EXPECT_EQ(sends_of(EDGE_PRESS), c.presses);
        EXPECT_EQ(sends_of(EDGE_RELEASE), c.releases);
        EXPECT_EQ(sent_count.load(), (int32_t)c.releases.size());
        expect_latch_protocol();
        end_case();
    }
}

TEST_F(PacingCycle, PauseSendsNothingAndResumesWithAFullHoldOnAFreshSchedule)
{
    // 20/s; every sleep, the pause polls among them, wakes 700 ticks late so
    // that the resumed schedule lies off the old grid.
    const int64_t P = 500000, H = 250000, LATE = 700;
    const int64_t POLL = PAUSE_POLL_MS * MS + LATE;
    struct Case {
        const char *what;
        int64_t pause_from;  // relative to START
        int32_t polls;
        std::vector<int64_t> presses_before;  // presses sent before the pause
    };
    const Case cases[] = {
        {"paused from the start for three polls", 0, 3, {}},
        {"paused for two polls after two presses (less than four periods)", 2 * P, 2, {0, P}},
        {"paused for ten polls after two presses (more than four periods)", 2 * P, 10, {0, P}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        sim.sleep_late = LATE;
        // The last poll's reading: the pause ends there and the next press
        // is due at once.
        const int64_t resume = c.pause_from + c.polls * POLL;
        sim.pause_from = START + c.pause_from;
        sim.pause_to = START + resume;
        sim.stop_at = START + resume + 2 * P + H / 2;

        pacing_cycle(&SIM_OPS);

        std::vector<int64_t> presses = c.presses_before, releases;
        for (int64_t at : c.presses_before) releases.push_back(at + H);
        for (int64_t k = 0; k < 3; ++k) presses.push_back(resume + k * P);
        for (int64_t k = 0; k < 2; ++k) releases.push_back(resume + k * P + H);
        EXPECT_EQ(sends_of(EDGE_PRESS), presses);
        EXPECT_EQ(sends_of(EDGE_RELEASE), releases);
        EXPECT_EQ(count_calls(CALL_PAUSE_CHECK, 1), c.polls);
        EXPECT_EQ(count_calls(CALL_SLEEP, PAUSE_POLL_MS), c.polls) << "one poll sleep per pause test";
        expect_latch_protocol();
        end_case();
    }
}

TEST_F(PacingCycle, StopsLeaveAnUnreleasedPressInTheLatchAndSendNothingMore)
{
    // 20/s: presses at k * P, releases at k * P + H.
    const int64_t P = 500000, H = 250000;
    struct Case {
        const char *what;
        int64_t stop_at;    // relative to START
        int64_t pause_from; // relative to START, NEVER for none
        uint32_t press_result, release_result;
        size_t presses, releases;
        int32_t counted;
        uint32_t held_at_end;
    };
    const Case cases[] = {
        {"stopped before the first check", 0, NEVER, 1, 1, 0, 0, 0, 0},
        {"stop during the third hold", 2 * P + H / 2, NEVER, 1, 1, 3, 2, 2, 1},
        {"stop seen on the third release's deadline", 2 * P + H, NEVER, 1, 1, 3, 2, 2, 1},
        {"stop during the wait for the fourth press", 2 * P + H + 1, NEVER, 1, 1, 3, 3, 3, 0},
        {"stop during a pause that began at the third press", 2 * P + 120 * MS, 2 * P, 1, 1, 2, 2, 2, 0},
        {"presses refused: sent and released, not counted", 2 * P + H + 1, NEVER, 0, 1, 3, 3, 0, 0},
        {"releases refused: not counted either", 2 * P + H + 1, NEVER, 1, 0, 3, 3, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        sim.stop_at = START + c.stop_at;
        if (c.pause_from != NEVER) sim.pause_from = START + c.pause_from;
        sim.press_result = c.press_result;
        sim.release_result = c.release_result;

        pacing_cycle(&SIM_OPS);

        EXPECT_EQ(sends_of(EDGE_PRESS).size(), c.presses);
        EXPECT_EQ(sends_of(EDGE_RELEASE).size(), c.releases);
        EXPECT_EQ(sent_count.load(), c.counted);
        EXPECT_EQ(sim.latch.held, c.held_at_end);
        if (c.held_at_end) {
            EXPECT_EQ(sim.latch.input.vk, KEY_A.vk);
        }
        // Nothing goes out once the stop has been seen.
        for (const SimCall &call : sim.calls) {
            if (call.kind == CALL_SEND) {
                EXPECT_LT(call.at, sim.stop_at) << "sent after the stop";
            }
        }
        expect_latch_protocol();
        end_case();
    }
}

// The refusal flag follows the most recent press: set when the system
// inserted nothing, cleared by the next press it inserts, left alone by a
// pause; the pair goes on as usual (released, and counted only when both
// edges were inserted).
TEST_F(PacingCycle, RefusedPressRaisesTheFlagUntilAPressIsInserted)
{
    // 20/s: presses at k * P, releases at k * P + H; six pairs.
    const int64_t P = 500000, H = 250000;
    struct Case {
        const char *what;
        uint32_t refused_presses;  // bit k: press k refused
        int64_t pause_from;        // relative to START, NEVER for none
        std::vector<int32_t> refused_seen;
        int32_t refused_at_end;
        int32_t counted;
    };
    const Case cases[] = {
        {"every press inserted", 0x00, NEVER, {0, 0, 0, 0, 0, 0}, 0, 6},
        {"presses 1 and 2 refused, then accepted", 0x06, NEVER, {0, 1, 1, 0, 0, 0}, 0, 4},
        {"refused from press 4 on", 0x30, NEVER, {0, 0, 0, 0, 1, 1}, 1, 4},
        {"every press refused", 0x3F, NEVER, {1, 1, 1, 1, 1, 1}, 1, 0},
        // Paused from the third press's deadline for 120 ms: no press, the
        // flag stays as the second press left it until the next press.
        {"refused, then paused", 0x02, 2 * P, {0, 1}, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        sim.refused_presses = c.refused_presses;
        sim.stop_at = START + 5 * P + H + 1;
        if (c.pause_from != NEVER) {
            sim.pause_from = START + c.pause_from;
            sim.stop_at = START + c.pause_from + 120 * MS;
        }

        pacing_cycle(&SIM_OPS);

        EXPECT_EQ(sim.refused_seen, c.refused_seen);
        EXPECT_EQ(input_refused.load(), c.refused_at_end);
        EXPECT_EQ(sent_count.load(), c.counted);
        // Every press, refused or not, has its release and the latch is empty.
        EXPECT_EQ(sends_of(EDGE_PRESS).size(), c.refused_seen.size());
        EXPECT_EQ(sends_of(EDGE_RELEASE).size(), c.refused_seen.size());
        EXPECT_EQ(sim.latch.held, 0u);
        expect_latch_protocol();
        end_case();
    }
}

TEST_F(PacingCycle, WaitDecidesBySleepingYieldingOrSpinning)
{
    // The first decision of a wait for each remaining time, the run being
    // stopped right after it (10 MHz counter: 10000 ticks per ms).
    struct Case {
        const char *what;
        int64_t remaining;
        uint32_t call;      // CALL_SLEEP or CALL_YIELD; no call for a spin
        uint32_t sleep_ms;
    };
    const uint32_t SPIN = 99;
    const Case cases[] = {
        {"50 ms", 50 * MS, CALL_SLEEP, 20},
        {"21.5 ms", 215000, CALL_SLEEP, 20},
        {"21.4 ms", 214000, CALL_SLEEP, 19},
        {"10 ms", 10 * MS, CALL_SLEEP, 8},
        {"2.6 ms", 26000, CALL_SLEEP, 1},
        {"2.5 ms", 25000, CALL_YIELD, 0},
        {"0.25 ms", 2500, CALL_YIELD, 0},
        {"0.2 ms", 2000, SPIN, 0},
        {"one tick", 1, SPIN, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        sim.stop_after_reads = 1;
        EXPECT_EQ(pacing_wait_until(&SIM_OPS, START + c.remaining), 0);
        EXPECT_EQ(sim.reads, 1);
        if (c.call == SPIN) {
            EXPECT_TRUE(sim.calls.empty());
            EXPECT_EQ(sim.spins, 1);
        } else {
            ASSERT_EQ(sim.calls.size(), 1u);
            EXPECT_EQ(sim.calls[0].kind, c.call);
            EXPECT_EQ(sim.calls[0].arg, c.sleep_ms);
            EXPECT_EQ(sim.spins, 0);
        }
        end_case();
    }
}

TEST_F(PacingCycle, WaitLooksAtRunningBeforeEveryReading)
{
    struct Case {
        const char *what;
        int64_t target;   // relative to START
        int64_t stop_at;  // relative to START
        int32_t result;
        int64_t ends_at;  // the counter when the wait returns, relative to START
        std::vector<uint32_t> sleeps;
    };
    const Case cases[] = {
        // 50 ms: 20, 20, then 8 of the 10 left; then yields and spins to the tick.
        {"a 50 ms wait ends on its target", 50 * MS, NEVER, 1, 50 * MS, {20, 20, 8}},
        {"a target passed: done after one reading", -100, NEVER, 1, 0, {}},
        {"a target passed, but stopped: 0 without reading", -100, 0, 0, 0, {}},
        {"a target far ahead, but stopped: 0 without reading", 10000 * MS, 0, 0, 0, {}},
        {"stopped during the first sleep: seen right after it", 50 * MS, 5 * MS, 0, 20 * MS, {20}},
        {"stopped one tick before the target", 50 * MS, 50 * MS - 1, 0, 50 * MS - 1, {20, 20, 8}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        start_case();
        sim.stop_at = c.stop_at == NEVER ? NEVER : START + c.stop_at;
        EXPECT_EQ(pacing_wait_until(&SIM_OPS, START + c.target), c.result);
        EXPECT_EQ(sim.now - START, c.ends_at);
        EXPECT_EQ(sim.unasked_reads, 0) << "a reading with no look at running before it";
        if (c.stop_at == 0) {
            EXPECT_EQ(sim.reads, 0);
        }
        std::vector<uint32_t> sleeps;
        for (const SimCall &call : sim.calls)
            if (call.kind == CALL_SLEEP) sleeps.push_back(call.arg);
        EXPECT_EQ(sleeps, c.sleeps);
        end_case();
    }
}
