#pragma once

#include <cstdint>

namespace kiv::bench {

// What a process or thread has cost the machine so far: CPU time (user +
// system) and how often it gave up the processor, by waiting (voluntary)
// or by being pre-empted (involuntary).
struct Usage {
    std::int64_t cpuNs = 0;
    std::int64_t voluntarySwitches = 0;
    std::int64_t involuntarySwitches = 0;

    Usage operator-(const Usage& other) const {
        return {cpuNs - other.cpuNs, voluntarySwitches - other.voluntarySwitches,
                involuntarySwitches - other.involuntarySwitches};
    }
};

// CLOCK_MONOTONIC, the clock every arrival is stamped with.
std::int64_t MonotonicNs();
// getrusage of the whole process, and of the calling thread alone.
Usage ProcessUsage();
Usage ThreadUsage();
inline std::int64_t ThreadCpuNs() {
    return ThreadUsage().cpuNs;
}

}  // namespace kiv::bench
