#pragma once

#include <functional>
#include <memory>

namespace kiv {

// The stop requests of a program without a window: SIGINT, SIGTERM and
// SIGHUP (its terminal closed) on Linux; Ctrl+C, Ctrl+Break and closing
// the console window on Windows. They only raise a flag; the program looks
// at it between clock readings, so the frame under way always completes.
// A write to a pipe whose reader has gone fails with an error instead of
// ending the program.
void InstallStopSignals();
// How many stop requests have arrived so far.
int StopSignalsReceived();

// Calls onStop on the calling thread, from its event loop, for every stop
// request, so that a loop asleep in a long wait wakes for it. Make it after
// InstallStopSignals and the application object, on the thread that runs
// the send loop.
class StopSignalWatch {
  public:
    explicit StopSignalWatch(std::function<void()> onStop);
    ~StopSignalWatch();
    StopSignalWatch(const StopSignalWatch&) = delete;
    StopSignalWatch& operator=(const StopSignalWatch&) = delete;

  private:
    struct System;
    std::unique_ptr<System> m_system;
};

}  // namespace kiv
