#include "signal/frame_assembly.h"

#include <algorithm>

#include "signal/checksum.h"

namespace kiv {

AssembledFrame AssembleFrame(const FrameFormat& format, std::span<const std::uint8_t> slots,
                             std::int32_t count) {
    AssembledFrame frame;
    const std::span<const std::uint8_t> taken =
        slots.first(std::min<std::size_t>(slots.size(), kSlotCount));
    const std::span<const std::uint8_t> header =
        std::span(format.header).first(std::min<std::size_t>(format.header.size(), kMaxFixedBytes));
    const std::span<const std::uint8_t> trailer =
        std::span(format.trailer)
            .first(std::min<std::size_t>(format.trailer.size(), kMaxFixedBytes));
    frame.parts = PartsOf(format, static_cast<int>(taken.size()));
    frame.parts.header = static_cast<int>(header.size());
    frame.parts.trailer = static_cast<int>(trailer.size());

    std::uint8_t* out = frame.bytes.data();
    out = std::copy(header.begin(), header.end(), out);
    // The count runs 0..999999; a negative one (never sent) still gives a
    // counter of the right width.
    const auto n = static_cast<std::uint32_t>(count);
    switch (format.counter) {
        case FrameCounter::None:
            break;
        case FrameCounter::U8:
            *out++ = static_cast<std::uint8_t>(n);
            break;
        case FrameCounter::U16Le:
            PutInOrder(n & 0xFFFFu, 2, ByteOrder::Le, out);
            out += 2;
            break;
        case FrameCounter::U16Be:
            PutInOrder(n & 0xFFFFu, 2, ByteOrder::Be, out);
            out += 2;
            break;
    }
    if (format.lengthByte) *out++ = static_cast<std::uint8_t>(taken.size());
    out = std::copy(taken.begin(), taken.end(), out);
    if (format.checksum != Checksum::None) {
        const std::size_t from = format.checksumFrom == ChecksumFrom::Payload ? header.size() : 0;
        const std::size_t to = static_cast<std::size_t>(out - frame.bytes.data());
        const std::uint32_t sum = ComputeChecksum(
            format.checksum, std::span<const std::uint8_t>(frame.bytes).subspan(from, to - from));
        const int width = KindOf(format.checksum).width;
        PutInOrder(sum, width, format.checksumOrder, out);
        out += width;
    }
    std::copy(trailer.begin(), trailer.end(), out);
    return frame;
}

}  // namespace kiv
