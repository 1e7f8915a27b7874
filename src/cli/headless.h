#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "serial/forwarding_comm_control.h"
#include "model/model.h"

namespace kiv {

// Sits between the send loop and the real port: counts the frames really
// handed to the line, logs them, measures the period, and ends sending after
// the requested number of frames.
class FrameRecorder : public ForwardingCommControl {
public:
    FrameRecorder(Model& w, CommControl& port) : ForwardingCommControl(port), w_(w) {}

    void setLog(std::ostream* log) { log_ = log; }
    void setFrameLimit(std::optional<long> frames) { limit_ = frames; }
    // Called after every frame with the running figures.
    std::function<void(const FrameRecorder&)> onFrame;

    long frames() const { return frames_; }
    double meanPeriodMs() const { return frames_ > 1 ? sumPeriodMs_ / static_cast<double>(frames_ - 1) : 0.0; }
    double worstDeviationMs() const { return worstDeviationMs_; }
    const std::string& lastError() const { return lastError_; }
    void setPeriodMs(double period) { periodMs_ = period; }

    void Output(std::span<const std::uint8_t> bytes) override;

private:
    using Clock = std::chrono::steady_clock;
    Model& w_;
    std::ostream* log_ = nullptr;
    std::optional<long> limit_;
    long frames_ = 0;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
    double sumPeriodMs_ = 0.0;
    double worstDeviationMs_ = 0.0;
    double periodMs_ = 0.0;
    std::string lastError_;
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
    explicit PrintingMessageBox(std::function<void(const std::string&)> err) : err_(std::move(err)) {}
    std::int32_t Show(const std::string& text, std::int32_t, const std::string& title, const std::string&,
                      std::int32_t) override {
        ++shown;
        err_(title + ": " + text);
        return kAnswerCancel;
    }
    std::size_t shown = 0;

private:
    std::function<void(const std::string&)> err_;
};

}  // namespace kiv
