#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "frame_timing.h"
#include "senders.h"

namespace kiv::bench {

void SendWithAbsoluteSleep(const std::string& devicePath, int periodMs, int frames) {
    const int fd = ::open(devicePath.c_str(), O_WRONLY | O_NOCTTY);
    if (fd < 0) throw std::runtime_error("cannot open " + devicePath + ": " + std::strerror(errno));
    std::thread sender([&] {
        timespec next{};
        ::clock_gettime(CLOCK_MONOTONIC, &next);
        for (int i = 0; i < frames; ++i) {
            next.tv_nsec += std::int64_t{periodMs} * 1'000'000;
            while (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
            }
            const auto frame = NumberedFrame(i);
            if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
                break;
        }
    });
    sender.join();
    ::close(fd);
}

}  // namespace kiv::bench
