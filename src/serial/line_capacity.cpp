#include "serial/line_capacity.h"

#include <limits>

namespace kiv {
namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > kMax / a) return kMax;
    return a * b;
}

}  // namespace

std::uint32_t HalfBitsPerByte(const CharacterFormat& format) {
    if (format.dataBits < 1 || format.dataBits > 64 || format.stopHalfBits < 2 ||
        format.stopHalfBits > 8)
        return 0;
    const std::uint32_t parity = format.parity == Parity::None ? 0 : 1;
    return 2 * (1 + static_cast<std::uint32_t>(format.dataBits) + parity) +
           static_cast<std::uint32_t>(format.stopHalfBits);
}

std::optional<std::uint64_t> BaudNeeded(std::int64_t frameBytes, const CharacterFormat& format,
                                        std::int64_t periodMs) {
    if (frameBytes <= 0) return 0;
    const std::uint32_t halfBits = HalfBitsPerByte(format);
    if (halfBits == 0) return 0;
    if (periodMs <= 0) return std::nullopt;
    // frameBytes x halfBits x 1000 / (2 x periodMs), rounded up.
    const std::uint64_t numerator = SaturatingProduct(
        SaturatingProduct(static_cast<std::uint64_t>(frameBytes), halfBits), 1000);
    const std::uint64_t denominator = 2 * static_cast<std::uint64_t>(periodMs);
    if (numerator == kMax) return kMax;
    return numerator / denominator + (numerator % denominator != 0 ? 1 : 0);
}

bool LineKeepsUp(const std::optional<std::uint64_t>& needed, std::int64_t baud) {
    if (!needed) return false;
    if (*needed == 0) return true;
    return baud > 0 && static_cast<std::uint64_t>(baud) >= *needed;
}

}  // namespace kiv
