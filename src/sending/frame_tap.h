#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/model.h"
#include "sending/frame_log.h"
#include "sending/sent_frames.h"

namespace kiv {

// The labels of the applied plan's filled slots, "3: sinx1", in slot order.
std::vector<std::string> SlotLabels(const Model& w);

// What the line monitor knows of the frames that left: the send loop hands
// it every frame right after the port took it (the bytes written, not
// composed again), and it keeps them in a ring, marks where an apply changed
// the plan or the period, measures the rate and writes the recording.
//
// Recording a frame costs a clock reading, a copy of at most one frame and
// a comparison of the plan with the one in force; nothing is allocated
// unless the plan changed or a recording is written. Everything runs on the
// send loop's thread: a reader on another thread takes copies from there.
class FrameTap {
  public:
    explicit FrameTap(std::size_t capacity = SentFrames::kDefaultCapacity);
    ~FrameTap();
    FrameTap(const FrameTap&) = delete;
    FrameTap& operator=(const FrameTap&) = delete;

    // Milliseconds on a steady clock; tests set their own.
    void setClock(std::function<double()> msNow) { m_msNow = std::move(msNow); }

    // A send loop starts: frames count from 1 and times from 0 again, the
    // ring and the marks start empty, and the plan in force is the first
    // mark.
    void BeginSending(const Model& w);
    // A frame the port took, with where its parts lie (as assembled).
    void Record(const Model& w, std::span<const std::uint8_t> bytes, const FrameParts& parts);
    // The same for a frame that is all slots.
    void Record(const Model& w, std::span<const std::uint8_t> bytes);
    // The newest `count` frames recorded never left: the port dropped them
    // from its queue (an apply opened it again). They go from the ring, the
    // plan marks and the recording, and the next frame takes the first
    // number freed.
    void TakeBack(std::uint64_t count);
    // The send loop ended.
    void EndSending() { m_sending = false; }

    bool sending() const { return m_sending; }
    // Counts the send loops begun; a reader that sees it change starts over.
    std::uint64_t session() const { return m_session; }
    // Counts the take-backs; a reader that sees it change reads the ring
    // afresh.
    std::uint64_t takeBacks() const { return m_takeBacks; }
    const SentFrames& frames() const { return m_frames; }
    const PlanMarks& planMarks() const { return m_marks; }
    // Milliseconds since sending started (0 before it ever did).
    double MsSinceStart() const;
    // Frames sent during the last second; over the time since sending
    // started while that is shorter. 0 when nothing was sent.
    double FramesPerSecond() const;
    // What the applied plan sends a second; empty when the period is 0 or
    // less (frames back to back).
    static std::optional<double> PlannedFramesPerSecond(const Model& w);

    // Recording: the frames from now on go into a log at `path`: the CSV of
    // kiv-cli's --log with a column for every one of the ten slots, so that
    // every row holds as many cells as the header whatever plan an apply
    // brings (a slot the plan leaves out is an empty cell). Frames count
    // from 1 and times from 0 at the start of the recording; with a frame
    // format on at the start, every row also holds the whole frame in hex.
    // Gives "" or why the file cannot be written; a recording under way is
    // stopped first.
    std::string StartRecording(const std::string& path, const Model& w);
    void StopRecording();
    bool recording() const { return m_log != nullptr; }
    const std::string& recordingPath() const { return m_recordingPath; }
    // Called, with the reason in the program's words, when the recording's
    // file refuses a write: the recording has stopped, with whole rows
    // only; sending goes on.
    std::function<void(const std::string& reason)> onRecordingFailed;

    // Calls afterFrame once, right after the next frame is recorded. A
    // watcher on the loop's thread that asks for it runs in the wait that
    // follows a frame, with the most time to spare before the next one.
    void AskAfterNextFrame() { m_afterFrameAsked = true; }
    std::function<void()> afterFrame;

  private:
    double Now() const { return m_msNow ? m_msNow() : SteadyNow(); }
    static double SteadyNow();
    bool PlanInForce(const Model& w) const;
    void RecordingFailed();
    void MarkPlan(const Model& w, std::uint64_t firstFrame, double ms);

    SentFrames m_frames;
    PlanMarks m_marks;
    std::function<double()> m_msNow;
    double m_start = 0.0;
    bool m_sending = false;
    bool m_begun = false;
    bool m_afterFrameAsked = false;
    std::uint64_t m_session = 0;
    std::uint64_t m_takeBacks = 0;
    // The plan of the last mark, to notice an apply that changed it.
    std::int32_t m_slotCount = 0;
    std::int32_t m_period = 0;
    std::array<std::string, kSlotCount> m_texts;

    std::unique_ptr<FrameLog> m_log;
    std::string m_recordingPath;
    double m_recordingStart = 0.0;
    std::uint64_t m_recorded = 0;
};

}  // namespace kiv
