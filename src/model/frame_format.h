#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/form.h"

// The frame format: what goes around the slots of every frame so that a
// receiver that checks its input takes it. In frame order: header, counter,
// length byte, the slots, checksum, trailer; every part but the slots may be
// left out, and with all of them out (the start-up state) a frame is the
// slots' bytes alone.
namespace kiv {

enum class FrameCounter { None, U8, U16Le, U16Be };
enum class Checksum {
    None,
    Sum8,
    Xor8,
    Lrc8,
    Crc8,
    Crc8Maxim,
    Crc16Arc,
    Crc16Modbus,
    Crc16CcittFalse,
    Crc16Xmodem,
    Crc32
};
enum class ByteOrder { Le, Be };
enum class ChecksumFrom { Start, Payload };

// Fixed bytes at most in a header or a trailer.
constexpr int kMaxFixedBytes = 8;
// The longest frame: header, 16-bit counter, length byte, ten slots, a
// 32-bit checksum and the trailer.
constexpr int kMaxFrameBytes = kMaxFixedBytes + 2 + 1 + kSlotCount + 4 + kMaxFixedBytes;

// Every counter kind: its name (kiv-cli's option value and the setup key's
// value; "" for none), its width in bytes and the words the window shows.
struct CounterKind {
    FrameCounter counter;
    const char* name;
    int width;
    const char* label;
};
inline constexpr std::array<CounterKind, 4> kCounterKinds = {{
    {FrameCounter::None, "", 0, "无"},
    {FrameCounter::U8, "u8", 1, "8 位"},
    {FrameCounter::U16Le, "u16le", 2, "16 位 低字节在前"},
    {FrameCounter::U16Be, "u16be", 2, "16 位 高字节在前"},
}};

// Every checksum kind: its name, its width in bytes and the byte order a
// 16- or 32-bit one takes unless told otherwise (low byte first for the
// reflected CRCs, as their receivers compute them, high byte first for the
// others).
struct ChecksumKind {
    Checksum checksum;
    const char* name;
    int width;
    ByteOrder defaultOrder;
};
inline constexpr std::array<ChecksumKind, 11> kChecksumKinds = {{
    {Checksum::None, "", 0, ByteOrder::Be},
    {Checksum::Sum8, "sum8", 1, ByteOrder::Be},
    {Checksum::Xor8, "xor8", 1, ByteOrder::Be},
    {Checksum::Lrc8, "lrc8", 1, ByteOrder::Be},
    {Checksum::Crc8, "crc8", 1, ByteOrder::Be},
    {Checksum::Crc8Maxim, "crc8-maxim", 1, ByteOrder::Be},
    {Checksum::Crc16Arc, "crc16-arc", 2, ByteOrder::Le},
    {Checksum::Crc16Modbus, "crc16-modbus", 2, ByteOrder::Le},
    {Checksum::Crc16CcittFalse, "crc16-ccitt-false", 2, ByteOrder::Be},
    {Checksum::Crc16Xmodem, "crc16-xmodem", 2, ByteOrder::Be},
    {Checksum::Crc32, "crc32", 4, ByteOrder::Le},
}};

// Byte orders and checksum ranges: names, and the words the window shows.
struct ByteOrderKind {
    ByteOrder order;
    const char* name;
    const char* label;
};
inline constexpr std::array<ByteOrderKind, 2> kByteOrders = {{
    {ByteOrder::Le, "le", "低字节在前"},
    {ByteOrder::Be, "be", "高字节在前"},
}};
struct ChecksumFromKind {
    ChecksumFrom from;
    const char* name;
    const char* label;
};
inline constexpr std::array<ChecksumFromKind, 2> kChecksumFroms = {{
    {ChecksumFrom::Start, "start", "从帧首"},
    {ChecksumFrom::Payload, "payload", "从帧头之后"},
}};

const CounterKind& KindOf(FrameCounter counter);
const ChecksumKind& KindOf(Checksum checksum);
const ByteOrderKind& KindOf(ByteOrder order);
const ChecksumFromKind& KindOf(ChecksumFrom from);
// The kind of that exact name (lower case as in the tables); empty when
// none is.
std::optional<FrameCounter> CounterNamed(std::string_view name);
std::optional<Checksum> ChecksumNamed(std::string_view name);
std::optional<ByteOrder> ByteOrderNamed(std::string_view name);
std::optional<ChecksumFrom> ChecksumFromNamed(std::string_view name);

struct FrameFormat {
    std::vector<std::uint8_t> header;  // at most kMaxFixedBytes
    FrameCounter counter = FrameCounter::None;
    bool lengthByte = false;
    Checksum checksum = Checksum::None;
    ByteOrder checksumOrder = ByteOrder::Le;  // for a checksum of 2 or 4 bytes
    ChecksumFrom checksumFrom = ChecksumFrom::Start;
    std::vector<std::uint8_t> trailer;  // at most kMaxFixedBytes

    // Nothing around the slots: a frame is the slots' bytes alone. The byte
    // order and range of an absent checksum do not count.
    bool Off() const {
        return header.empty() && counter == FrameCounter::None && !lengthByte &&
               checksum == Checksum::None && trailer.empty();
    }
    bool operator==(const FrameFormat&) const = default;
};

// The bytes of each part of a frame, in frame order.
struct FrameParts {
    // (slotBytes, not "slots": the window toolkit takes that word for itself.)
    int header = 0, counter = 0, length = 0, slotBytes = 0, checksum = 0, trailer = 0;

    int SlotsStart() const { return header + counter + length; }
    int ChecksumStart() const { return SlotsStart() + slotBytes; }
    int Total() const { return ChecksumStart() + checksum + trailer; }
    bool operator==(const FrameParts&) const = default;
};
FrameParts PartsOf(const FrameFormat& format, int slotCount);

// A byte list as typed into the header or trailer box: hexadecimal bytes of
// one or two digits, each with or without 0x, separated by blanks or commas
// ("AA 55", "0xAA,0x55"); an empty or blank text is no bytes. Gives the
// bytes, or empty with the rule the text broke in `why` (English).
std::optional<std::vector<std::uint8_t>> ParseByteList(std::string_view text, std::string* why);
// The bytes as the boxes show them: "AA 55"; "" for none.
std::string ByteListText(const std::vector<std::uint8_t>& bytes);

}  // namespace kiv
