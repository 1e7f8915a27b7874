#include "platform/qt_yielder.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/steady_millisecond_clock.h"

namespace kiv {

// Sleeps until an armed deadline and then wakes the event dispatcher that
// asked for it. Re-arming or disarming interrupts the sleep, so a yield that
// ended early because an event came never leaves a stale deadline behind
// that would cut a later, shorter wait. A wake-up that arrives after its
// yield ended is harmless: the next pass merely returns once more.
class QtYielder::Waker {
  public:
    Waker() : m_thread([this] { run(); }) {}

    ~Waker() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_one();
        m_thread.join();
    }

    void arm(QAbstractEventDispatcher* dispatcher, std::chrono::steady_clock::time_point deadline) {
        {
            std::lock_guard lock(m_mutex);
            m_dispatcher = dispatcher;
            m_deadline = deadline;
            m_armed = true;
        }
        m_changed.notify_one();
    }

    void disarm() {
        std::lock_guard lock(m_mutex);
        m_armed = false;
    }

  private:
    void run() {
        std::unique_lock lock(m_mutex);
        while (!m_stop) {
            if (!m_armed) {
                m_changed.wait(lock);
                continue;
            }
            const auto deadline = m_deadline;
            m_changed.wait_until(lock, deadline);
            // Re-armed, disarmed or woken early: look at the request again.
            if (m_stop || !m_armed || m_deadline != deadline) continue;
            if (std::chrono::steady_clock::now() < deadline) continue;
            m_armed = false;
            m_dispatcher->wakeUp();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_armed = false;
    QAbstractEventDispatcher* m_dispatcher = nullptr;
    std::chrono::steady_clock::time_point m_deadline;
    std::thread m_thread;  // last: starts once the state above exists
};

QtYielder::QtYielder() : m_waker(std::make_unique<Waker>()) {}

QtYielder::~QtYielder() = default;

void QtYielder::setBeforeYield(std::function<void()> hook) {
    m_beforeYield = std::move(hook);
}

void QtYielder::YieldUntil(std::uint32_t wakeAt) {
    if (m_beforeYield) m_beforeYield();

    const std::int64_t nowNs = MonotonicNanoseconds();
    const std::int64_t nowMs = nowNs / 1'000'000;
    // The clock wraps at 2^32 ms; the signed difference is right across the
    // wrap, and a bound that has passed (or lies implausibly far ahead) gives
    // zero or less and never sleeps.
    const auto remainingMs = static_cast<std::int32_t>(wakeAt - static_cast<std::uint32_t>(nowMs));
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (remainingMs <= 0 || dispatcher == nullptr) {
        QCoreApplication::processEvents();
        return;
    }
    // The clock reads wakeAt from the start of that millisecond on.
    const std::int64_t deadlineNs = (nowMs + remainingMs) * 1'000'000;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::nanoseconds(deadlineNs - nowNs);
    m_waker->arm(dispatcher, deadline);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_waker->disarm();
}

}  // namespace kiv
