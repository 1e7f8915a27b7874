#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "model/platform.h"

namespace kiv {

// The send loop's yield: one pass of the Qt event loop that sleeps until the
// next event or until the millisecond clock reads wakeAt, whichever comes
// first. Qt's own timers round every wait up to a whole millisecond and a
// bare processEvents() loop keeps a core busy, so a helper thread sleeps on
// the monotonic clock and wakes the event loop on time instead.
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
    class Waker;
    std::function<void()> m_beforeYield;
    std::unique_ptr<Waker> m_waker;
};

}  // namespace kiv
