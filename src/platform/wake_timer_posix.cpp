// The wake timer on a timer file descriptor: CLOCK_MONOTONIC, the clock
// the send loop's millisecond clock reads, armed for an absolute time so
// that the moment the loop waits for and the wake-up are the same reading.
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "platform/wake_timer.h"

namespace kiv {
namespace {
constexpr std::int64_t kNsPerMs = 1'000'000;
}

WakeTimer::WakeTimer() {
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd < 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { OnFired(); });
}

WakeTimer::~WakeTimer() {
    m_notifier.reset();
    if (m_fd >= 0) ::close(m_fd);
}

void WakeTimer::ArmAt(std::int64_t deadlineNs) {
    if (m_fd < 0) return;
    // The timer is set for this moment already: still pending (a yield
    // repeated after an early wake-up), or rearmed by the system when it
    // last fired.
    if (deadlineNs == m_nextNs && (m_pending || m_intervalNs > 0)) {
        m_armedNs = deadlineNs;
        m_pending = true;
        return;
    }
    // Steps of whole milliseconds are what the send loop asks for; a finer
    // one is not repeated, so a caller's odd request cannot make the timer
    // fire in a storm.
    const std::int64_t step = deadlineNs - m_armedNs;
    if (!Set(deadlineNs, m_armedNs > 0 && step >= kNsPerMs ? step : 0)) return;
    m_armedNs = deadlineNs;
    m_pending = true;
}

bool WakeTimer::Set(std::int64_t valueNs, std::int64_t intervalNs) {
    itimerspec spec{};
    // A zero it_value stops the timer; a moment at or before the clock's
    // start still has to fire, so it becomes the earliest one there is.
    if (valueNs != 0 || intervalNs != 0) {
        const std::int64_t at = valueNs > 0 ? valueNs : 1;
        spec.it_value.tv_sec = static_cast<time_t>(at / 1'000'000'000);
        spec.it_value.tv_nsec = static_cast<long>(at % 1'000'000'000);
        spec.it_interval.tv_sec = static_cast<time_t>(intervalNs / 1'000'000'000);
        spec.it_interval.tv_nsec = static_cast<long>(intervalNs % 1'000'000'000);
    }
    // Setting the time also clears an expiry nobody has read yet, so a
    // stale one cannot cut the new wait short.
    ++m_timesSet;
    if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr) != 0) {
        m_intervalNs = 0;
        return false;
    }
    m_intervalNs = intervalNs;
    m_nextNs = valueNs;
    return true;
}

void WakeTimer::OnFired() {
    // Reading takes the expiry away; the descriptor would otherwise stay
    // readable and wake every later pass of the event loop.
    std::uint64_t expirations = 0;
    ssize_t got = 0;
    do {
        got = ::read(m_fd, &expirations, sizeof expirations);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof expirations)) return;
    const bool asked = m_pending;
    m_pending = false;
    ++m_fired;
    if (m_intervalNs <= 0) return;
    m_nextNs += static_cast<std::int64_t>(expirations) * m_intervalNs;
    // Nobody waits for the repetitions any more (the loop ended or changed
    // pace): stop them rather than wake the thread every step.
    if (!asked) Set(0, 0);
}

}  // namespace kiv
