#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "model/model.h"
#include "serial/forwarding_comm_control.h"

namespace kiv {

// Sits between the send loop and the real port: counts the frames really
// handed to the line, logs them, measures the period, and ends sending after
// the requested number of frames.
class FrameRecorder : public ForwardingCommControl {
  public:
    FrameRecorder(Model& w, CommControl& port) : ForwardingCommControl(port), m_w(w) {}

    void setLog(std::ostream* log) { m_log = log; }
    void setFrameLimit(std::optional<long> frames) { m_limit = frames; }
    // Called after every frame with the running figures.
    std::function<void(const FrameRecorder&)> onFrame;

    long frames() const { return m_frames; }
    double meanPeriodMs() const {
        return m_frames > 1 ? m_sumPeriodMs / static_cast<double>(m_frames - 1) : 0.0;
    }
    double worstDeviationMs() const { return m_worstDeviationMs; }
    const std::string& lastError() const { return m_lastError; }
    void setPeriodMs(double period) { m_periodMs = period; }

    void Output(std::span<const std::uint8_t> bytes) override;

  private:
    using Clock = std::chrono::steady_clock;
    Model& m_w;
    std::ostream* m_log = nullptr;
    std::optional<long> m_limit;
    long m_frames = 0;
    Clock::time_point m_start = Clock::now();
    Clock::time_point m_last{};
    double m_sumPeriodMs = 0.0;
    double m_worstDeviationMs = 0.0;
    double m_periodMs = 0.0;
    std::string m_lastError;
};

// Exit codes of the headless generator.
enum CliExit { kExitOk = 0, kExitBadInput = 2, kExitLineLost = 3 };

// Runs the window's actions for the options, in the order a user would
// click them, then sends until a stop condition. Messages the handlers show
// and any error go to `err`. The model must be wired to its services and to
// the recorder as its port.
struct HeadlessRun {
    Model& w;
    FrameRecorder& recorder;
    std::function<void(const std::string&)> err;

    // Applies everything and opens the port; false (after reporting) when an
    // apply failed, in which case nothing has been sent.
    bool Prepare(const CliOptions& o);
    // Sends until the loop ends; returns the exit code.
    int Send();
    // Set by a stop condition (signal, --seconds); the loop then ends after
    // the frame under way.
    bool stopRequested = false;

  private:
    bool PrepareSteps(const CliOptions& o);
    bool MessageShownSince(std::size_t before) const;
};

// A message box for a program without a window: the texts go to standard
// error, and the runner learns that a message was shown.
class PrintingMessageBox : public MessageBoxService {
  public:
    explicit PrintingMessageBox(std::function<void(const std::string&)> err)
        : m_err(std::move(err)) {}
    std::int32_t Show(const std::string& text, std::int32_t, const std::string& title,
                      const std::string&, std::int32_t) override {
        ++shown;
        m_err(title + ": " + text);
        return kAnswerCancel;
    }
    std::size_t shown = 0;

  private:
    std::function<void(const std::string&)> m_err;
};

}  // namespace kiv
