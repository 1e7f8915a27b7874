#include <poll.h>
#include <unistd.h>

#include <stdexcept>

#include "clocks.h"
#include "pty_capture.h"

namespace kiv::bench {

PtyCapture::PtyCapture() {
    if (!m_pty.ok()) throw std::runtime_error(m_pty.error());
}

PtyCapture::~PtyCapture() {
    m_stopping = true;
    if (m_reader.joinable()) m_reader.join();
}

void PtyCapture::Start() {
    m_reader = std::thread([this] { Run(); });
}

void PtyCapture::Run() {
    const Usage atStart = ThreadUsage();
    std::uint8_t buf[4096];
    while (!m_stopping) {
        pollfd pfd{m_pty.master(), POLLIN, 0};
        // The bound only lets the thread notice it is being stopped.
        const int ready = ::poll(&pfd, 1, 50);
        if (ready <= 0) continue;
        const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
        const std::int64_t now = MonotonicNs();
        if (n <= 0) continue;
        m_arrivals.push_back(Arrival{now, std::vector<std::uint8_t>(buf, buf + n)});
        m_received += static_cast<std::size_t>(n);
    }
    m_readerUsage = ThreadUsage() - atStart;
}

void PtyCapture::StopAfter(std::size_t bytes, int idleMs) {
    std::size_t seen = m_received;
    std::int64_t lastChange = MonotonicNs();
    while (m_received < bytes && MonotonicNs() - lastChange < std::int64_t{idleMs} * 1'000'000) {
        ::usleep(5'000);
        if (m_received != seen) {
            seen = m_received;
            lastChange = MonotonicNs();
        }
    }
    m_stopping = true;
    if (m_reader.joinable()) m_reader.join();
}

}  // namespace kiv::bench
