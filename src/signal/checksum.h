#pragma once

#include <cstdint>
#include <span>

#include "model/frame_format.h"

namespace kiv {

// The checksum of that kind over `bytes`, in the low bits (8, 16 or 32 of
// them as the kind is wide); 0 for Checksum::None.
std::uint32_t ComputeChecksum(Checksum kind, std::span<const std::uint8_t> bytes);

// Writes the low `width` bytes of `value` into out[0 .. width - 1] in that
// order.
void PutInOrder(std::uint32_t value, int width, ByteOrder order, std::uint8_t* out);

}  // namespace kiv
