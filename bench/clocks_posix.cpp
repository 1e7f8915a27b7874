#include <sys/resource.h>
#include <time.h>

#include "clocks.h"

namespace kiv::bench {
namespace {

std::int64_t UsageNs(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    const auto ns = [](const timeval& tv) {
        return static_cast<std::int64_t>(tv.tv_sec) * 1'000'000'000 +
               static_cast<std::int64_t>(tv.tv_usec) * 1'000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

}  // namespace

std::int64_t MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t ProcessCpuNs() {
    return UsageNs(RUSAGE_SELF);
}
std::int64_t ThreadCpuNs() {
    return UsageNs(RUSAGE_THREAD);
}

}  // namespace kiv::bench
