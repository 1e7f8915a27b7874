// The yield's wake-up: the moment a wait ends and the kernel timer that
// wakes the event loop at it (the yield built on both: qt_yielder_test.cpp).
#include "platform/wake_timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "platform/steady_millisecond_clock.h"
#include "support/table_cases.h"
#include "support/watchdog.h"

namespace kiv {
namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kWrap = std::int64_t{1} << 32;  // the 32-bit clock's range, in ms

struct MomentCase {
    const char* name;
    std::int64_t nowNs;
    std::uint32_t wakeAt;
    std::optional<std::int64_t> moment;
};

using kiv::testing::PrintTo;

class WakeMomentTest : public ::testing::TestWithParam<MomentCase> {};

TEST_P(WakeMomentTest, IsTheFirstNanosecondTheClockReadsTheBound) {
    const MomentCase& c = GetParam();
    const auto moment = WakeMomentNs(c.wakeAt, c.nowNs);
    EXPECT_EQ(moment, c.moment);
    if (!moment) return;
    // The millisecond clock, as it reads the monotonic clock, agrees: the
    // bound at the moment, the millisecond before it a nanosecond earlier.
    const auto reads = [](std::int64_t ns) { return static_cast<std::uint32_t>(ns / kMs); };
    EXPECT_EQ(reads(*moment), c.wakeAt);
    EXPECT_EQ(reads(*moment - 1), c.wakeAt - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, WakeMomentTest,
    ::testing::Values(
        MomentCase{"NextMillisecond", 5 * kMs + 500'000, 6, 6 * kMs},
        MomentCase{"OnAMillisecondEdge", 5 * kMs, 6, 6 * kMs},
        MomentCase{"SameMillisecondHasPassed", 6 * kMs + 999'999, 6, std::nullopt},
        MomentCase{"EarlierHasPassed", 9 * kMs, 6, std::nullopt},
        MomentCase{"AcrossTheWrap", (kWrap - 1) * kMs + 300'000, 2, (kWrap + 2) * kMs},
        MomentCase{"JustAfterTheWrapTheLastMillisecondHasPassed", kWrap* kMs + 700'000, 0xFFFFFFFFu,
                   std::nullopt},
        MomentCase{"SecondTimeRound", (2 * kWrap + 10) * kMs, 15, (2 * kWrap + 15) * kMs},
        MomentCase{"LongestWaitAhead", 0, 0x7FFFFFFFu, std::int64_t{0x7FFFFFFF} * kMs},
        MomentCase{"HalfTheRangeAheadCountsAsPassed", 0, 0x80000000u, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

using testing::Watchdog;

struct ArmCase {
    const char* name;
    std::int64_t firstMs;  // from now; the second arming replaces it
    std::int64_t secondMs;
};

class WakeTimerTest : public ::testing::TestWithParam<ArmCase> {};

TEST_P(WakeTimerTest, WakesTheEventLoopOnceAtTheLatestMomentArmed) {
    const ArmCase& c = GetParam();
    QCoreApplication::processEvents();
    WakeTimer timer;
    ASSERT_TRUE(timer.valid());
    Watchdog watchdog;
    const std::int64_t now = MonotonicNanoseconds();
    timer.ArmAt(now + c.firstMs * kMs);
    timer.ArmAt(now + c.secondMs * kMs);
    // Nothing else can end this wait: no event is posted, and the watchdog
    // is seconds away.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_FALSE(watchdog.barked) << "the timer never woke the event loop";
    EXPECT_EQ(timer.fired(), 1U);
    EXPECT_GE(MonotonicNanoseconds(), now + c.secondMs * kMs);
    // Fired once: the event loop does not keep waking on it.
    QCoreApplication::processEvents();
    EXPECT_EQ(timer.fired(), 1U);
}

INSTANTIATE_TEST_SUITE_P(Arming, WakeTimerTest,
                         ::testing::Values(ArmCase{"Past", -10, -5}, ArmCase{"Soon", 3, 3},
                                           ArmCase{"FarThenSoon", 60'000, 5},
                                           ArmCase{"PastThenSoon", -1, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PaceCase {
    const char* name;
    std::vector<std::int64_t> atMs;  // the moments asked for, one after the other's wake-up
    bool keepsPace;                  // one step apart throughout
};

class WakeTimerPaceTest : public ::testing::TestWithParam<PaceCase> {};

// A loop that keeps time gets its later wake-ups without setting the timer
// again; every wake-up still comes at or after its moment, one per moment;
// and once nobody asks, the repetition stops after at most one more.
TEST_P(WakeTimerPaceTest, RepeatsForALoopThatKeepsPaceAndStopsWhenNobodyWaits) {
    const PaceCase& c = GetParam();
    QCoreApplication::processEvents();
    WakeTimer timer;
    ASSERT_TRUE(timer.valid());
    Watchdog watchdog;
    const std::int64_t base = MonotonicNanoseconds();
    for (const std::int64_t ms : c.atMs) {
        const std::uint64_t before = timer.fired();
        timer.ArmAt(base + ms * kMs);
        while (timer.fired() == before && !watchdog.barked)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        EXPECT_GE(MonotonicNanoseconds(), base + ms * kMs) << ms;
    }
    EXPECT_FALSE(watchdog.barked);
    EXPECT_EQ(timer.fired(), c.atMs.size());
    if (c.keepsPace) {
        // Ideally two (the first moment, then the one that gives the step);
        // a stall of the machine may cost another.
        EXPECT_LT(timer.timesSet(), c.atMs.size());
    } else {
        EXPECT_EQ(timer.timesSet(), c.atMs.size());
    }

    const std::uint64_t firedAtEnd = timer.fired();
    Watchdog quiet(150);
    while (!quiet.barked) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_LE(timer.fired(), firedAtEnd + 1) << "the timer went on repeating";
}

INSTANTIATE_TEST_SUITE_P(
    Pacing, WakeTimerPaceTest,
    ::testing::Values(PaceCase{"EveryTwentyMs", {20, 40, 60, 80, 100}, true},
                      PaceCase{"HalfPeriodsOfTwenty", {10, 20, 30, 40, 50, 60}, true},
                      PaceCase{"NoTwoStepsAlike", {20, 50, 60, 90, 95}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kiv
