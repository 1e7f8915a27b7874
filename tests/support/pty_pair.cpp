#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kiv::testing {

PtyPair::PtyPair() {
    if (!m_pty.ok()) throw std::runtime_error(m_pty.error());
    m_pty.SetMasterNonBlocking();
}

std::vector<std::uint8_t> PtyPair::ReadAvailable() {
    std::vector<std::uint8_t> out;
    if (m_pty.master() < 0) return out;
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
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

std::size_t PtyPair::Unread() const {
    int unread = 0;
    if (m_pty.master() < 0 || ::ioctl(m_pty.master(), FIONREAD, &unread) != 0) return 0;
    return static_cast<std::size_t>(unread);
}

bool PtyPair::TakesNoMore(std::uint8_t probe) {
    const int fd = m_pty.slave();
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    ssize_t n = 0;
    do {
        n = ::write(fd, &probe, 1);
    } while (n < 0 && errno == EINTR);
    const int error = errno;
    ::fcntl(fd, F_SETFL, flags);
    if (n < 0 && error != EAGAIN && error != EWOULDBLOCK)
        throw std::runtime_error(std::strerror(error));
    return n < 0;
}

std::vector<std::uint8_t> PtyPair::ReadExactly(std::size_t count,
                                               std::chrono::milliseconds idleGuard) {
    std::vector<std::uint8_t> out;
    while (out.size() < count && m_pty.master() >= 0) {
        pollfd pfd{m_pty.master(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(idleGuard.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        // Never more than asked for: what is left stays for the next read.
        std::uint8_t buf[4096];
        const std::size_t want = std::min(sizeof buf, count - out.size());
        const ssize_t n = ::read(m_pty.master(), buf, want);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<std::uint8_t> PtyPair::ReadUntilMarker(std::uint8_t marker) {
    if (::write(m_pty.slave(), &marker, 1) != 1) throw std::runtime_error(std::strerror(errno));
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

}  // namespace kiv::testing
