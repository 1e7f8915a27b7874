// The wake timer on a waitable timer whose completion routine runs on the
// window thread itself: Qt's event loop on Windows sleeps in an alertable
// wait, so the routine runs the moment the timer fires, takes the expiry
// and ends the wait, with no helper thread in between. A high-resolution
// timer wakes within a fraction of a millisecond where the system has one;
// elsewhere a plain waitable timer does, with the system's timer resolution
// raised to 1 ms while it exists.
#include <windows.h>
// clang-format off
#include <timeapi.h>
// clang-format on

#include <QAbstractEventDispatcher>
#include <algorithm>

#include "platform/steady_millisecond_clock.h"
#include "platform/wake_timer.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace kiv {
namespace {
constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kNsPerTick = 100;  // a waitable timer counts in 100 ns
}  // namespace

struct WakeTimer::System {
    HANDLE timer = nullptr;
    bool raisedResolution = false;
    QAbstractEventDispatcher* dispatcher = nullptr;
    WakeTimer* owner = nullptr;

    ~System() {
        if (timer != nullptr) {
            CancelWaitableTimer(timer);
            CloseHandle(timer);
        }
        if (raisedResolution) timeEndPeriod(1);
    }

    // Runs on the thread that set the timer, in its alertable wait.
    static void CALLBACK Expired(void* self, DWORD, DWORD) {
        if (WakeTimer* owner = static_cast<System*>(self)->owner) owner->m_system->Take(*owner);
    }

    void Take(WakeTimer& t);
};

WakeTimer::WakeTimer() {
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    const bool highResolution = timer != nullptr;
    if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (timer == nullptr) return;
    m_system = std::make_unique<System>();
    m_system->timer = timer;
    m_system->owner = this;
    m_system->dispatcher = QAbstractEventDispatcher::instance();
    if (!highResolution) m_system->raisedResolution = timeBeginPeriod(1) == TIMERR_NOERROR;
}

WakeTimer::~WakeTimer() {
    if (!m_system) return;
    // No routine may run after this one is gone: stop the timer, then let
    // any routine already queued for this thread run now, finding no owner.
    m_system->owner = nullptr;
    CancelWaitableTimer(m_system->timer);
    SleepEx(0, TRUE);
}

void WakeTimer::System::Take(WakeTimer& t) {
    // Nothing is armed: the routine was queued before the timer stopped.
    if (!t.m_pending && t.m_intervalNs <= 0) return;
    const std::int64_t now = MonotonicNanoseconds();
    // A routine queued before the timer was set again belongs to an older
    // moment; the timer itself is set for the new one.
    if (now + kNsPerMs <= t.m_nextNs) return;
    if (now < t.m_nextNs) {
        // The system's timer and the performance counter disagree by a
        // hair: wait out the rest rather than wake before the moment.
        t.m_intervalNs = 0;
        t.SetSystem(t.m_nextNs, 0);
        return;
    }
    // The system does not count expiries; a repeating timer that fired
    // while the thread was busy has fired once for every step passed since.
    std::uint64_t expirations = 1;
    if (t.m_intervalNs > 0)
        expirations += static_cast<std::uint64_t>((now - t.m_nextNs) / t.m_intervalNs);
    t.OnFired(expirations);
    // Ends the event loop's wait: the routine ran inside it, and Qt would
    // otherwise sleep on.
    if (dispatcher != nullptr) dispatcher->wakeUp();
}

bool WakeTimer::SetSystem(std::int64_t valueNs, std::int64_t intervalNs) {
    if (valueNs == 0 && intervalNs == 0) return CancelWaitableTimer(m_system->timer) != 0;
    // The due time is relative (negative), measured from now on the same
    // clock the moment was taken from; a relative timer is also immune to
    // changes of the time of day. A moment already past fires at once.
    const std::int64_t waitNs = valueNs - MonotonicNanoseconds();
    LARGE_INTEGER due{};
    due.QuadPart = -std::max<std::int64_t>((waitNs + kNsPerTick - 1) / kNsPerTick, 1);
    const auto periodMs = static_cast<LONG>(intervalNs / kNsPerMs);
    // Setting the timer also clears an expiry nobody has seen yet.
    return SetWaitableTimer(m_system->timer, &due, periodMs, &System::Expired, m_system.get(),
                            FALSE) != 0;
}

}  // namespace kiv
