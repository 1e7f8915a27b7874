#include "sending/frame_tap.h"

#include <algorithm>
#include <chrono>

namespace kiv {

std::vector<std::string> SlotLabels(const Model& w) {
    std::vector<std::string> labels;
    for (int i = 1; i <= std::min(w.slotCount, 10); ++i)
        labels.push_back(std::to_string(i) + ": " + w.slotText(i));
    return labels;
}

FrameTap::FrameTap(std::size_t capacity) : m_frames(capacity) {}

FrameTap::~FrameTap() = default;

double FrameTap::SteadyNow() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void FrameTap::BeginSending(const Model& w) {
    m_start = Now();
    m_frames.Clear();
    m_marks.Clear();
    m_sending = true;
    m_begun = true;
    ++m_session;
    MarkPlan(w, 1, 0.0);
}

bool FrameTap::PlanInForce(const Model& w) const {
    if (w.slotCount != m_slotCount || w.sendPeriod != m_period) return false;
    for (int i = 1; i <= std::min(m_slotCount, 10); ++i)
        if (w.slotText(i) != m_texts[static_cast<std::size_t>(i - 1)]) return false;
    return true;
}

void FrameTap::MarkPlan(const Model& w, std::uint64_t firstFrame, double ms) {
    m_slotCount = w.slotCount;
    m_period = w.sendPeriod;
    PlanMark mark;
    mark.firstFrame = firstFrame;
    mark.ms = ms;
    mark.slotCount = w.slotCount;
    mark.period = w.sendPeriod;
    const std::vector<std::string> labels = SlotLabels(w);
    for (std::size_t i = 0; i < m_texts.size(); ++i) {
        m_texts[i] = i < labels.size() ? w.slotText(static_cast<int>(i) + 1) : std::string();
        if (i < labels.size()) mark.labels[i] = labels[i];
    }
    m_marks.Push(std::move(mark));
}

void FrameTap::Record(const Model& w, std::span<const std::uint8_t> bytes) {
    FrameParts all;
    all.slotBytes = static_cast<int>(bytes.size());
    Record(w, bytes, all);
}

void FrameTap::Record(const Model& w, std::span<const std::uint8_t> bytes,
                      const FrameParts& parts) {
    const double now = Now();
    const double ms = now - m_start;
    const SentFrame& frame = m_frames.Push(ms, bytes, parts);
    if (!PlanInForce(w)) MarkPlan(w, frame.number, ms);
    if (m_afterFrameAsked && afterFrame) {
        m_afterFrameAsked = false;
        afterFrame();
    }
    if (!m_log) return;
    ++m_recorded;
    if (m_log->WriteFrame(static_cast<std::int64_t>(m_recorded), now - m_recordingStart,
                          frame.Bytes(), frame.parts))
        return;
    const std::string reason = m_log->failure();
    StopRecording();
    if (onRecordingFailed) onRecordingFailed(reason);
}

double FrameTap::MsSinceStart() const {
    return m_begun ? Now() - m_start : 0.0;
}

double FrameTap::FramesPerSecond() const {
    if (m_frames.empty()) return 0.0;
    const double since = MsSinceStart();
    const double window = std::min(since, 1000.0);
    if (window <= 0.0) return 0.0;
    return static_cast<double>(m_frames.CountAfter(since - window)) * 1000.0 / window;
}

std::optional<double> FrameTap::PlannedFramesPerSecond(const Model& w) {
    if (w.sendPeriod <= 0) return std::nullopt;
    return 1000.0 / w.sendPeriod;
}

std::string FrameTap::StartRecording(const std::string& path, const Model& w) {
    StopRecording();
    auto opened = OpenLogFile(path, LogColumnsOf(w.slotCount, w.frameFormat));
    if (auto* refusal = std::get_if<std::string>(&opened)) return *refusal;
    m_log = std::move(std::get<std::unique_ptr<FrameLog>>(opened));
    m_recordingPath = path;
    m_recordingStart = Now();
    m_recorded = 0;
    return {};
}

void FrameTap::StopRecording() {
    m_log.reset();
}

}  // namespace kiv
