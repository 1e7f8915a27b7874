// The window's yield: one pass of Qt's event loop that sleeps until the next
// event or the bound, whichever comes first, and never spins; and the clock
// it wakes by.
#include "platform/qt_yielder.h"

#include <gtest/gtest.h>
#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <thread>

#include "platform/steady_millisecond_clock.h"
#include "support/event_counter.h"
#include "support/watchdog.h"

namespace kiv::testing {
namespace {

// Signed distance from a to b on the wrapping 32-bit clock.
std::int32_t Ahead(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(b - a);
}

std::uint32_t PosixMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000);
}

TEST(SteadyMillisecondClockTest, ReadsTheMonotonicClockInWholeMilliseconds) {
    SteadyMillisecondClock clock;
    for (int i = 0; i < 100; ++i) {
        const std::uint32_t before = PosixMilliseconds();
        const std::uint32_t now = clock.Now();
        const std::uint32_t after = PosixMilliseconds();
        ASSERT_GE(Ahead(before, now), 0);
        ASSERT_GE(Ahead(now, after), 0);
    }
}

class QtYielderPassedBound : public ::testing::TestWithParam<std::uint32_t> {};

// Offsets from now that all read as passed: now itself, just before, a
// second before, and half the clock's range away either side, where the
// wrap makes "ahead" behind. A yield that slept on any of them would wait
// for the watchdog.
TEST_P(QtYielderPassedBound, RunsPendingEventsAndTheWindowOnceWithoutSleeping) {
    SteadyMillisecondClock clock;
    QtYielder yielder;
    int pushes = 0;
    yielder.setBeforeYield([&] { ++pushes; });
    EventCounter counter;
    Watchdog watchdog;
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    yielder.YieldUntil(clock.Now() + GetParam());
    EXPECT_EQ(counter.count, 1);
    EXPECT_EQ(pushes, 1) << "the window is shown once at every yield";
    EXPECT_FALSE(watchdog.barked);
}

INSTANTIATE_TEST_SUITE_P(Offsets, QtYielderPassedBound,
                         ::testing::Values(0u, 0xFFFFFFFFu, 0xFFFFFC18u, 0x80000000u, 0x80000001u));

struct FutureBoundCase {
    std::uint32_t aheadMs;
    // Passes the wait may take: one wake-up, and one more for a clock that
    // read the bound a moment late. A yield that polled would come back
    // thousands of times.
    int mostPasses;
};

void PrintTo(const FutureBoundCase& c, std::ostream* os) {
    *os << c.aheadMs << " ms";
}

class QtYielderFutureBound : public ::testing::TestWithParam<FutureBoundCase> {};

TEST_P(QtYielderFutureBound, SleepsUntilTheClockReadsTheBound) {
    SteadyMillisecondClock clock;
    QtYielder yielder;
    QCoreApplication::processEvents();
    Watchdog watchdog;
    const std::uint32_t wakeAt = clock.Now() + GetParam().aheadMs;
    int passes = 0;
    while (Ahead(clock.Now(), wakeAt) > 0 && !watchdog.barked && passes < 1000) {
        yielder.YieldUntil(wakeAt);
        ++passes;
    }
    EXPECT_FALSE(watchdog.barked);
    EXPECT_GE(Ahead(wakeAt, clock.Now()), 0)
        << "it returned for good only once the clock read the bound";
    EXPECT_LE(passes, GetParam().mostPasses);
}

INSTANTIATE_TEST_SUITE_P(Bounds, QtYielderFutureBound,
                         ::testing::Values(FutureBoundCase{1, 2}, FutureBoundCase{2, 2},
                                           FutureBoundCase{7, 2}, FutureBoundCase{30, 2},
                                           FutureBoundCase{40, 5}));

TEST(QtYielderTest, AnEventPostedFromAnotherThreadEndsTheWaitBeforeItsBound) {
    SteadyMillisecondClock clock;
    QtYielder yielder;
    EventCounter counter;
    Watchdog watchdog;
    const std::uint32_t wakeAt = clock.Now() + 60'000;
    std::thread poster([&counter] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    });
    while (counter.count == 0 && Ahead(clock.Now(), wakeAt) > 0 && !watchdog.barked)
        yielder.YieldUntil(wakeAt);
    poster.join();
    EXPECT_EQ(counter.count, 1);
    EXPECT_FALSE(watchdog.barked) << "the yield slept through the event";
    EXPECT_GT(Ahead(clock.Now(), wakeAt), 0)
        << "the yield waited for its bound instead of the event";
}

}  // namespace
}  // namespace kiv::testing
