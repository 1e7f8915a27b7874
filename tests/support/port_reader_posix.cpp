#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/port_reader.h"

namespace kiv::testing {

PortReader::PortReader(const std::string& path) {
    m_fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    termios raw{};
    if (tcgetattr(m_fd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(m_fd, TCSANOW, &raw);
    }
}

PortReader::~PortReader() {
    if (m_fd >= 0) close(m_fd);
}

std::vector<std::uint8_t> PortReader::ReadAvailable() {
    std::vector<std::uint8_t> out;
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t n = read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            out.insert(out.end(), buffer, buffer + n);
            continue;
        }
        if (n == 0 || (n < 0 && errno == EIO)) m_ended = true;
        return out;
    }
}

std::vector<std::uint8_t> PortReader::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<std::uint8_t> out;
    for (;;) {
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return out;
        const auto more = ReadAvailable();
        out.insert(out.end(), more.begin(), more.end());
        if (m_ended) return out;
    }
}

bool PortReader::SeesEnd(std::chrono::milliseconds guard) {
    const auto until = std::chrono::steady_clock::now() + guard;
    while (!m_ended && std::chrono::steady_clock::now() < until) {
        pollfd p{m_fd, POLLIN, 0};
        poll(&p, 1, 10);
        if ((p.revents & (POLLHUP | POLLERR)) != 0) m_ended = true;
        ReadAvailable();
    }
    return m_ended;
}

}  // namespace kiv::testing
