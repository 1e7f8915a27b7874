// The one place where the window layer reads the POSIX clock; a port to
// another system replaces this file only.
#include <time.h>

#include "platform/steady_millisecond_clock.h"

namespace kiv {

std::int64_t MonotonicNanoseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::uint32_t SteadyMillisecondClock::Now() {
    return static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(MonotonicNanoseconds() / 1'000'000));
}

}  // namespace kiv
