// The state the window thread and the pacing worker share, exercised from two
// real threads with the same access discipline as the program: atomics for
// running, sent_count and input_refused, the latch only under one lock, the
// release sent outside it. The worker's thread runs the program's own
// cycle. Under ThreadSanitizer these tests fail on any data race.
#include <gtest/gtest.h>
#include <stdio.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include "common/shared_state.h"
#include "input/held_input.h"
#include "pacing/pacing_cycle.h"
#include "pacing/pacing_math.h"
#include "tests/reset_shared_state.h"

namespace {

// Stand-ins for the platform's lock and sender: input_lock is a mutex here,
// and a send only counts the edge.
std::mutex latch_lock;
std::atomic<int32_t> presses_sent{0};
std::atomic<int32_t> releases_sent{0};

int64_t steady_ns(void)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleep_whole_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void give_up_slice(void) { std::this_thread::yield(); }

void spin_hint(void) {}

uint32_t count_edge(const InputSpec &, InputEdge edge)
{
    (edge == EDGE_PRESS ? presses_sent : releases_sent).fetch_add(1);
    return 1;
}

int32_t never_pause(void) { return 0; }

int32_t running_now(void) { return running.load(); }

void latch_under_lock(const InputSpec &input)
{
    std::lock_guard<std::mutex> guard(latch_lock);
    latch_held_input(&held_input, &input);
}

void clear_under_lock(void)
{
    std::lock_guard<std::mutex> guard(latch_lock);
    take_held_input(&held_input, nullptr);
}

// The cycle on the machine's steady clock, in nanoseconds.
const PacingOps THREAD_OPS = {
    steady_ns,        // read_counter
    sleep_whole_ms,   // sleep_ms
    give_up_slice,    // give_up_slice
    spin_hint,        // spin_hint
    count_edge,       // send_edge
    never_pause,      // should_pause
    running_now,      // is_running
    latch_under_lock, // latch_input
    clear_under_lock, // clear_latch
};

// The release path every stop shares: take under the lock, send outside it.
void release_from_latch(void)
{
    int32_t got;
    {
        std::lock_guard<std::mutex> guard(latch_lock);
        got = take_held_input(&held_input, nullptr);
    }
    if (got) releases_sent.fetch_add(1);
}

}  // namespace

TEST(SharedState, CountAndFlagAcrossThreads)
{
    running.store(1);
    sent_count.store(0);
    const int32_t pairs = 20000;
    std::thread worker([&] {
        for (int32_t i = 0; i < pairs; ++i) {
            if (pair_is_counted(sent_count.load(), 1, 1)) sent_count.fetch_add(1);
        }
        running.store(0);
    });
    int32_t last_seen = 0;
    while (running.load()) {
        int32_t now = sent_count.load();
        ASSERT_GE(now, last_seen) << "the count the window shows never goes back";
        last_seen = now;
    }
    worker.join();
    EXPECT_EQ(sent_count.load(), pairs);
}

TEST(SharedState, StopAndTakeAgainstTheRunningCycle)
{
    // The worker runs the cycle at 500 per second (a hold of 1 ms) and
    // ends as the program's worker does, releasing what it still holds; the
    // main thread stops it at a moment that moves from round to round,
    // through holds and waits, and takes the latch as the stop does.
    const int64_t saved_frequency = perf_frequency;
    int32_t cut_holds = 0;
    const int32_t rounds = 40;
    for (int32_t round = 0; round < rounds; ++round) {
        reset_shared_state();
        perf_frequency = 1000000000;
        period_us = 2000;
        hold_us = 1000;
        current_input = INPUT_CATALOGUE[INPUT_DEFAULT_INDEX];
        presses_sent.store(0);
        releases_sent.store(0);

        running.store(1);
        std::thread worker([] {
            pacing_cycle(&THREAD_OPS);
            release_from_latch();  // the worker's end
        });
        // A few pairs first, then a stop after a varying number of yields.
        const int64_t give_up_at = steady_ns() + 5000000000;
        int32_t last_count = 0;
        while (last_count < 2 && steady_ns() < give_up_at) {
            const int32_t count = sent_count.load();
            EXPECT_GE(count, last_count) << "the count the window shows never goes back";
            // Read as the status refresh reads it: every press is inserted here.
            EXPECT_EQ(input_refused.load(), 0);
            last_count = count;
        }
        for (int32_t spin = 0; spin < round * 37; ++spin) std::this_thread::yield();
        running.exchange(0);
        release_from_latch();  // the stop's own take, racing the worker's end
        worker.join();
        release_from_latch();  // the exit's final take finds nothing

        const int32_t presses = presses_sent.load(), releases = releases_sent.load();
        const int32_t counted = sent_count.load();
        EXPECT_EQ(held_input.held, 0u) << "round " << round;
        EXPECT_GE(presses, 2) << "round " << round;
        // Every press is released; a take between the worker's release and
        // its clear may send one release more.
        EXPECT_GE(releases, presses) << "round " << round;
        EXPECT_LE(releases, presses + 1) << "round " << round;
        // Only a pair whose release went out in the cycle is counted.
        EXPECT_TRUE(counted == presses || counted == presses - 1)
            << "round " << round << ": " << counted << " counted, " << presses << " pressed";
        if (counted == presses - 1) ++cut_holds;
    }
    printf("[ figures  ] %d of %d stops fell in a hold\n", cut_holds, rounds);
    reset_shared_state();
    perf_frequency = saved_frequency;
}
