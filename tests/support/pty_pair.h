#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pty.h"

namespace kiv::testing {

// A pseudo-terminal standing in for a serial cable: the program opens the
// slave as its port, the test reads what arrives at the master.
//
// Both ends are raw, and the pair keeps a descriptor of its own on the slave
// so the slave stays raw between the program's opens (a tty that nobody
// holds falls back to cooked mode, and 0x0A would arrive as 0x0D 0x0A).
class PtyPair {
  public:
    PtyPair();  // throws std::runtime_error when the system has no pty left
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return m_pty.slavePath(); }

    // Whatever has arrived at the master so far, without waiting.
    std::vector<std::uint8_t> ReadAvailable();
    // Reads until count bytes arrived or nothing came for idleGuard; the
    // guard only keeps a broken test from hanging, it is not a timing check.
    std::vector<std::uint8_t> ReadExactly(
        std::size_t count, std::chrono::milliseconds idleGuard = std::chrono::seconds(5));
    // Writes marker through the pair's own slave descriptor and returns
    // everything that arrived at the master before it. The pty keeps order,
    // so this tells exactly what the program sent up to now, with no timing.
    // The marker must be a byte value the program did not send.
    std::vector<std::uint8_t> ReadUntilMarker(std::uint8_t marker);

    // Bytes that reached the master's side and wait there to be read.
    std::size_t Unread() const;
    // Whether the line takes no byte more from the program. Asks by writing
    // `probe` through the pair's own slave descriptor without waiting: while
    // the line has room the byte joins the stream, where the reader sees it.
    bool TakesNoMore(std::uint8_t probe);

    // The far end goes away, as when a USB adapter is pulled.
    void CloseMaster() { m_pty.CloseMaster(); }
    bool masterOpen() const { return m_pty.master() >= 0; }

  private:
    RawPty m_pty;
};

}  // namespace kiv::testing
