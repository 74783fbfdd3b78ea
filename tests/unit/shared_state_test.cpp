// The state the window thread and the pacing worker share, exercised from two
// real threads with the same access discipline as the program: atomics for
// running and sent_count, the latch only under one lock, the release sent
// outside it. Under ThreadSanitizer these tests fail on any data race.
#include <gtest/gtest.h>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>
#include "input/held_input.h"
#include "pacing/pacing_math.h"
#include "common/shared_state.h"

namespace {

// Stand-in for the platform lock and the sender: records which edges went out.
struct Wire {
    std::mutex lock;
    HeldInput latch{};
    std::atomic<int32_t> presses{0};
    std::atomic<int32_t> releases{0};
};

void release_from_latch(Wire &wire)
{
    InputSpec taken{};
    int32_t got;
    {
        std::lock_guard<std::mutex> guard(wire.lock);
        got = take_held_input(&wire.latch, &taken);
    }
    if (got) wire.releases.fetch_add(1);
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

TEST(SharedState, EveryLatchedPressIsReleasedOnceAStopTakesTheLatch)
{
    // A worker cycles latch -> press -> release -> clear while another thread
    // stops it at an arbitrary moment and takes the latch, as a stop does.
    const InputSpec &space = INPUT_CATALOGUE[INPUT_DEFAULT_INDEX];
    for (int round = 0; round < 60; ++round) {
        Wire wire;
        std::atomic<int32_t> go{1};
        std::thread worker([&] {
            while (go.load()) {
                {
                    std::lock_guard<std::mutex> guard(wire.lock);
                    latch_held_input(&wire.latch, &space);
                }
                wire.presses.fetch_add(1);
                if (!go.load()) break;  // stopped during the hold: the latch keeps the press
                wire.releases.fetch_add(1);
                std::lock_guard<std::mutex> guard(wire.lock);
                take_held_input(&wire.latch, nullptr);
            }
            release_from_latch(wire);  // the worker's end
        });
        for (int spin = 0; spin < round * 5; ++spin) std::this_thread::yield();
        go.store(0);
        release_from_latch(wire);  // the stop's own take, racing the worker's end
        worker.join();
        release_from_latch(wire);  // the exit's final take finds nothing
        EXPECT_EQ(wire.latch.held, 0u);
        EXPECT_GE(wire.releases.load(), wire.presses.load()) << "round " << round;
    }
}
