#include <sys/resource.h>
#include <time.h>

#include "clocks.h"
#include "rusage_posix.h"

namespace kiv::bench {
namespace {

Usage UsageOf(int who) {
    rusage usage{};
    ::getrusage(who, &usage);
    return FromRusage(usage);
}

}  // namespace

Usage FromRusage(const rusage& usage) {
    const auto ns = [](const timeval& tv) {
        return static_cast<std::int64_t>(tv.tv_sec) * 1'000'000'000 +
               static_cast<std::int64_t>(tv.tv_usec) * 1'000;
    };
    return {ns(usage.ru_utime) + ns(usage.ru_stime), usage.ru_nvcsw, usage.ru_nivcsw};
}

std::int64_t MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

Usage ProcessUsage() {
    return UsageOf(RUSAGE_SELF);
}
Usage ThreadUsage() {
    return UsageOf(RUSAGE_THREAD);
}

}  // namespace kiv::bench
