// The wake timer on a timer file descriptor: CLOCK_MONOTONIC, the clock
// the send loop's millisecond clock reads, armed for an absolute time so
// that the moment the loop waits for and the wake-up are the same reading.
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "platform/wake_timer.h"

namespace kiv {

struct WakeTimer::System {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;

    ~System() {
        notifier.reset();
        if (fd >= 0) ::close(fd);
    }
};

WakeTimer::WakeTimer() {
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return;
    m_system = std::make_unique<System>();
    m_system->fd = fd;
    m_system->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(m_system->notifier.get(), &QSocketNotifier::activated,
                     m_system->notifier.get(), [this] {
                         // Reading takes the expiry away; the descriptor would
                         // otherwise stay readable and wake every later pass of
                         // the event loop.
                         std::uint64_t expirations = 0;
                         ssize_t got = 0;
                         do {
                             got = ::read(m_system->fd, &expirations, sizeof expirations);
                         } while (got < 0 && errno == EINTR);
                         if (got == static_cast<ssize_t>(sizeof expirations)) OnFired(expirations);
                     });
}

WakeTimer::~WakeTimer() = default;

bool WakeTimer::SetSystem(std::int64_t valueNs, std::int64_t intervalNs) {
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
    return ::timerfd_settime(m_system->fd, TFD_TIMER_ABSTIME, &spec, nullptr) == 0;
}

}  // namespace kiv
