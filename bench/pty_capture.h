#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "clocks.h"
#include "platform/pty.h"

namespace kiv::bench {

// What one read of the pty master returned, stamped when the read returned.
struct Arrival {
    std::int64_t ns = 0;
    std::vector<std::uint8_t> bytes;
};

// A pty whose master is read on a thread of its own, so the receiving side
// never waits for the sender under measurement. Both ends are raw and the
// capture holds the slave open, so the line stays raw between the sender's
// opens and close.
class PtyCapture {
  public:
    PtyCapture();  // throws std::runtime_error when no pty can be had
    ~PtyCapture();
    PtyCapture(const PtyCapture&) = delete;
    PtyCapture& operator=(const PtyCapture&) = delete;

    const std::string& slavePath() const { return m_pty.slavePath(); }

    void Start();
    // Stops once `bytes` bytes have arrived in all, or once nothing arrived
    // for idleMs, whichever comes first.
    void StopAfter(std::size_t bytes, int idleMs);

    // Valid after StopAfter.
    const std::vector<Arrival>& arrivals() const { return m_arrivals; }
    // What the reading thread used, to take out of the process's figures.
    const Usage& readerUsage() const { return m_readerUsage; }

  private:
    void Run();

    RawPty m_pty;
    std::thread m_reader;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_received{0};
    std::vector<Arrival> m_arrivals;
    Usage m_readerUsage;
};

}  // namespace kiv::bench
