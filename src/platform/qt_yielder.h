#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "model/platform.h"

namespace kiv {

class WakeTimer;

// The send loop's yield: one pass of the Qt event loop that sleeps until the
// next event or until the millisecond clock reads wakeAt, whichever comes
// first. Qt's own timers round every wait up to a whole millisecond and a
// bare processEvents() loop keeps a core busy, so a kernel timer that the
// window thread's event loop watches (WakeTimer) wakes it once, on time.
class QtYielder : public Yielder {
  public:
    QtYielder();
    ~QtYielder() override;
    QtYielder(const QtYielder&) = delete;
    QtYielder& operator=(const QtYielder&) = delete;

    // Runs at the start of every yield, so the window shows what the running
    // handler changed before the event loop gets its turn.
    void setBeforeYield(std::function<void()> hook);

    void YieldUntil(std::uint32_t wakeAt) override;

  private:
    bool WakeAt(std::int64_t deadlineNs, std::int64_t nowNs);

    std::function<void()> m_beforeYield;
    // Made at the first yield: the event loop it attaches to may not exist
    // yet when the yield is built.
    std::unique_ptr<WakeTimer> m_timer;
    // Used only where the system gives no wake timer; wakes up to a
    // millisecond late.
    QTimer m_fallback;
};

}  // namespace kiv
