// The pacing worker and its window tests, run for real under Wine against
// test windows: one stands in for the program's own window (main_window),
// another is the target application in front.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <atomic>
#include <new>

#include "app/app_main_win.h"
#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "pacing/pacing_worker_win.h"
#include "tests/reset_shared_state.h"
#include "test_window.h"

// Allocations made on the worker thread while it runs: its cycle must make
// none. Counted by replacing the global allocation functions.
namespace {
std::atomic<DWORD> watched_thread{0};
std::atomic<int32_t> watched_allocations{0};
}  // namespace

void *operator new(size_t size)
{
    if (GetCurrentThreadId() == watched_thread.load()) watched_allocations.fetch_add(1);
    void *block = malloc(size ? size : 1);
    if (block == NULL) abort();
    return block;
}
void operator delete(void *block) noexcept { free(block); }
void operator delete(void *block, size_t) noexcept { free(block); }

namespace {

const InputSpec &KEY_A = INPUT_CATALOGUE[14];
const InputSpec &LEFT_CLICK = INPUT_CATALOGUE[0];

int64_t ticks_to_us(int64_t ticks) { return ticks * 1000000 / perf_frequency; }

class PacingWorker : public ::testing::Test {
protected:
    // The windows live for the whole program: under Wine, hiding or
    // destroying the active window costs seconds.
    static void SetUpTestSuite()
    {
        // As the program does at start-up; among its steps is the request to
        // keep the timer resolution honoured, which Wine refuses and which
        // must change nothing.
        prepare_process();

        own = create_test_window("own", 40, 40, 300, 200);
        own_child = CreateWindowExA(0, "BUTTON", "child", WS_CHILD | WS_VISIBLE, 50, 50, 120, 60,
                                    own, NULL, GetModuleHandleA(NULL), NULL);
        own_popup = create_test_window("own popup", 40, 400, 300, 150, own);
        target = create_test_window("target", 450, 100, 400, 300);
    }

    void SetUp() override
    {
        ASSERT_TRUE(own && own_child && own_popup && target);
        reset_shared_state();
        main_window = own;
        current_input = KEY_A;
        ASSERT_TRUE(bring_to_front(target));
        ASSERT_TRUE(cursor_to(target));
        ASSERT_TRUE(flush_input());
        clear_test_log();
    }

    void TearDown() override
    {
        if (worker) {
            running.store(0);
            WaitForSingleObject(worker, 5000);
            CloseHandle(worker);
            worker = NULL;
        }
        release_held_input();
        watched_thread.store(0);
    }

    // Starts the worker the way the run controller does (running set first),
    // created suspended only to learn its id before it runs.
    void start_worker(int32_t with_running = 1)
    {
        running.store(with_running);
        sent_count.store(0);  // as the controller does while no worker exists
        DWORD id = 0;
        worker = CreateThread(NULL, 0, worker_main, NULL, CREATE_SUSPENDED, &id);
        ASSERT_NE(worker, (HANDLE)NULL);
        watched_allocations.store(0);
        watched_thread.store(id);
        ResumeThread(worker);
    }

    // Clears running and waits (pumping) for the worker to end; returns the
    // milliseconds it took, or -1 when it did not end within 5 s.
    int64_t stop_worker()
    {
        const int64_t from = test_counter();
        running.store(0);
        const HANDLE thread = worker;
        const bool ended =
            pump_until([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 5000);
        const int64_t took = ticks_to_us(test_counter() - from) / 1000;
        CloseHandle(worker);
        worker = NULL;
        return ended ? took : -1;
    }

    static int32_t logged_count(HWND window, UINT message)
    {
        int32_t n = 0;
        for (const LoggedMessage &m : logged_messages())
            if (m.window == window && m.message == message) ++n;
        return n;
    }

    static HWND own, own_child, own_popup, target;
    HANDLE worker = NULL;
};
HWND PacingWorker::own = NULL;
HWND PacingWorker::own_child = NULL;
HWND PacingWorker::own_popup = NULL;
HWND PacingWorker::target = NULL;

// The key messages of a run as pairs: checks that they all went to window,
// alternate press/release of vk starting with a press, and that every press
// was released. Returns the press stamps and hold lengths via the vectors.
void expect_released_pairs(HWND window, WPARAM vk, std::vector<int64_t> *presses,
                           std::vector<int64_t> *holds)
{
    bool down = false;
    for (const LoggedMessage &m : logged_messages()) {
        if (m.message == WM_WORKER_DONE) continue;
        EXPECT_EQ(m.window, window) << "message " << m.message << " went elsewhere";
        EXPECT_EQ(m.wparam, vk);
        if (m.message == WM_KEYDOWN) {
            EXPECT_FALSE(down) << "a press before the previous one was released";
            down = true;
            presses->push_back(m.stamp);
        } else if (m.message == WM_KEYUP) {
            EXPECT_TRUE(down) << "a release without its press";
            if (down && !presses->empty()) holds->push_back(m.stamp - presses->back());
            down = false;
        } else {
            ADD_FAILURE() << "unexpected message " << m.message;
        }
    }
    EXPECT_FALSE(down) << "the last press was never released";
}

}  // namespace

// The pause rule for each window in front and each place of the cursor.
TEST_F(PacingWorker, PauseRuleForFrontWindowAndCursor)
{
    struct Case { const char *what; HWND *front; HWND *cursor_over; const InputSpec *input;
                  int32_t own_in_front, cursor_over_own, pause; };
    const Case cases[] = {
        {"target in front, key", &target, &target, &KEY_A, 0, 0, 0},
        {"target in front, click", &target, &target, &LEFT_CLICK, 0, 0, 0},
        {"own window in front", &own, &target, &KEY_A, 1, 0, 1},
        {"own window in front, click", &own, &target, &LEFT_CLICK, 1, 0, 1},
        {"window owned by ours in front", &own_popup, &target, &KEY_A, 1, 0, 1},
        {"cursor over own window, key", &target, &own, &KEY_A, 0, 1, 0},
        {"cursor over own window, click", &target, &own, &LEFT_CLICK, 0, 1, 1},
        {"cursor over a child control, click", &target, &own_child, &LEFT_CLICK, 0, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(bring_to_front(*c.front));
        ASSERT_TRUE(cursor_to(*c.cursor_over));
        current_input = *c.input;
        EXPECT_EQ(own_window_in_front(), c.own_in_front);
        EXPECT_EQ(cursor_over_main_window(), c.cursor_over_own);
        EXPECT_EQ(worker_should_pause(), c.pause);
    }

    // Without a main window nothing of the program is in front, and the
    // cursor is over none of it.
    main_window = NULL;
    ASSERT_TRUE(bring_to_front(target));
    ASSERT_TRUE(cursor_to(target));
    EXPECT_EQ(own_window_in_front(), 0);
    EXPECT_EQ(cursor_over_main_window(), 0);
    EXPECT_EQ(worker_should_pause(), 0);
}

TEST_F(PacingWorker, WaitUntilReachesTargetOrSeesTheStop)
{
    struct Case { const char *what; int32_t run; int64_t target_us; int32_t result; };
    const Case cases[] = {
        {"target passed", 1, -1000, 1},
        {"target now", 1, 0, 1},
        {"target 30 ms ahead", 1, 30000, 1},
        {"stopped, target passed", 0, -1000, 0},
        {"stopped, target 10 s ahead", 0, 10000000, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        running.store(c.run);
        const int64_t target_ticks = test_counter() + c.target_us * perf_frequency / 1000000;
        EXPECT_EQ(wait_until(target_ticks), c.result);
        if (c.result == 1) EXPECT_GE(test_counter(), target_ticks) << "returned before the target";
        else EXPECT_LT(test_counter(), target_ticks + perf_frequency) << "stop seen late";
    }
}

// 100 per second until 50 presses have arrived (about half a second).
TEST_F(PacingWorker, PacesReleasedPairsAndCountsThem)
{
    period_us = 10000;
    hold_us = 5000;
    const int64_t started = test_counter();
    start_worker();
    ASSERT_TRUE(pump_until([] { return logged_count(target, WM_KEYDOWN) >= 50; }, 10000))
        << "presses arrived: " << logged_count(target, WM_KEYDOWN);
    const int32_t allocations = watched_allocations.load();
    ASSERT_GE(stop_worker(), 0) << "the worker did not end";
    ASSERT_TRUE(pump_until([] { return logged_count(own, WM_WORKER_DONE) == 1; }, 2000));
    ASSERT_TRUE(flush_input());

    std::vector<int64_t> presses, holds;
    expect_released_pairs(target, 'A', &presses, &holds);
    const int32_t pairs = (int32_t)presses.size();
    const int32_t counted = sent_count.load();
    // The pair in flight at the stop is sent but not counted when the stop
    // fell in its hold.
    EXPECT_TRUE(counted == pairs || counted == pairs - 1) << counted << " counted, " << pairs << " seen";
    EXPECT_EQ(held_input.held, 0u);
    EXPECT_EQ(logged_count(own, WM_WORKER_DONE), 1);
    EXPECT_EQ(allocations, 0) << "the cycle allocated";

    // Never faster than the schedule: a press is never sent before its
    // deadline, and deadlines only move by whole periods or later. The
    // first press's delivery may lag, hence the wide margin.
    ASSERT_GE(pairs, 50);
    const int64_t period_ticks = 10000 * perf_frequency / 1000000;
    EXPECT_GE(presses[49] - presses[1], 48 * period_ticks * 8 / 10);

    // Figures (Wine's sleeps are finer than Windows' timer ticks: these are
    // better than Windows would give). Lateness is measured against the
    // evenly spaced grid through the earliest press, since no press goes out
    // before its deadline.
    int64_t anchor = INT64_MAX;
    for (int32_t k = 0; k < pairs; ++k)
        if (presses[k] - k * period_ticks < anchor) anchor = presses[k] - k * period_ticks;
    int64_t worst_late = 0, worst_late_after_five = 0;
    int32_t late_1ms = 0, late_period = 0;
    for (int32_t k = 0; k < pairs; ++k) {
        const int64_t late = presses[k] - k * period_ticks - anchor;
        if (late > worst_late) worst_late = late;
        if (k >= 5 && late > worst_late_after_five) worst_late_after_five = late;
        if (late > perf_frequency / 1000) ++late_1ms;
        if (late > period_ticks) ++late_period;
    }
    int64_t hold_min = INT64_MAX, hold_max = 0, hold_sum = 0;
    int32_t short_holds = 0;
    for (int64_t h : holds) {
        hold_min = h < hold_min ? h : hold_min;
        hold_max = h > hold_max ? h : hold_max;
        hold_sum += h;
        if (h < perf_frequency / 1000) ++short_holds;
    }
    printf("[ figures  ] %d pairs seen, %d counted; first press %.1f ms after the start; "
           "first to last press %.1f ms (ideal %.1f)\n",
           pairs, counted, ticks_to_us(presses[0] - started) / 1000.0,
           ticks_to_us(presses.back() - presses[0]) / 1000.0, (pairs - 1) * 10.0);
    printf("[ figures  ] presses late against the grid: worst %.3f ms (%.3f ms after the "
           "first five), %d over 1 ms, %d over a period\n",
           ticks_to_us(worst_late) / 1000.0, ticks_to_us(worst_late_after_five) / 1000.0,
           late_1ms, late_period);
    printf("[ figures  ] hold (5 ms asked): min %.3f, mean %.3f, max %.3f ms; "
           "%d holds under 1 ms (pairs sent back to back to catch up)\n",
           ticks_to_us(hold_min) / 1000.0,
           ticks_to_us(holds.empty() ? 0 : hold_sum / (int64_t)holds.size()) / 1000.0,
           ticks_to_us(hold_max) / 1000.0, short_holds);
}

// With the program's own window, or a window it owns, in front nothing is
// sent; once another application comes to the front the presses start.
TEST_F(PacingWorker, NothingSentWhileOwnWindowInFront)
{
    HWND *const fronts[] = {&own, &own_popup};
    for (HWND *front : fronts) {
        SCOPED_TRACE(*front == own ? "own window" : "owned window");
        ASSERT_TRUE(bring_to_front(*front));
        ASSERT_TRUE(flush_input());
        clear_test_log();
        start_worker();
        pump_for(300);  // six pause polls
        EXPECT_TRUE(logged_messages().empty()) << logged_messages().size() << " messages while paused";
        EXPECT_EQ(sent_count.load(), 0);

        ASSERT_TRUE(bring_to_front(target));
        EXPECT_TRUE(pump_until([] { return logged_count(target, WM_KEYUP) >= 2; }, 5000))
            << "no pairs after the target came to the front";
        ASSERT_GE(stop_worker(), 0);
        ASSERT_TRUE(flush_input());
        std::vector<int64_t> presses, holds;
        expect_released_pairs(target, 'A', &presses, &holds);
        EXPECT_GE(sent_count.load(), 1);
    }
}

TEST_F(PacingWorker, StoppedBeforeTheFirstCheckSendsNothingButStillReports)
{
    start_worker(0);
    ASSERT_GE(stop_worker(), 0);
    EXPECT_TRUE(pump_until([] { return logged_count(own, WM_WORKER_DONE) == 1; }, 2000));
    ASSERT_TRUE(flush_input());
    for (const LoggedMessage &m : logged_messages())
        EXPECT_EQ(m.message, (UINT)WM_WORKER_DONE) << "sent message " << m.message;
    EXPECT_EQ(sent_count.load(), 0);
    EXPECT_EQ(held_input.held, 0u);
}

// A stop during a long hold cuts it short: the release goes out from the
// latch at the worker's end and the pair is not counted. A stop during the
// wait for the next press sends nothing more.
TEST_F(PacingWorker, StopDuringHoldOrWaitLeavesNothingDown)
{
    struct Case { const char *what; int32_t hold_us; UINT stop_after; int32_t counted; };
    const Case cases[] = {
        {"stop during a 3 s hold", 3000000, WM_KEYDOWN, 0},
        {"stop while waiting 6 s for the next press", 5000, WM_KEYUP, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        clear_test_log();
        sent_count.store(0);
        hold_us = c.hold_us;
        period_us = 6000000;
        start_worker();
        const UINT stop_after = c.stop_after;
        ASSERT_TRUE(pump_until([stop_after] { return logged_count(target, stop_after) == 1; }, 5000));

        if (c.stop_after == WM_KEYDOWN) {
            // Latched before the press, and the lock is free during the hold.
            ASSERT_TRUE(TryEnterCriticalSection(&input_lock)) << "lock held across the wait";
            EXPECT_EQ(held_input.held, 1u);
            EXPECT_EQ(held_input.input.vk, KEY_A.vk);
            LeaveCriticalSection(&input_lock);
        }
        const int64_t took_ms = stop_worker();
        ASSERT_GE(took_ms, 0) << "the worker did not end";
        EXPECT_LT(took_ms, 1000) << "the stop waited out the hold or the period";
        EXPECT_EQ(held_input.held, 0u);

        release_held_input();  // the stop's own take finds nothing to send
        ASSERT_TRUE(flush_input());
        EXPECT_EQ(logged_count(target, WM_KEYDOWN), 1);
        EXPECT_EQ(logged_count(target, WM_KEYUP), 1);
        EXPECT_EQ(sent_count.load(), c.counted);
        EXPECT_TRUE(pump_until([] { return logged_count(own, WM_WORKER_DONE) == 1; }, 2000));
        printf("[ figures  ] %s: worker ended %lld ms after the stop\n", c.what, (long long)took_ms);
    }
}
