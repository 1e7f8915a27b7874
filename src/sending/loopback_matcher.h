#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "sending/sent_frames.h"
#include "serial/line_watch.h"

namespace kiv {

// With a loopback plug (TX joined to RX) every byte sent comes back, in
// order. The matcher reads the bytes that came back as the frames sent, one
// after the other, and counts the frames that came back equal and those
// that came back different.
//
// It starts wherever the monitor starts looking: it finds where a frame of
// the ring begins in the bytes coming back, and follows from there. When a
// frame comes back different it looks a few frames ahead for where the
// next whole frame begins again, so that a byte lost or added on the line
// costs one frame, not every later one; the bytes that went missing or came
// in addition are counted too. Bytes that arrive with no frame sent to
// match them (a receiver talking) count as extra; frames the store or the
// ring dropped before they could be compared count as missed.
class LoopbackMatcher {
  public:
    // Frames ahead of the one expected that a lost or added byte is looked
    // past for.
    static constexpr std::uint64_t kFramesAhead = 8;
    // Newest frames of the ring a first match is looked for among.
    static constexpr std::size_t kFramesSearched = 4096;

    // Compares what arrived since the last call. A new sending session
    // (FrameTap::session) starts the count over from the bytes arriving
    // after it began.
    void Update(const SentFrames& sent, std::uint64_t session, const ArrivedStore& arrived);

    std::uint64_t equal() const { return m_equal; }
    std::uint64_t different() const { return m_different; }
    // Frames none of whose bytes could be compared.
    std::uint64_t missed() const { return m_missed; }
    // Bytes of frames that came back short, and bytes that came back with
    // no frame to hold them.
    std::uint64_t missedBytes() const { return m_missedBytes; }
    std::uint64_t extraBytes() const { return m_extra; }

  private:
    enum class Step { Went, Wait };
    Step Follow(const SentFrames& sent, const ArrivedStore& arrived);
    Step Resynchronise(const SentFrames& sent, const ArrivedStore& arrived);
    bool FindFirst(const SentFrames& sent, const ArrivedStore& arrived);
    bool Matches(const SentFrame& frame, const ArrivedStore& arrived, std::uint64_t at) const;
    // Bytes passed over at the front of the stream that no frame holds.
    void PassOver(std::uint64_t upTo);

    bool m_started = false;
    std::uint64_t m_session = 0;
    bool m_synced = false;
    // Once the count follows the frames, bytes passed over are extra; before
    // the first match they are the rest of frames sent before the look.
    bool m_everSynced = false;
    std::uint64_t m_nextFrame = 1;  // the frame expected back next
    std::uint64_t m_read = 0;       // stream position read up to
    std::uint64_t m_equal = 0;
    std::uint64_t m_different = 0;
    std::uint64_t m_missed = 0;
    std::uint64_t m_missedBytes = 0;
    std::uint64_t m_extra = 0;
    // Frames alike to the one the first match took, and older: how far the
    // count may be ahead of the line.
    std::uint64_t m_alikeAhead = 0;
    // The first match's index of frame contents, kept to avoid allocating
    // at every look.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_index;
};

}  // namespace kiv
