#include "cli/headless.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string_view>

#include "cli/cli_value_rules.h"
#include "model/box_labels.h"
#include "model/errors.h"
#include "model/signal_table.h"
#include "sending/frame_settings.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "serial/port_settings.h"
#include "signal/compute_frame.h"
#include "signal/noise_targets.h"
#include "signal/signal_params.h"

namespace kiv {
namespace {

// "fuction_am(3)" -> "am".
std::string KeyOfBox(const std::string& box) {
    const std::string control = box.substr(0, box.find('('));
    for (std::size_t c = 0; c < kParamBoxControls.size(); ++c)
        if (kParamBoxControls[c] == control) return std::string(kParamBoxNames[c]);
    return control;
}

// "sendText1(3)" -> 3, or 0 for any other box.
int SlotOfBox(const std::string& box) {
    const std::string prefix = "sendText1(";
    if (box.rfind(prefix, 0) != 0) return 0;
    return std::atoi(box.c_str() + prefix.size());
}

// The window's port open and its send loop print the system's reason for
// the window's user ("kiv: Sending stopped at ..."); kiv-cli reports that
// reason in its own one line instead, which it writes past std::cerr.
class QuietStandardError {
  public:
    QuietStandardError() : m_saved(std::cerr.rdbuf(&m_sink)) {}
    ~QuietStandardError() { std::cerr.rdbuf(m_saved); }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

  private:
    // Takes every character and keeps none: a long run holds nothing.
    struct Discard : std::streambuf {
        int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    };
    Discard m_sink;
    std::streambuf* m_saved;
};

// The option that sets each serial page box; --device stands in for the
// port box.
constexpr std::array<std::string_view, kPortBoxCount> kPortBoxOptions = {
    "--device", "--baud", "--parity", "--data-bits", "--stop-bits"};

}  // namespace

void AdmitBaudRate(Model& w, const std::string& baud) {
    ComboBox& c = w.Combo1(kPortBoxBaud);
    if (BaudFault(baud) || std::find(c.List.begin(), c.List.end(), baud) != c.List.end()) return;
    c.List.push_back(baud);
}

long FramesIn(long bytes, int frameLength) {
    if (bytes <= 0 || frameLength <= 0) return 0;
    return (bytes + frameLength - 1) / frameLength;
}

std::string UndeliveredReport(long written, long inLine, long underWay, const std::string& why) {
    inLine = std::clamp(inLine, 0L, std::max(written, 0L));
    underWay = std::clamp(underWay, 0L, 1L);
    const long total = inLine + underWay;
    if (total == 0) return "";
    std::string parts =
        std::to_string(written) + (written == 1 ? " frame" : " frames") + " written";
    if (inLine > 0)
        parts += inLine == written
                     ? (written == 1 ? ", not yet through the line"
                                     : ", all of them not yet through the line")
                     : ", the last " + std::to_string(inLine) + " of them not yet through the line";
    if (underWay > 0)
        parts +=
            (inLine > 0 ? ", and frame " : ", frame ") + std::to_string(written + 1) + " under way";
    return std::to_string(total) + " frame(s) undelivered and dropped: " + why + " (" + parts + ")";
}

void FrameRecorder::Start() {
    m_start = Clock::now();
    if (m_logFile) {
        m_frameLog = m_logFile.get();
        return;
    }
    if (m_log == nullptr) return;
    m_streamLog.emplace(*m_log);
    m_frameLog = &*m_streamLog;
    m_frameLog->WriteHeader(LogColumnsOf(m_w.slotCount, m_w.frameFormat));
    CheckLog();
}

// After a write into the log: the first refusal ends the run.
void FrameRecorder::CheckLog() {
    if (!m_frameLog->failed() || m_logFailed) return;
    m_logFailed = true;
    // Frames the log cannot show are not sent: the run ends after this one.
    pausesend_Click(m_w);
    if (onLogFailed) onLogFailed(m_frameLog->failure());
}

double FrameRecorder::msSinceStart() const {
    return std::chrono::duration<double, std::milli>(Clock::now() - m_start).count();
}

void FrameRecorder::AbandonFrameUnderWay(bool counted) {
    m_abandoned = true;
    m_countAbandoned = counted;
    // Closed on purpose, as the close handler closes it: the send loop
    // then ends without reporting a lost line of its own.
    m_w.portOpened = false;
    // Emptying the queue first keeps a real port's close from waiting for
    // the bytes to drain.
    try {
        inner().setOutBufferCount(0);
    } catch (const KivError&) {
    }
    try {
        inner().setPortOpen(false);
    } catch (const KivError&) {
    }
}

std::size_t FrameRecorder::Output(std::span<const std::uint8_t> bytes) {
    // The frame is due now; one that would go out after the time limit is
    // not sent at all, and the run ends.
    if (m_timeLimitMs && msSinceStart() >= *m_timeLimitMs + 1.0) {
        m_w.programEnded = true;
        return 0;
    }
    m_inOutput = true;
    std::size_t took = 0;
    try {
        took = inner().Output(bytes);
    } catch (const KivError& e) {
        m_inOutput = false;
        if (m_abandoned && m_countAbandoned) ++m_dropped;
        m_lastError = e.what();
        throw;
    }
    m_inOutput = false;
    const auto now = Clock::now();
    ++m_frames;
    if (m_frames > 1) {
        const double period = std::chrono::duration<double, std::milli>(now - m_last).count();
        m_sumPeriodMs += period;
        m_worstDeviationMs = std::max(m_worstDeviationMs, std::abs(period - m_periodMs));
    }
    m_last = now;
    if (m_frameLog) LogFrame(now, bytes);
    if (onFrame) onFrame(*this);
    if (m_limit && m_frames >= *m_limit) pausesend_Click(m_w);
    return took;
}

void FrameRecorder::LogFrame(Clock::time_point now, std::span<const std::uint8_t> bytes) {
    const double ms = std::chrono::duration<double, std::milli>(now - m_start).count();
    m_frameLog->WriteFrame(m_frames, ms, bytes,
                           PartsOf(m_w.frameFormat, std::clamp(m_w.slotCount, 0, kSlotCount)));
    CheckLog();
}

std::string HeadlessRun::WindowSaid() const {
    return w.msgText.empty() ? "" : " (" + w.msgText + ")";
}

std::string HeadlessRun::Shown(const std::string& reason) const {
    if (devicePath.empty()) return reason;
    const std::string shortened = Shortened(devicePath);
    std::string out;
    std::size_t at = 0;
    for (std::size_t hit; (hit = reason.find(devicePath, at)) != std::string::npos;) {
        out.append(reason, at, hit - at);
        out += shortened;
        at = hit + devicePath.size();
    }
    return out + reason.substr(at);
}

int HeadlessRun::Prepare(const CliOptions& o) {
    const int code = PrepareSteps(o);
    // The program ends here: leave the device closed.
    if (code != kExitOk) Optionclose_Click(w);
    return code;
}

int HeadlessRun::PrepareSteps(const CliOptions& o) {
    // The pages in the order a user applies them: a step that fails has
    // reported, and its exit code ends the run.
    for (int (HeadlessRun::*step)(const CliOptions&) :
         {&HeadlessRun::ApplySerialPage, &HeadlessRun::OpenThePort, &HeadlessRun::ApplySignalPages,
          &HeadlessRun::ApplySendPage, &HeadlessRun::ApplyFramePage})
        if (const int code = (this->*step)(o); code != kExitOk) return code;
    recorder.setPeriodMs(w.sendPeriod);
    return kExitOk;
}

int HeadlessRun::ApplySerialPage(const CliOptions& o) {
    // Pick the entries. A baud rate the window does not list joins this
    // run's list, so the device itself judges it.
    if (o.baud) AdmitBaudRate(w, *o.baud);
    for (int i = kPortBoxBaud; i < kPortBoxCount; ++i) {
        const std::optional<std::string>& text = o.PortBoxText(i);
        if (!text) continue;
        ComboBox& c = w.Combo1(i);
        auto it = std::find(c.List.begin(), c.List.end(), *text);
        if (it == c.List.end()) {
            c.List.push_back(*text);
            it = c.List.end() - 1;
        }
        c.Pick(static_cast<int>(it - c.List.begin()));
        Combo1_Click(w, i);
    }
    const Outcome port = ApplyPortSettings(w);
    if (port) return kExitOk;
    // A box to blame names its option; otherwise the port refused the
    // settings text as a whole, and the rate is what a device refuses.
    int index = kPortBoxBaud;
    for (int i = kPortBoxBaud; i < kPortBoxCount; ++i)
        if (port.box == IndexedName("Combo1", i)) index = i;
    std::string settings;
    for (int i = kPortBoxBaud; i < kPortBoxCount; ++i)
        settings += (i == kPortBoxBaud ? "" : ",") + w.Combo1(i).Text;
    err(std::string(kPortBoxOptions[static_cast<std::size_t>(index)]) + " " +
        Quoted(w.Combo1(index).Text) + ": the port refused the line settings " + settings + ": " +
        port.reason);
    return kExitBadInput;
}

int HeadlessRun::OpenThePort(const CliOptions& o) {
    portLabel = o.device ? "--device " + Quoted(*o.device) : std::string("the virtual port");
    devicePath = o.device.value_or("");
    Outcome open;
    {
        QuietStandardError quiet;
        open = OpenPort(w);
    }
    if (open) return kExitOk;
    err(portLabel + ": cannot be opened: " + Shown(open.reason) + WindowSaid());
    return kExitPortFailed;
}

int HeadlessRun::ApplySignalPages(const CliOptions& o) {
    // One option at a time, so that a failure names its option.
    for (const SignalSetting& s : o.sets) {
        for (const auto& [key, text] : s.fields)
            ParamBoxColumn(w, FindParamBox(key))(s.entry).Text = text;
        const Outcome signal = ApplySignalSettings(w);
        if (signal) continue;
        const std::string key = KeyOfBox(signal.box);
        std::string rule = signal.reason;
        if (signal.kind == ErrorKind::LevelSum) rule = "am + a0 must lie within 0..255";
        if (key == "t3") rule = "t1 + t2 + t3 must fit in 32 bits (" + rule + ")";
        err(s.option + ": " + key + ": " + rule + WindowSaid());
        return kExitBadInput;
    }
    return kExitOk;
}

int HeadlessRun::ApplySendPage(const CliOptions& o) {
    for (int slot : o.noise) {
        w.Check2(slot).Value = 1;
        Check2_Click(w, slot);
    }
    if (o.frame) {
        for (int i = 1; i <= kSlotCount; ++i)
            w.sendText1(i).Text = i <= static_cast<int>(o.frame->size())
                                      ? (*o.frame)[static_cast<std::size_t>(i - 1)]
                                      : "";
    }
    if (o.period) w.autosendtext1.Text = *o.period;
    const Outcome send = ApplySendSettings(w);
    if (send) return kExitOk;
    if (const int slot = SlotOfBox(send.box)) {
        err("--frame: slot " + std::to_string(slot) + " " + Quoted(w.sendText1(slot).Text) + ": " +
            send.reason + WindowSaid());
        return kExitBadInput;
    }
    if (send.box == "autosendtext1") {
        err("--period " + Quoted(w.autosendtext1.Text) + ": " + send.reason + WindowSaid());
        return kExitBadInput;
    }
    // Nothing typed is to blame: reopening for the new frame length failed.
    err(portLabel + ": cannot be reopened for the frame length: " + Shown(send.reason) +
        WindowSaid());
    return kExitPortFailed;
}

int HeadlessRun::ApplyFramePage(const CliOptions& o) {
    // After the send page: the options over what the setup put in its boxes.
    std::array<std::string, 7> frame = FrameTextsFromBoxes(w);
    for (std::size_t i = 0; i < frame.size(); ++i)
        if (o.frameFormat[i]) frame[i] = *o.frameFormat[i];
    PutFrameTextsInBoxes(w, frame);
    const Outcome format = ApplyFrameFormat(w);
    if (format) return kExitOk;
    if (!format.box.empty()) {
        // The options were read by the page's rules already: a setup's value.
        err(BoxLabel(format.box) + ": " + format.reason + WindowSaid());
        return kExitBadInput;
    }
    err(portLabel + ": cannot be reopened for the frame length: " + Shown(format.reason) +
        WindowSaid());
    return kExitPortFailed;
}

int HeadlessRun::Send() {
    recorder.Start();
    // A log that cannot take even its header sends nothing.
    if (recorder.logFailed()) return kExitLogFailed;
    const SendEnd end = [this] {
        QuietStandardError quiet;
        return SendFrames(w);
    }();
    switch (end) {
        case SendEnd::FrameError: {
            // The loop only says that composing failed; composing the same
            // frame again (its count was not advanced) gives the reason.
            std::string reason = "an arithmetic fault";
            try {
                ComputeFrame(w);
            } catch (const KivError& e) {
                reason = e.what();
            }
            std::string frame;
            for (int i = 1; i <= w.slotCount; ++i) frame += (i > 1 ? "," : "") + w.slotText(i);
            err("--frame " + Quoted(frame) + ": frame " + std::to_string(recorder.frames() + 1) +
                " could not be composed from the signals' --set parameters: " + reason);
            return kExitFrameError;
        }
        case SendEnd::LineLost:
            // A frame given up on purpose at a stop is counted by the caller.
            if (recorder.abandoned()) return kExitOk;
            err(portLabel + ": the line was lost while sending (" + Shown(recorder.lastError()) +
                ")");
            return kExitLineLost;
        case SendEnd::PortNotOpen:
            err(portLabel + ": sending refused, the port is not open" + WindowSaid());
            return kExitPortFailed;
        case SendEnd::AlreadySending:
        case SendEnd::Paused:
        case SendEnd::ProgramEnded:
            break;
    }
    return kExitOk;
}

}  // namespace kiv
