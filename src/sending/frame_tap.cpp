#include "sending/frame_tap.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace kiv {
namespace {

// Every slot a plan can fill has its column in a recording.
constexpr int kRecordedSlots = kSlotCount;

}  // namespace

std::vector<std::string> SlotLabels(const Model& w) {
    std::vector<std::string> labels;
    for (int i = 1; i <= std::min(w.slotCount, kSlotCount); ++i)
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
    for (int i = 1; i <= std::min(m_slotCount, kSlotCount); ++i)
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
    mark.texts = m_texts;
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
    SentFrame& frame = m_frames.Push(ms, bytes, parts);
    if (!PlanInForce(w)) MarkPlan(w, frame.number, ms);
    if (m_afterFrameAsked && afterFrame) {
        m_afterFrameAsked = false;
        afterFrame();
    }
    if (!m_log) return;
    ++m_recorded;
    frame.recorded = m_recorded;
    frame.recordedMs = now - m_recordingStart;
    if (m_log->WriteFrame(static_cast<std::int64_t>(m_recorded), frame.recordedMs, frame.Bytes(),
                          frame.parts))
        return;
    frame.recorded = 0;
    RecordingFailed();
}

void FrameTap::RecordingFailed() {
    const std::string reason = m_log->failureInWords();
    StopRecording();
    if (onRecordingFailed) onRecordingFailed(reason);
}

void FrameTap::TakeBack(std::uint64_t count) {
    if (count == 0) return;
    // Only the newest frames can be in the port's queue: those recorded
    // are the newest rows of the recording.
    std::uint64_t rows = 0;
    for (std::uint64_t n = m_frames.total(); n > 0 && rows < count && rows < m_recorded; --n) {
        const SentFrame* f = m_frames.Find(n);
        if (f == nullptr || f->recorded == 0 || n + count <= m_frames.total()) break;
        ++rows;
    }
    m_frames.DropNewest(static_cast<std::size_t>(std::min<std::uint64_t>(count, SIZE_MAX)));
    ++m_takeBacks;
    const std::size_t marks = m_marks.marks().size();
    m_marks.DropAfter(m_frames.total());
    if (m_marks.marks().size() != marks) {
        // The plan in force is the last one whose frames left; the next
        // frame marks its own when it differs.
        if (m_marks.marks().empty()) {
            m_slotCount = -1;
        } else {
            const PlanMark& last = m_marks.marks().back();
            m_slotCount = last.slotCount;
            m_period = last.period;
            m_texts = last.texts;
        }
    }
    if (!m_log || rows == 0) return;
    m_recorded -= rows;
    if (!m_log->TakeBack(static_cast<std::size_t>(rows))) RecordingFailed();
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
    LogColumns columns = LogColumnsOf(kRecordedSlots, w.frameFormat);
    columns.fixedSlots = true;
    auto opened = OpenLogFile(path, columns);
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
