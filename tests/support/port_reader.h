#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv::testing {

// A receiving program on a serial device path, such as the virtual port's:
// opens the path raw, as the README's recipe does, and reads what arrives.
class PortReader {
  public:
    explicit PortReader(const std::string& path);  // throws std::runtime_error
    ~PortReader();
    PortReader(const PortReader&) = delete;
    PortReader& operator=(const PortReader&) = delete;

    // Whatever has arrived so far, without waiting.
    std::vector<std::uint8_t> ReadAvailable();
    // Reads until nothing more came for `quiet`.
    std::vector<std::uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet);
    // The sender closed the line: a read reports its end (0 bytes or EIO).
    // Waits at most `guard` for it.
    bool SeesEnd(std::chrono::milliseconds guard = std::chrono::seconds(2));

  private:
    int m_fd = -1;
    bool m_ended = false;
};

}  // namespace kiv::testing
