#include "platform/steady_millisecond_clock.h"

namespace kiv {

std::optional<std::int64_t> WakeMomentNs(std::uint32_t wakeAt, std::int64_t nowNs) {
    constexpr std::int64_t kNsPerMs = 1'000'000;
    const std::int64_t nowMs = nowNs / kNsPerMs;
    const auto remainingMs = static_cast<std::int32_t>(wakeAt - static_cast<std::uint32_t>(nowMs));
    if (remainingMs <= 0) return std::nullopt;
    // The clock reads wakeAt from the first nanosecond of that millisecond.
    return (nowMs + remainingMs) * kNsPerMs;
}

}  // namespace kiv
