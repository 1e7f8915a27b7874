#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/frame_format.h"

namespace kiv {

// One frame as it was handed to the port: the whole frame, and where its
// parts lie in it.
struct SentFrame {
    std::uint64_t number = 0;  // 1 for the first frame since sending started
    double ms = 0.0;           // milliseconds since sending started
    std::uint8_t length = 0;   // bytes in use of `bytes`: what the port took
    std::array<std::uint8_t, kMaxFrameBytes> bytes{};
    FrameParts parts;  // the frame's format, as it was assembled
    // Its row in the recording under way when it was sent: the frame's
    // number there (0 when it was not recorded) and milliseconds since the
    // recording started.
    std::uint64_t recorded = 0;
    double recordedMs = 0.0;

    std::span<const std::uint8_t> Bytes() const { return std::span(bytes).first(length); }
    // The slots' bytes alone, as far as the port took them.
    std::span<const std::uint8_t> Slots() const {
        const int from = std::min<int>(parts.SlotsStart(), length);
        const int to = std::min<int>(parts.ChecksumStart(), length);
        return std::span(bytes).subspan(static_cast<std::size_t>(from),
                                        static_cast<std::size_t>(to - from));
    }
};

// A frame's bytes as the monitor shows them, in decimal ("170 85 1") or in
// hex ("AA 55 01"), its parts set apart by " | " in frame order (header,
// counter, length byte, slots, checksum, trailer); a frame that is all slots
// shows its bytes alone. Bytes the frame lacks (the port took only its
// head) are left out.
std::string PartsText(std::span<const std::uint8_t> bytes, const FrameParts& parts, bool hex);

// The last frames sent, oldest dropped. Room for all of them is taken once,
// up front: a push copies at most one frame into its slot and allocates
// nothing, so the send loop can record every frame at 1 ms. Frames are
// numbered from 1 without gaps, so a frame is found by its number at once.
// Not for use from two threads at a time.
class SentFrames {
  public:
    static constexpr std::size_t kDefaultCapacity = 65536;
    explicit SentFrames(std::size_t capacity = kDefaultCapacity);

    // Keeps the frame as number total() + 1; bytes past kMaxFrameBytes are
    // not kept. `parts` says where the slots lie; without it the frame is
    // all slots.
    SentFrame& Push(double ms, std::span<const std::uint8_t> bytes, const FrameParts& parts);
    SentFrame& Push(double ms, std::span<const std::uint8_t> bytes);
    void Clear();
    // Forgets the newest `count` frames (all held, at most): frames that
    // never left after all. The next push takes the first number freed.
    // Gives how many went.
    std::size_t DropNewest(std::size_t count);

    std::size_t capacity() const { return m_slots.size(); }
    // Frames pushed since the last clear, and so the newest frame's number.
    std::uint64_t total() const { return m_total; }
    // Frames held: the newest total(), at most capacity().
    std::size_t size() const { return m_held; }
    // The oldest frame's number still held (total() + 1 when empty).
    std::uint64_t oldest() const { return m_total - size() + 1; }
    bool empty() const { return m_total == 0; }

    // The frame of that number, or nullptr when it was dropped or not sent.
    const SentFrame* Find(std::uint64_t number) const;
    const SentFrame* Newest() const { return Find(m_total); }
    // The last frame sent at or before `ms`; nullptr when none held was.
    const SentFrame* At(double ms) const;
    // Frames sent after `ms` (up to the newest).
    std::size_t CountAfter(double ms) const;

  private:
    // The number of the first frame held sent after `ms`.
    std::uint64_t FirstAfter(double ms) const;
    const SentFrame& Slot(std::uint64_t number) const {
        return m_slots[static_cast<std::size_t>((number - 1) % m_slots.size())];
    }

    std::vector<SentFrame> m_slots;
    std::uint64_t m_total = 0;
    std::size_t m_held = 0;
};

// Where an apply changed the frame plan or the period while sending.
struct PlanMark {
    std::uint64_t firstFrame = 0;  // the first frame sent under the new plan
    double ms = 0.0;               // when that plan came into force
    std::int32_t slotCount = 0;
    std::int32_t period = 0;
    std::array<std::string, kSlotCount> labels;  // "3: sinx1", one per filled slot
    std::array<std::string, kSlotCount> texts;   // the slots' texts as applied
};

// The last plan marks, oldest dropped.
class PlanMarks {
  public:
    static constexpr std::size_t kDefaultCapacity = 64;
    explicit PlanMarks(std::size_t capacity = kDefaultCapacity) : m_capacity(capacity) {}

    void Push(PlanMark mark);
    void Clear() { m_marks.clear(); }
    // Forgets the marks of plans whose first frame is past `lastFrame`:
    // those frames never left. total() stays: a reader starts over.
    void DropAfter(std::uint64_t lastFrame);
    // Oldest first.
    const std::vector<PlanMark>& marks() const { return m_marks; }
    // Marks pushed since the last clear, dropped ones included: a reader
    // that has seen this many has seen them all.
    std::uint64_t total() const { return m_total; }

  private:
    std::size_t m_capacity;
    std::vector<PlanMark> m_marks;
    std::uint64_t m_total = 0;
};

}  // namespace kiv
