#include "platform/qt_yielder.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <algorithm>
#include <limits>

#include "platform/steady_millisecond_clock.h"
#include "platform/wake_timer.h"

namespace kiv {

QtYielder::QtYielder() {
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
}

QtYielder::~QtYielder() = default;

void QtYielder::setBeforeYield(std::function<void()> hook) {
    m_beforeYield = std::move(hook);
}

bool QtYielder::WakeAt(std::int64_t deadlineNs, std::int64_t nowNs) {
    if (QAbstractEventDispatcher::instance() == nullptr) return false;
    if (!m_timer) m_timer = std::make_unique<WakeTimer>();
    if (m_timer->valid()) {
        m_timer->ArmAt(deadlineNs);
        return true;
    }
    const std::int64_t waitNs = deadlineNs - nowNs;
    m_fallback.start(static_cast<int>(
        std::min<std::int64_t>((waitNs + 999'999) / 1'000'000, std::numeric_limits<int>::max())));
    return true;
}

void QtYielder::YieldUntil(std::uint32_t wakeAt) {
    if (m_beforeYield) m_beforeYield();

    const std::int64_t nowNs = MonotonicNanoseconds();
    const auto deadline = WakeMomentNs(wakeAt, nowNs);
    if (!deadline || !WakeAt(*deadline, nowNs)) {
        // The bound has passed: run what is pending and return at once.
        QCoreApplication::processEvents();
        return;
    }
    // Returns after the first batch of events, the timer's among them. A
    // timer left armed by a yield that an event ended early fires into a
    // later pass of the event loop, which merely returns once more.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace kiv
