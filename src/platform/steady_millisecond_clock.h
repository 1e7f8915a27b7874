#pragma once

#include <cstdint>

#include "model/platform.h"

namespace kiv {

// Nanoseconds on the monotonic clock (time since boot, never set back).
std::int64_t MonotonicNanoseconds();

// The send loop's millisecond clock: the monotonic clock in whole
// milliseconds, truncated to 32 bits so that it wraps like the 32-bit
// system tick the loop's arithmetic is written for.
class SteadyMillisecondClock : public MillisecondClock {
  public:
    std::uint32_t Now() override;
};

}  // namespace kiv
