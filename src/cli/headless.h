#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "model/model.h"
#include "sending/frame_log.h"
#include "serial/forwarding_comm_control.h"

namespace kiv {

// Sits between the send loop and the real port: counts the frames really
// handed to the line, logs each one as it goes out, measures the period,
// and ends sending after the requested number of frames or time.
class FrameRecorder : public ForwardingCommControl {
  public:
    FrameRecorder(Model& w, CommControl& port) : ForwardingCommControl(port), m_w(w) {}

    // The log gets a header at Start and one flushed line per frame.
    void setLog(std::ostream* log) { m_log = log; }
    // A log file opened with its header already in it (OpenLogFile): it
    // gets one flushed line per frame.
    void setLogFile(std::unique_ptr<FrameLog> log) { m_logFile = std::move(log); }
    void setFrameLimit(std::optional<long> frames) { m_limit = frames; }
    // No frame goes out later than this many milliseconds after Start.
    void setTimeLimitMs(std::optional<double> ms) { m_timeLimitMs = ms; }
    // Called after every frame with the running figures.
    std::function<void(const FrameRecorder&)> onFrame;

    // The run's clock starts: the log's times count from here.
    void Start();
    double msSinceStart() const;

    long frames() const { return m_frames; }
    double meanPeriodMs() const {
        return m_frames > 1 ? m_sumPeriodMs / static_cast<double>(m_frames - 1) : 0.0;
    }
    double worstDeviationMs() const { return m_worstDeviationMs; }
    const std::string& lastError() const { return m_lastError; }
    void setPeriodMs(double period) { m_periodMs = period; }
    // True while a frame waits in Output for the line to take it.
    bool inOutput() const { return m_inOutput; }
    // Gives up the frame under way (the port is closed under it, dropping
    // what waits in its queue). A frame given up at a stop is counted in
    // dropped(); at the end of --seconds it was not due within the run and
    // is not (`counted` false).
    void AbandonFrameUnderWay(bool counted = true);
    bool abandoned() const { return m_abandoned; }
    // Frames handed over that never went out: abandoned under way.
    long dropped() const { return m_dropped; }
    // The log could not be written at some point.
    bool logFailed() const { return m_logFailed; }
    // Called once, at the first write the log refused, with the system's
    // reason; the run then ends after the frame just sent (which stays sent).
    std::function<void(const std::string&)> onLogFailed;

    std::size_t Output(std::span<const std::uint8_t> bytes) override;

  private:
    using Clock = std::chrono::steady_clock;
    void LogFrame(Clock::time_point now, std::span<const std::uint8_t> bytes);
    void CheckLog();

    Model& m_w;
    std::ostream* m_log = nullptr;
    std::unique_ptr<FrameLog> m_logFile;
    std::optional<FrameLog> m_streamLog;
    FrameLog* m_frameLog = nullptr;  // the one of the two in use
    std::optional<long> m_limit;
    std::optional<double> m_timeLimitMs;
    long m_frames = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_last{};
    double m_sumPeriodMs = 0.0;
    double m_worstDeviationMs = 0.0;
    double m_periodMs = 0.0;
    std::string m_lastError;
    bool m_inOutput = false;
    bool m_abandoned = false;
    bool m_countAbandoned = true;
    long m_dropped = 0;
    bool m_logFailed = false;
};

// Runs the window's actions for the options, in the order a user would
// click them, then sends until a stop condition. It decides from what each
// action reports (which box failed and why, why the send loop ended), and
// reports every failure as one line through `err`. The model must be wired
// to its services and to the recorder as its port.
struct HeadlessRun {
    Model& w;
    FrameRecorder& recorder;
    std::function<void(const std::string&)> err;

    // Applies everything and opens the port. kExitOk when ready to send;
    // otherwise the exit code, after reporting, with the port closed and
    // nothing sent.
    int Prepare(const CliOptions& o);
    // Sends until the loop ends; returns the exit code so far (frames left
    // undelivered in the line are the caller's to count).
    int Send();
    // Set by a stop signal; the loop then ends after the frame under way.
    bool stopRequested = false;
    // The port as messages name it: the --device option, or the virtual port.
    std::string portLabel = "the virtual port";
    // The --device path as given, which the system's reasons repeat.
    std::string devicePath = "";

  private:
    int PrepareSteps(const CliOptions& o);
    // The steps of Prepare, each reporting its own failure: kExitOk or the
    // exit code.
    int ApplySerialPage(const CliOptions& o);
    int OpenThePort(const CliOptions& o);
    int ApplySignalPages(const CliOptions& o);
    int ApplySendPage(const CliOptions& o);
    int ApplyFramePage(const CliOptions& o);
    std::string WindowSaid() const;
    // A system reason with the device path it repeats cut as messages show it.
    std::string Shown(const std::string& reason) const;
};

// A message box for a program without a window: it answers at once and
// keeps the last text, which kiv-cli adds to its own one-line report.
class RememberingMessageBox : public MessageBoxService {
  public:
    std::int32_t Show(const std::string& text, std::int32_t, const std::string&, const std::string&,
                      std::int32_t) override {
        ++shown;
        last = text;
        return kAnswerCancel;
    }
    std::size_t shown = 0;
    std::string last;
};

// A baud rate the window does not list joins this run's list when kiv-cli's
// rule takes it, so that the device itself judges it; the window's own list
// is not changed.
void AdmitBaudRate(Model& w, const std::string& baud);

// Frames still waiting in a line that holds `bytes`, for frames of
// `frameLength` bytes; a partly sent frame counts as one.
long FramesIn(long bytes, int frameLength);

// What a run that ends with frames undelivered says about them, after
// "kiv-cli: ": `written` frames were handed to the line, the last `inLine`
// of them had not gone through it, and `underWay` (0 or 1) frame was
// waiting to be handed over (the next one, which the text names). The
// figures add up: the total is inLine (at most written) plus underWay.
// `why` says what the receiver or the line failed to do. Empty when
// nothing is undelivered.
std::string UndeliveredReport(long written, long inLine, long underWay, const std::string& why);

}  // namespace kiv
