#pragma once

#include <QTimer>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "app/real_time_services.h"
#include "cli/cli_options.h"
#include "cli/headless.h"
#include "model/model.h"
#include "platform/device_comm_control.h"
#include "platform/pty_port.h"

namespace kiv {

class StopSignalWatch;

// One run of kiv-cli once its options are read: it makes the port, runs the
// window's actions through a HeadlessRun, waits for a receiver on the
// virtual port, holds the run to --frames and --seconds, ends it within a
// second of a stop signal, lets the line drain, and works out the exit
// code. Make it after the application object, on the thread that runs it.
class CliRun {
  public:
    // `err` reports one line on standard error.
    CliRun(const CliOptions& o, std::function<void(const std::string&)> err);
    ~CliRun();
    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    // Runs to the end and returns the exit code.
    int Exec();

  private:
    // Each returns an exit code when the run ends there.
    std::optional<int> MakePort();
    std::optional<int> OpenLog();
    std::optional<int> WaitForReceiver();
    void WatchStopSignals();
    void LimitTheRun();
    void ShowStatusWhileSending();
    int DrainAndClose(int code);

    void OnStop();
    bool StopSeen();
    // Gives up the frame under way; `due`: it was due within the run (a
    // stop signal), not one that would go out after --seconds.
    void GiveUpFrameUnderWay(bool due);
    // What the line still holds has not reached the receiver yet.
    long PendingBytes() const;
    void ShowStatus(const char* end);

    const CliOptions& m_o;
    std::function<void(const std::string&)> m_err;
    // With the log on standard output, everything else goes to standard error.
    bool m_logToStdout;
    std::ostream& m_info;
    FILE* m_statusStream;
    bool m_onTerminal;

    Model m_w;
    RealTimeServices m_services;
    RememberingMessageBox m_box;
    std::unique_ptr<PtyPort> m_virtualPort;
    std::unique_ptr<DeviceCommControl> m_devicePort;
    std::unique_ptr<FrameRecorder> m_recorder;
    std::unique_ptr<HeadlessRun> m_run;

    // Since when a stop signal is being served.
    std::optional<std::uint32_t> m_stopAt;
    // Frames of a real port's queue dropped with a frame given up.
    long m_droppedFromQueue = 0;
    QTimer m_frameBudget;
    std::unique_ptr<StopSignalWatch> m_stopWatch;
    std::unique_ptr<std::ostream> m_logStream;  // a pipe or the null device
    QTimer m_timeUp;
    std::uint32_t m_lastShown = 0;
};

// Held by main for its whole run: once it is gone the program is ending by
// itself, and the hard stop a stop signal arms lets it.
struct HardStopGuard {
    HardStopGuard() = default;
    ~HardStopGuard();
    HardStopGuard(const HardStopGuard&) = delete;
    HardStopGuard& operator=(const HardStopGuard&) = delete;
};

}  // namespace kiv
