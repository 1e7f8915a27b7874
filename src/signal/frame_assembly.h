#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "model/frame_format.h"

namespace kiv {

// A whole frame as it goes on the line: the slots' bytes in their format.
struct AssembledFrame {
    std::array<std::uint8_t, kMaxFrameBytes> bytes{};
    FrameParts parts;

    std::span<const std::uint8_t> Bytes() const {
        return std::span<const std::uint8_t>(bytes).first(static_cast<std::size_t>(parts.Total()));
    }
};

// Puts the slots' bytes (noise added already) into the format: the counter
// holds `count` (the frame's sendCount) modulo 256 or 65536, the length byte
// the number of slot bytes, and the checksum covers the frame from its first
// byte, or from the first byte after the header, up to the checksum. At most
// ten slot bytes are taken. Allocates nothing.
AssembledFrame AssembleFrame(const FrameFormat& format, std::span<const std::uint8_t> slots,
                             std::int32_t count);

}  // namespace kiv
