#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

namespace kiv {

// What a port control has accepted for the line and the line has not taken
// yet, piece by piece as it was handed over, with a copy of the bytes: the
// system's own queue cannot be read back.
//
// When the line is full, a frame's front can already be in the device while
// its rest still waits here. Closing the port (as the window does to apply
// a new frame length) would drop that rest, and the receiver would get the
// frame's head without its tail. So a close keeps the rest of the frame
// under way, and when the same device is opened again the control writes
// it before anything else; frames none of whose bytes left are dropped
// whole, as the close means them to be.
class UnsentFrames {
  public:
    // Bytes join the queue behind everything else: a whole frame, or the
    // rest of one whose front already left (`started`).
    void Add(std::span<const std::uint8_t> bytes, bool started);
    // The line has taken all but the last `waiting` bytes added: what left
    // is forgotten, and a piece that left in part is now a started one.
    void Taken(std::size_t waiting);
    // The port on `device` closes with `waiting` bytes not taken: the rest
    // of the frame under way is kept for the device, everything else goes.
    void Close(const std::string& device, std::size_t waiting);
    // Keeps `tail`, the rest of a frame whose front is in `device`, for
    // the next open; replaces any tail kept before.
    void KeepTail(const std::string& device, std::span<const std::uint8_t> tail);
    // The port opened on `device`: the tail to write before anything else,
    // empty when none was kept for that device. The kept tail is forgotten
    // either way: another device's receiver never saw the frame's front.
    std::vector<std::uint8_t> TakeTail(const std::string& device);
    // The port on `device` of a control that keeps its own queue closes:
    // `writing` was under way, of which `sent` bytes left (a kept frame's
    // rest when `rest`), and `behind` frames waited behind it. The rest of
    // a frame whose front left is kept for the device; every frame none of
    // whose bytes left goes whole, and counts as dropped.
    void CloseWriting(const std::string& device, std::span<const std::uint8_t> writing,
                      std::size_t sent, bool rest, std::size_t behind);
    // Forgets everything, the kept tail too: the unsent bytes were
    // discarded on purpose, or the device was lost.
    void Clear();

    std::size_t queued() const { return m_bytes; }
    // Frames dropped whole by closes so far: handed over, and none of their
    // bytes ever left. They are always the newest handed over.
    std::uint64_t droppedFrames() const { return m_droppedFrames; }
    const std::vector<std::uint8_t>& keptTail() const { return m_tail; }

  private:
    struct Piece {
        std::vector<std::uint8_t> bytes;
        bool started = false;
    };
    std::deque<Piece> m_pieces;
    std::size_t m_bytes = 0;
    std::string m_tailDevice;
    std::vector<std::uint8_t> m_tail;
    std::uint64_t m_droppedFrames = 0;
};

}  // namespace kiv
