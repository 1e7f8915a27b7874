#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <thread>

#include "frame_timing.h"
#include "senders.h"

namespace kiv::bench {
namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

std::int64_t Now() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

// A thread that sleeps to the moment nextWake(last) names, last being the
// moment of the previous write (or of the start), then writes a frame.
void SendOnThread(const std::string& devicePath, int frames,
                  const std::function<std::int64_t(std::int64_t)>& nextWake) {
    const int fd = ::open(devicePath.c_str(), O_WRONLY | O_NOCTTY);
    if (fd < 0) throw std::runtime_error("cannot open " + devicePath + ": " + std::strerror(errno));
    std::thread sender([&] {
        std::int64_t last = Now();
        for (int i = 0; i < frames; ++i) {
            const std::int64_t wake = nextWake(last);
            const timespec at{static_cast<time_t>(wake / 1'000'000'000),
                              static_cast<long>(wake % 1'000'000'000)};
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
            }
            const auto frame = NumberedFrame(i);
            if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
                break;
            last = Now();
        }
    });
    sender.join();
    ::close(fd);
}

}  // namespace

void SendWithAbsoluteSleep(const std::string& devicePath, int periodMs, int frames) {
    std::int64_t next = Now();
    SendOnThread(devicePath, frames, [&](std::int64_t) { return next += periodMs * kNsPerMs; });
}

void SendWithLoopPacing(const std::string& devicePath, int periodMs, int frames) {
    SendOnThread(devicePath, frames,
                 [&](std::int64_t last) { return (last / kNsPerMs + periodMs) * kNsPerMs; });
}

}  // namespace kiv::bench
