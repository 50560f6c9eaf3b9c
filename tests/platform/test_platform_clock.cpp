// The frame clock's bookkeeping, the random generator and the key codes.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <vector>

#include "platform/window/FrameTick.h"
#include "platform/window/KeyCode.h"
#include "platform/common/Random.h"

namespace clavora {
namespace {

TEST(PlatformClock, OneTickAtATimeAndNoneOnceStopped) {
    using namespace std::chrono;
    using TP = FrameSchedule::Clock::time_point;
    const TP t0{};
    FrameSchedule clock;
    EXPECT_EQ(clock.WaitMs(t0), -1);  // not started: wait for events only
    EXPECT_FALSE(clock.TakeDue(t0 + seconds(1)));
    ASSERT_TRUE(clock.Start(30, t0));
    EXPECT_EQ(clock.WaitMs(t0), 30);
    EXPECT_EQ(clock.WaitMs(t0 + microseconds(100)), 30);  // rounded up, never early
    EXPECT_EQ(clock.WaitMs(t0 + microseconds(29001)), 1);
    EXPECT_FALSE(clock.TakeDue(t0 + microseconds(29999)));
    EXPECT_EQ(clock.WaitMs(t0 + milliseconds(30)), 0);
    EXPECT_TRUE(clock.TakeDue(t0 + milliseconds(30)));
    EXPECT_FALSE(clock.TakeDue(t0 + milliseconds(30)));  // taken: the next is 30 ms on
    // A window busy for 200 ms gets one tick, not a burst of the six it missed.
    EXPECT_TRUE(clock.TakeDue(t0 + milliseconds(260)));
    EXPECT_FALSE(clock.TakeDue(t0 + milliseconds(261)));
    EXPECT_EQ(clock.WaitMs(t0 + milliseconds(261)), 9);  // back on the grid, at 270
    clock.Stop();
    EXPECT_FALSE(clock.TakeDue(t0 + seconds(5)));
    EXPECT_EQ(clock.WaitMs(t0 + seconds(5)), -1);
    EXPECT_FALSE(clock.Start(0, t0));
}

TEST(PlatformClock, AThousandTicksTakeThirtySecondsWhateverTheWaits) {
    using namespace std::chrono;
    using TP = FrameSchedule::Clock::time_point;
    TP now{};
    const TP start = now;
    FrameSchedule clock;
    ASSERT_TRUE(clock.Start(30, now));
    int ticks = 0;
    // The window wakes when told to, plus 0..12 ms of its own lateness, or earlier for
    // an event; the ticks still keep to the grid.
    for (int k = 0; ticks < 1000; ++k) {
        const int wait = clock.WaitMs(now);
        now += milliseconds(k % 5 == 0 ? wait / 2 : wait + (k * 7) % 13);
        if (clock.TakeDue(now)) ++ticks;
    }
    EXPECT_EQ(clock.WaitMs(now) + duration_cast<milliseconds>(now - start).count(), 30030);
}

TEST(PlatformClock, TicksKeepToTheGridHoweverLateTheyWake) {
    using namespace std::chrono;
    using TP = steady_clock::time_point;
    const TP start{};
    const auto period = milliseconds(30);
    TP due = start + period;
    // Each wake-up comes 0..12 ms late: the next tick is still due on the grid, so a
    // thousand ticks end exactly 30 s after the start.
    for (int k = 1; k < 1000; ++k) {
        const TP woke = due + milliseconds((k * 7) % 13);
        due = NextTick(due, period, woke);
        ASSERT_EQ(due, start + period * (k + 1)) << k;
    }
    EXPECT_EQ(due - start, seconds(30));
}

TEST(PlatformClock, AStalledClockSkipsTheTicksItMissed) {
    using namespace std::chrono;
    using TP = steady_clock::time_point;
    const TP start{};
    const auto period = milliseconds(30);
    // Due at 30 ms, woke at 200 ms: the ticks at 60..180 are gone, the next is at 210.
    EXPECT_EQ(NextTick(start + period, period, start + milliseconds(200)),
              start + milliseconds(210));
    // Waking exactly on the next tick also skips it, instead of firing twice at once.
    EXPECT_EQ(NextTick(start + period, period, start + milliseconds(60)),
              start + milliseconds(90));
}

TEST(PlatformRandom, SeededOnceRepeatableAndWithinRange) {
    RandomGenerator a;
    RandomGenerator b;
    a.Seed(1700000000u);
    b.Seed(1700000000u);
    std::vector<int32_t> first;
    for (int i = 0; i < 1000; ++i) {
        const int32_t r = a.Next();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 32767);
        ASSERT_EQ(r, b.Next());
        first.push_back(r);
    }
    b.Seed(1700000001u);
    int same = 0;
    for (int i = 0; i < 1000; ++i) same += b.Next() == first[i];
    EXPECT_LT(same, 20);
}

TEST(PlatformRandom, DrawsOutOfTwentyNineCoverEveryValueEvenly) {
    // The game deals its 29 notes with (r x 29) / 32768.
    RandomGenerator g;
    g.Seed(12345u);
    int count[29] = {};
    const int draws = 29000;
    for (int i = 0; i < draws; ++i) ++count[(g.Next() * 29) / 32768];
    for (int c : count) {
        EXPECT_GT(c, 800);
        EXPECT_LT(c, 1200);
    }
}

TEST(PlatformKeys, VirtualKeyCodes) {
    EXPECT_EQ(VirtualKeyFromKeycode('a'), uint32_t{'A'});
    EXPECT_EQ(VirtualKeyFromKeycode('z'), uint32_t{'Z'});
    EXPECT_EQ(VirtualKeyFromKeycode('R'), uint32_t{'R'});
    EXPECT_EQ(VirtualKeyFromKeycode('0'), uint32_t{'0'});
    EXPECT_EQ(VirtualKeyFromKeycode('9'), uint32_t{'9'});
    EXPECT_EQ(VirtualKeyFromKeycode(' '), 32u);
    EXPECT_EQ(VirtualKeyFromKeycode('\r'), 13u);
    EXPECT_EQ(VirtualKeyFromKeycode(27), 27u);
    for (int32_t other : std::initializer_list<int32_t>{'[', '`', '{', '-', '/', ':', '@', 0, 127,
                                                         (1 << 30) | 58})
        EXPECT_EQ(VirtualKeyFromKeycode(other), 0u) << other;
}

TEST(PlatformKeys, NonLatinLayoutsUseThePlaceOfTheKey) {
    constexpr int32_t kScancodeR = 21;  // USB HID usage of R
    constexpr int32_t kScancodeQ = 20;
    // A French layout types 'a' on the key where Q is: the letter counts, not the place.
    EXPECT_EQ(VirtualKey('a', kScancodeQ), uint32_t{'A'});
    // A Russian layout types U+043A on the R key: the place counts.
    EXPECT_EQ(VirtualKey(0x043A, kScancodeR), uint32_t{'R'});
    EXPECT_EQ(VirtualKey(0x00E9, 31), uint32_t{'2'});  // e acute on the 2 key
    EXPECT_EQ(VirtualKey(0x00E9, 39), uint32_t{'0'});
    EXPECT_EQ(VirtualKey(0x00E9, 44), uint32_t{' '});
    // Keys without a character never become letters, wherever they are.
    EXPECT_EQ(VirtualKey((1 << 30) | 58, kScancodeR), 0u);
    // An ASCII punctuation key keeps meaning nothing, even on a letter's place.
    EXPECT_EQ(VirtualKey(';', 51), 0u);
    EXPECT_EQ(VirtualKey(0x00E9, 45), 0u);  // a place with no code of ours
    EXPECT_EQ(VirtualKeyFromScancode(4), uint32_t{'A'});
    EXPECT_EQ(VirtualKeyFromScancode(29), uint32_t{'Z'});
    EXPECT_EQ(VirtualKeyFromScancode(30), uint32_t{'1'});
    EXPECT_EQ(VirtualKeyFromScancode(38), uint32_t{'9'});
    EXPECT_EQ(VirtualKeyFromScancode(3), 0u);
}

}  // namespace
// A clock held while the window had nothing to do counts every tick it held back,
// and goes on from the grid as if it had ticked all along.
TEST(PlatformClock, AHeldClockCountsTheTicksItHeldBack) {
    using namespace std::chrono;
    using TP = FrameSchedule::Clock::time_point;
    const TP t0{};
    FrameSchedule clock;
    EXPECT_EQ(clock.TakeAllDue(t0 + seconds(1)), 0);  // not started
    ASSERT_TRUE(clock.Start(30, t0));
    EXPECT_EQ(clock.TakeAllDue(t0 + milliseconds(29)), 0);
    EXPECT_EQ(clock.TakeAllDue(t0 + milliseconds(30)), 1);
    EXPECT_EQ(clock.TakeAllDue(t0 + milliseconds(30)), 0);
    EXPECT_EQ(clock.TakeAllDue(t0 + milliseconds(185)), 5);  // 60, 90, 120, 150, 180
    EXPECT_EQ(clock.WaitMs(t0 + milliseconds(185)), 25);     // next at 210
    EXPECT_EQ(clock.TakeAllDue(t0 + hours(1)), 120000 - 6);
    clock.Stop();
    EXPECT_EQ(clock.TakeAllDue(t0 + hours(2)), 0);
}

}  // namespace clavora
