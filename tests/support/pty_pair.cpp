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
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    }
    slavePath_ = name;
    try {
        MakeRaw(master_);
        MakeRaw(slave_);
    } catch (...) {
        ::close(master_);
        ::close(slave_);
        throw;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

std::vector<std::uint8_t> PtyPair::ReadAvailable() {
    std::vector<std::uint8_t> out;
    if (master_ < 0) return out;
    std::uint8_t buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
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
    while (out.size() < count && master_ >= 0) {
        pollfd pfd{master_, POLLIN, 0};
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
    if (::write(slave_, &marker, 1) != 1) throw std::runtime_error(std::strerror(errno));
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
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

}  // namespace kiv::testing
