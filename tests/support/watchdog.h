#pragma once

#include <QObject>
#include <QTimer>

namespace kiv::testing {

// Guards a wait that should end by itself: a timer that ends it anyway
// after a long while, so a broken wake-up fails the test instead of
// hanging it. Not a timing check. With a short time, it marks the end of a
// quiet spell instead.
class Watchdog {
  public:
    explicit Watchdog(int ms = 5000) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { barked = true; });
        m_timer.start(ms);
    }
    bool barked = false;

  private:
    QTimer m_timer;
};

}  // namespace kiv::testing
