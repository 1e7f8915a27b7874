#include "signal/frame_assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/frame_format.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FrameAssemblyTest, TheModbusRequestComesOutExactly) {
    FrameFormat f;
    f.header = {0x01, 0x03};
    f.checksum = Checksum::Crc16Modbus;
    f.checksumOrder = ByteOrder::Le;
    const AssembledFrame frame = AssembleFrame(f, Bytes{0, 10, 0, 2}, 0);
    EXPECT_EQ(Bytes(frame.Bytes().begin(), frame.Bytes().end()),
              (Bytes{0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09}));
    f.checksumOrder = ByteOrder::Be;
    const AssembledFrame be = AssembleFrame(f, Bytes{0, 10, 0, 2}, 0);
    EXPECT_EQ(be.bytes[6], 0x09);
    EXPECT_EQ(be.bytes[7], 0xE4);
}

struct PartCase {
    const char* name;
    FrameFormat format;
    std::int32_t count;
    Bytes expected;
};

TEST(FrameAssemblyTest, EveryPartAloneAndAllTogether) {
    const Bytes slots = {5, 6};
    FrameFormat header, u8, u16le, u16be, length, sum, payloadSum, trailer, all;
    header.header = {0xAA, 0x55};
    u8.counter = FrameCounter::U8;
    u16le.counter = FrameCounter::U16Le;
    u16be.counter = FrameCounter::U16Be;
    length.lengthByte = true;
    sum.header = {0xAA};
    sum.checksum = Checksum::Sum8;
    payloadSum = sum;
    payloadSum.checksumFrom = ChecksumFrom::Payload;
    trailer.trailer = {0x0D, 0x0A};
    all.header = {0xAA, 0x55};
    all.counter = FrameCounter::U16Be;
    all.lengthByte = true;
    all.checksum = Checksum::Xor8;
    all.trailer = {0x0D, 0x0A};
    const PartCase cases[] = {
        {"off", FrameFormat{}, 7, {5, 6}},
        {"header", header, 7, {0xAA, 0x55, 5, 6}},
        {"u8 wraps at 256", u8, 257, {1, 5, 6}},
        {"u16le", u16le, 0x1234, {0x34, 0x12, 5, 6}},
        {"u16be wraps at 65536", u16be, 65537, {0x00, 0x01, 5, 6}},
        {"u16 at the count's last value", u16le, 999999, {0x3F, 0x42, 5, 6}},
        {"length", length, 0, {2, 5, 6}},
        {"sum from start", sum, 0, {0xAA, 5, 6, 0xB5}},
        {"sum from payload", payloadSum, 0, {0xAA, 5, 6, 0x0B}},
        {"trailer", trailer, 0, {5, 6, 0x0D, 0x0A}},
        {"all",
         all,
         0x0102,
         {0xAA, 0x55, 0x01, 0x02, 2, 5, 6, 0xAA ^ 0x55 ^ 1 ^ 2 ^ 2 ^ 5 ^ 6, 0x0D, 0x0A}},
    };
    for (const PartCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AssembledFrame frame = AssembleFrame(c.format, slots, c.count);
        EXPECT_EQ(Bytes(frame.Bytes().begin(), frame.Bytes().end()), c.expected);
        EXPECT_EQ(frame.parts, PartsOf(c.format, 2));
    }
}

}  // namespace
}  // namespace kiv
