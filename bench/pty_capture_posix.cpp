#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "clocks.h"
#include "pty_capture.h"

namespace kiv::bench {
namespace {

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0 || (::cfmakeraw(&tio), ::tcsetattr(fd, TCSANOW, &tio)) != 0) {
        throw std::runtime_error(std::string("raw pty: ") + std::strerror(errno));
    }
}

}  // namespace

PtyCapture::PtyCapture() {
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
}

PtyCapture::~PtyCapture() {
    stopping_ = true;
    if (reader_.joinable()) reader_.join();
    ::close(master_);
    ::close(slave_);
}

void PtyCapture::Start() {
    reader_ = std::thread([this] { Run(); });
}

void PtyCapture::Run() {
    const std::int64_t cpuAtStart = ThreadCpuNs();
    std::uint8_t buf[4096];
    while (!stopping_) {
        pollfd pfd{master_, POLLIN, 0};
        // The bound only lets the thread notice it is being stopped.
        const int ready = ::poll(&pfd, 1, 50);
        if (ready <= 0) continue;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        const std::int64_t now = MonotonicNs();
        if (n <= 0) continue;
        arrivals_.push_back(Arrival{now, std::vector<std::uint8_t>(buf, buf + n)});
        received_ += static_cast<std::size_t>(n);
    }
    readerCpuNs_ = ThreadCpuNs() - cpuAtStart;
}

void PtyCapture::StopAfter(std::size_t bytes, int idleMs) {
    std::size_t seen = received_;
    std::int64_t lastChange = MonotonicNs();
    while (received_ < bytes && MonotonicNs() - lastChange < std::int64_t{idleMs} * 1'000'000) {
        ::usleep(5'000);
        if (received_ != seen) {
            seen = received_;
            lastChange = MonotonicNs();
        }
    }
    stopping_ = true;
    if (reader_.joinable()) reader_.join();
}

}  // namespace kiv::bench
