#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <cstdint>
#include <functional>

#include "model/platform.h"

namespace kiv::testing {

class SteadyMillisecondClock : public MillisecondClock {
  public:
    std::uint32_t Now() override {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
};

// A yield that runs the event loop once (so QSerialPort's notifiers can move
// bytes) and then lets the test act as the window would: onYield runs where
// a nested handler would.
class EventLoopYielder : public Yielder {
  public:
    void YieldUntil(std::uint32_t /*wakeAt*/) override {
        ++yields;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (onYield) onYield();
    }

    int yields = 0;
    std::function<void()> onYield;
};

}  // namespace kiv::testing
