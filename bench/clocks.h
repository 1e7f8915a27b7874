#pragma once

#include <cstdint>

namespace kiv::bench {

// CLOCK_MONOTONIC, the clock every arrival is stamped with.
std::int64_t MonotonicNs();
// CPU time (user + system) used so far by the whole process, and by the
// calling thread alone.
std::int64_t ProcessCpuNs();
std::int64_t ThreadCpuNs();

}  // namespace kiv::bench
