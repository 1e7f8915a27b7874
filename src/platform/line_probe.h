#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kiv {

// What the operating system says about an open serial device right now,
// without waiting and without touching its data.
enum class LineState {
    Writable,  // the device takes at least one more byte without blocking
    Full,      // its output queue is full; bytes will be taken later
    Gone,      // hung up, unplugged, or the other end of a pty closed
};

// handle is the descriptor QSerialPort::handle() gives.
LineState ProbeLine(std::intptr_t handle);

// Bytes the operating system still holds for the line (not yet on the
// wire), or -1 when it cannot tell. Lets a slow but moving line be told
// apart from a stuck one.
std::int64_t QueuedInDevice(std::intptr_t handle);

// What handing bytes straight to the device did.
struct LineWrite {
    std::int64_t written = 0;               // bytes the system took, from the front
    LineState state = LineState::Writable;  // Full: it took fewer than given
    std::string reason;                     // why the device is Gone, in the system's words
};

// Writes without waiting: as much of bytes as the system takes now. For a
// device opened non-blocking, as QSerialPort opens it.
LineWrite WriteToLine(std::intptr_t handle, std::span<const std::uint8_t> bytes);

}  // namespace kiv
