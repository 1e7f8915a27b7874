// The window thread's clock and its yield to the event loop, which the send
// loop waits in.
#include "platform/qt_yielder.h"

#include <gtest/gtest.h>
#include <time.h>

#include <QCoreApplication>
#include <QEvent>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/steady_millisecond_clock.h"
#include "support/event_counter.h"

namespace kiv::testing {
namespace {

std::uint32_t PosixMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000);
}

// Signed distance from a to b on the wrapping 32-bit clock.
std::int32_t Ahead(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(b - a);
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

TEST(QtYielderTest, ABoundThatHasPassedRunsPendingEventsWithoutSleeping) {
    SteadyMillisecondClock clock;
    QtYielder yielder;
    int pushes = 0;
    yielder.setBeforeYield([&] { ++pushes; });
    // Offsets from now, all of them read as passed: now itself, just before,
    // and half the clock's range away, where the wrap makes "ahead" behind.
    const std::uint32_t offsets[] = {0u, 0xFFFFFFFFu, 0xFFFFFC18u, 0x80000000u};
    for (std::uint32_t offset : offsets) {
        SCOPED_TRACE(offset);
        EventCounter counter;
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
        yielder.YieldUntil(clock.Now() + offset);
        EXPECT_EQ(counter.count, 1);
    }
    EXPECT_EQ(pushes, 4) << "the window is shown once at every yield";
}

TEST(QtYielderTest, AFutureBoundSleepsInsteadOfSpinning) {
    SteadyMillisecondClock clock;
    QtYielder yielder;
    const std::uint32_t wakeAt = clock.Now() + 40;
    int passes = 0;
    while (Ahead(clock.Now(), wakeAt) > 0 && passes < 1000) {
        yielder.YieldUntil(wakeAt);
        ++passes;
    }
    EXPECT_GE(Ahead(wakeAt, clock.Now()), 0)
        << "it returned for good only once the clock read the bound";
    // A yield that polled would come back thousands of times in 40 ms.
    EXPECT_LE(passes, 5);
}

TEST(QtYielderTest, AnEventEndsTheWaitBeforeItsBound) {
    SteadyMillisecondClock clock;
    QtYielder yielder;
    EventCounter counter;
    const std::uint32_t wakeAt = clock.Now() + 60000;
    std::thread poster([&counter] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    });
    while (counter.count == 0 && Ahead(clock.Now(), wakeAt) > 0) yielder.YieldUntil(wakeAt);
    poster.join();
    EXPECT_EQ(counter.count, 1);
    EXPECT_GT(Ahead(clock.Now(), wakeAt), 0)
        << "the yield waited for its bound instead of the event";
}

}  // namespace
}  // namespace kiv::testing
