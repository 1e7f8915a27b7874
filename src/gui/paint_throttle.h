#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace kiv {

// Lets a display that the send loop changes several times per period show
// its latest state at most once per interval. The lamps and the count change
// up to three times a millisecond at the shortest period, far faster than a
// screen refreshes, and painting each change made the loop late. The first
// change after a quiet spell shows at once; the last one always shows.
class PaintThrottle {
  public:
    PaintThrottle(std::function<void()> show, int intervalMs);

    // The state changed: show it now or at the end of the interval.
    void request();

  private:
    void showNow();

    std::function<void()> m_show;
    int m_intervalMs;
    QElapsedTimer m_sinceShown;
    QTimer m_trailing;
};

}  // namespace kiv
