// The wake timer on a timer file descriptor: CLOCK_MONOTONIC, the clock
// the send loop's millisecond clock reads, armed for an absolute time so
// that the moment the loop waits for and the wake-up are the same reading.
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "platform/wake_timer.h"

namespace kiv {

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
    if (m_pending && deadlineNs == m_armedNs) return;
    itimerspec spec{};
    // A zero it_value would disarm the timer instead of firing at once.
    const std::int64_t at = deadlineNs > 0 ? deadlineNs : 1;
    spec.it_value.tv_sec = static_cast<time_t>(at / 1'000'000'000);
    spec.it_value.tv_nsec = static_cast<long>(at % 1'000'000'000);
    // Setting the time also clears an expiry nobody has read yet, so a
    // stale one cannot cut the new wait short.
    if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &spec, nullptr) != 0) return;
    m_armedNs = deadlineNs;
    m_pending = true;
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
    m_pending = false;
    ++m_fired;
}

}  // namespace kiv
