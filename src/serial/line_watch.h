#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kiv {

// A run of bytes that came in together, and when.
struct ArrivedChunk {
    double ms = 0.0;          // on the steady clock, milliseconds
    std::uint64_t first = 0;  // stream position of its first byte
    std::uint32_t length = 0;
};

// The bytes the port received, the newest kept and the oldest dropped: a
// receiver's replies, or with a loopback plug the frames coming back.
// Bytes are addressed by their position in the whole stream since the store
// was made (0 for the first byte ever received), so a reader that keeps a
// position reads on from there and sees what it missed as dropped.
class ArrivedStore {
  public:
    static constexpr std::size_t kDefaultCapacity = 64 * 1024;
    explicit ArrivedStore(std::size_t capacity = kDefaultCapacity);

    void Add(double ms, std::span<const std::uint8_t> bytes);
    void Clear();

    std::size_t capacity() const { return m_bytes.size(); }
    // Bytes received ever, and so the position after the newest.
    std::uint64_t total() const { return m_total; }
    // The position of the oldest byte still held.
    std::uint64_t oldest() const { return m_total - m_held; }
    // The byte at a position held (oldest() <= at < total()).
    std::uint8_t At(std::uint64_t at) const { return m_bytes[at % m_bytes.size()]; }
    // The chunks whose bytes are still held in part or whole, oldest first.
    const std::deque<ArrivedChunk>& chunks() const { return m_chunks; }

  private:
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_total = 0;
    std::size_t m_held = 0;
    std::deque<ArrivedChunk> m_chunks;
};

// What a port control sees of its line besides the bytes it sends: the
// bytes it received and the bytes it still has to send.
class LineWatch {
  public:
    virtual ~LineWatch() = default;
    // The bytes received so far. A control that is asked rather than told
    // reads what the device holds first.
    virtual const ArrivedStore& Arrived() = 0;
    // Bytes handed over that wait to go out (the control's queue and the
    // device's own, where the system tells); -1 when not known.
    virtual std::int64_t BytesQueued() = 0;
    // Frames handed over whole that a close dropped before any of their
    // bytes left (an apply opening the port again), counted since the
    // control was made. They were the newest handed over: a reader that
    // saw a smaller count takes the difference back from its newest.
    virtual std::uint64_t FramesDropped() { return 0; }
    // False for a line that takes bytes as fast as they come whatever the
    // rate (a pseudo-terminal): no baud rate is too slow for it.
    virtual bool KeepsToRate() { return true; }
};

}  // namespace kiv
