#pragma once

#include "send_function.h"

namespace kiv::bench {

// The senders the program's own loop is judged against. Each writes the
// harness's numbered 4-byte frames.

// A QTimer with Qt::PreciseTimer firing every period, writing from its slot.
void SendWithPreciseTimer(const std::string& devicePath, int periodMs, int frames);
// Spins on the event loop until each deadline: as punctual as the window
// thread can be, at the price of a whole core.
void SendWithBusyWait(const std::string& devicePath, int periodMs, int frames);
// A thread sleeping to absolute deadlines and writing with write(2): the
// best this machine does, measured in the same run as the others.
void SendWithAbsoluteSleep(const std::string& devicePath, int periodMs, int frames);
// The same thread paced the way the program's loop is: each wait runs from a
// whole-millisecond clock reading taken after the previous write, and a late
// wake-up is never made up. Its mean period is the best any sender paced so
// gets from this machine in this run: every wake-up a millisecond or more
// late lengthens the run.
void SendWithLoopPacing(const std::string& devicePath, int periodMs, int frames);

}  // namespace kiv::bench
