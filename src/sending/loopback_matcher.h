#pragma once

#include <cstdint>
#include <vector>

#include "sending/sent_frames.h"
#include "serial/line_watch.h"

namespace kiv {

// With a loopback plug (TX joined to RX) every byte sent comes back, in
// order. The matcher reads the bytes that came back as the frames sent, one
// after the other, and counts the frames that came back equal and those
// that came back different. Bytes that arrive with no frame sent to match
// them (a receiver talking, a line joined before sending started) count as
// extra; frames the store or the ring dropped before they could be
// compared count as missed.
class LoopbackMatcher {
  public:
    // Compares what arrived since the last call. A new sending session
    // (FrameTap::session) starts the count over from the bytes arriving
    // after it began.
    void Update(const SentFrames& sent, std::uint64_t session, const ArrivedStore& arrived);
    void Reset();

    std::uint64_t equal() const { return m_equal; }
    std::uint64_t different() const { return m_different; }
    std::uint64_t missed() const { return m_missed; }
    std::uint64_t extraBytes() const { return m_extra; }

  private:
    // The frame expected next, passing over frames the ring dropped.
    const SentFrame* Expected(const SentFrames& sent);
    // Bytes that were dropped from the store unread.
    void Lost(const SentFrames& sent, std::uint64_t bytes);

    bool m_started = false;
    std::uint64_t m_session = 0;
    std::uint64_t m_nextFrame = 1;        // the frame expected back next
    std::uint64_t m_read = 0;             // stream position read up to
    std::vector<std::uint8_t> m_partial;  // bytes of the frame coming back
    std::uint64_t m_skip = 0;             // bytes left of a frame counted as missed
    std::uint64_t m_equal = 0;
    std::uint64_t m_different = 0;
    std::uint64_t m_missed = 0;
    std::uint64_t m_extra = 0;
};

}  // namespace kiv
