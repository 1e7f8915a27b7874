#pragma once

#include <cstdint>
#include <optional>

#include "model/platform.h"

namespace kiv {

// Nanoseconds on the monotonic clock (time since boot, never set back).
std::int64_t MonotonicNanoseconds();

// The moment, in nanoseconds of the monotonic clock, from which the
// millisecond clock below reads wakeAt, given that it was read at nowNs.
// None when it reads wakeAt already or has passed it: like the send loop,
// this takes the 32-bit readings as a signed distance, so a wrap past 2^32
// is followed and a bound 2^31 ms or more ahead counts as passed.
std::optional<std::int64_t> WakeMomentNs(std::uint32_t wakeAt, std::int64_t nowNs);

// The send loop's millisecond clock: the monotonic clock in whole
// milliseconds, truncated to 32 bits so that it wraps like the 32-bit
// system tick the loop's arithmetic is written for.
class SteadyMillisecondClock : public MillisecondClock {
  public:
    std::uint32_t Now() override;
};

}  // namespace kiv
