#include "gui/paint_throttle.h"

namespace kiv {

PaintThrottle::PaintThrottle(std::function<void()> show, int intervalMs)
    : m_show(std::move(show)), m_intervalMs(intervalMs) {
    m_trailing.setSingleShot(true);
    QObject::connect(&m_trailing, &QTimer::timeout, [this] { showNow(); });
}

void PaintThrottle::request() {
    if (m_trailing.isActive()) return;  // the pending show will take the latest state
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : m_intervalMs;
    if (since >= m_intervalMs)
        showNow();
    else
        m_trailing.start(static_cast<int>(m_intervalMs - since));
}

void PaintThrottle::showNow() {
    m_sinceShown.start();
    m_show();
}

}  // namespace kiv
