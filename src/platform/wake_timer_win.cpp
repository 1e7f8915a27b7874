// The wake timer on a waitable timer, watched by the window thread's own
// event loop. A high-resolution timer wakes within a fraction of a
// millisecond where the system has one; elsewhere a plain waitable timer,
// with the system's timer resolution raised to 1 ms while it exists.
#include <windows.h>
// clang-format off
#include <timeapi.h>
// clang-format on

#include <QWinEventNotifier>
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
    std::unique_ptr<QWinEventNotifier> notifier;

    ~System() {
        notifier.reset();
        if (timer != nullptr) {
            CancelWaitableTimer(timer);
            CloseHandle(timer);
        }
        if (raisedResolution) timeEndPeriod(1);
    }
};

WakeTimer::WakeTimer() {
    // A synchronisation timer: the wait that sees it fire also resets it, so
    // it wakes the event loop once per expiry.
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    bool highResolution = timer != nullptr;
    if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    if (timer == nullptr) return;
    m_system = std::make_unique<System>();
    m_system->timer = timer;
    if (!highResolution) m_system->raisedResolution = timeBeginPeriod(1) == TIMERR_NOERROR;
    m_system->notifier = std::make_unique<QWinEventNotifier>(timer);
    QObject::connect(m_system->notifier.get(), &QWinEventNotifier::activated,
                     m_system->notifier.get(), [this] {
                         // The system does not count expiries; a repeating
                         // timer that fired while the thread was busy has
                         // fired once for every step passed since.
                         std::uint64_t expirations = 1;
                         if (m_intervalNs > 0) {
                             const std::int64_t late = MonotonicNanoseconds() - m_nextNs;
                             if (late > 0)
                                 expirations += static_cast<std::uint64_t>(late / m_intervalNs);
                         }
                         OnFired(expirations);
                     });
}

WakeTimer::~WakeTimer() = default;

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
    return SetWaitableTimer(m_system->timer, &due, periodMs, nullptr, nullptr, FALSE) != 0;
}

}  // namespace kiv
