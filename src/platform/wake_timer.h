#pragma once

#include <cstdint>
#include <memory>

namespace kiv {

// A kernel timer that the calling thread's own event loop watches: armed
// for a moment of the monotonic clock, it makes that loop wake once, at that
// moment, with no thread of its own and without Qt's whole-millisecond
// timer rounding: a timer file descriptor on Linux, a waitable timer (high
// resolution where the system has one) on Windows.
//
// Create it on the thread whose event loop is to wake, after the
// application object exists.
class WakeTimer {
  public:
    WakeTimer();
    ~WakeTimer();
    WakeTimer(const WakeTimer&) = delete;
    WakeTimer& operator=(const WakeTimer&) = delete;

    // False when the system gave no timer; the yield then falls back to
    // Qt's own timers.
    bool valid() const { return m_system != nullptr; }

    // The event loop wakes when the monotonic clock reaches deadlineNs; a
    // moment already past wakes it at once. Arming again replaces the
    // earlier moment, so only the latest request ever fires.
    //
    // The timer also repeats at the distance between the last two moments
    // asked for: a send loop that keeps time asks for the next moment
    // exactly one step on, and the system has rearmed the timer for it
    // already, so that request costs no system call. A repetition nobody
    // asked for stops the timer.
    void ArmAt(std::int64_t deadlineNs);

    // Times the timer has fired (the event loop saw it), and times it was
    // set through the system; for tests.
    std::uint64_t fired() const { return m_fired; }
    std::uint64_t timesSet() const { return m_timesSet; }

  private:
    // The system's timer and the event loop's watch on it; one per system,
    // in that system's file.
    struct System;

    // False when the system refused the setting.
    bool Set(std::int64_t valueNs, std::int64_t intervalNs);
    // Sets the system's timer: first at valueNs, then every intervalNs
    // (none when 0); both 0 stop it. False when the system refused.
    bool SetSystem(std::int64_t valueNs, std::int64_t intervalNs);
    // The event loop saw the timer fire, `expirations` times since it last
    // looked.
    void OnFired(std::uint64_t expirations);

    std::unique_ptr<System> m_system;
    // The last moment asked for, and whether it is still to come.
    std::int64_t m_armedNs = 0;
    bool m_pending = false;
    // The repetition the system keeps: every m_intervalNs, next at m_nextNs;
    // no repetition while the interval is 0.
    std::int64_t m_intervalNs = 0;
    std::int64_t m_nextNs = 0;
    std::uint64_t m_fired = 0;
    std::uint64_t m_timesSet = 0;
};

}  // namespace kiv
