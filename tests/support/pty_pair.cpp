#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kiv::testing {
namespace {

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) throw std::runtime_error(std::strerror(errno));
    ::cfmakeraw(&tio);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) throw std::runtime_error(std::strerror(errno));
}

}  // namespace

PtyPair::PtyPair() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    m_slavePath = name;
    try {
        MakeRaw(m_master);
        MakeRaw(m_slave);
    } catch (...) {
        ::close(m_master);
        ::close(m_slave);
        throw;
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

std::vector<std::uint8_t> PtyPair::ReadAvailable() {
    std::vector<std::uint8_t> out;
    if (m_master < 0) return out;
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EAGAIN: nothing more for now
        }
    }
    return out;
}

std::vector<std::uint8_t> PtyPair::ReadExactly(std::size_t count,
                                               std::chrono::milliseconds idleGuard) {
    std::vector<std::uint8_t> out;
    while (out.size() < count && m_master >= 0) {
        pollfd pfd{m_master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(idleGuard.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const auto more = ReadAvailable();
        if (more.empty()) break;
        out.insert(out.end(), more.begin(), more.end());
    }
    return out;
}

std::vector<std::uint8_t> PtyPair::ReadUntilMarker(std::uint8_t marker) {
    if (::write(m_slave, &marker, 1) != 1) throw std::runtime_error(std::strerror(errno));
    std::vector<std::uint8_t> out;
    for (;;) {
        const auto more = ReadExactly(1);
        if (more.empty()) throw std::runtime_error("marker never arrived");
        out.insert(out.end(), more.begin(), more.end());
        // The marker is the last byte written, so it is the last to arrive.
        if (out.back() == marker) {
            out.pop_back();
            return out;
        }
    }
}

void PtyPair::CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

}  // namespace kiv::testing
