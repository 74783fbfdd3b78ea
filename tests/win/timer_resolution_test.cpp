// winmm's timer functions, bound at run time: before they are looked up the
// worker's calls do nothing (as when the system lacks them), and once looked
// up they come from the winmm.dll of the system folder.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>
#include <string>

#include "pacing/timer_resolution_win.h"

namespace {

std::string lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return text;
}

}  // namespace

// One test, because the two states are those of one process before and after
// start-up.
TEST(TimerResolution, SkippedUntilLookedUpThenTakenFromTheSystemFolder)
{
    EXPECT_EQ(GetModuleHandleA("winmm.dll"), (HMODULE)NULL)
        << "winmm.dll was loaded before the lookup: the test cannot tell where it came from";
    EXPECT_EQ(begin_timer_resolution(1), 0);
    EXPECT_EQ(end_timer_resolution(1), 0);

    ASSERT_EQ(load_timer_resolution(), 1);
    EXPECT_EQ(load_timer_resolution(), 1) << "a second lookup must give the same answer";
    EXPECT_EQ(begin_timer_resolution(1), 1);
    EXPECT_EQ(end_timer_resolution(1), 1);

    const HMODULE winmm = GetModuleHandleA("winmm.dll");
    ASSERT_NE(winmm, (HMODULE)NULL);
    char loaded[MAX_PATH] = "";
    ASSERT_GT(GetModuleFileNameA(winmm, loaded, sizeof loaded), 0u);
    char system[MAX_PATH] = "";
    ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
    EXPECT_EQ(lower(loaded), lower(std::string(system) + "\\winmm.dll"));
}
