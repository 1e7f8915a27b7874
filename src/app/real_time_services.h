#pragma once

#include "app/services.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "signal/time_seeded_random.h"

namespace kiv {

// The clock, yield and random source of a real run, owned together: the
// window and kiv-cli add a port and, the window only, a message box.
class RealTimeServices {
  public:
    SteadyMillisecondClock clock;
    QtYielder yielder;
    TimeSeededRandom random;

    // Lets the window run through this yield while `port` (any of the
    // platform's port controls) waits for a full line to drain, waking by
    // this clock.
    template <typename Port>
    void Pace(Port& port) {
        port.setYielder(&yielder, &clock);
    }
    // These three with `port` and `messageBox`.
    Services With(CommControl* port, MessageBoxService* messageBox = nullptr) {
        return {&clock, &yielder, &random, port, messageBox};
    }
};

}  // namespace kiv
