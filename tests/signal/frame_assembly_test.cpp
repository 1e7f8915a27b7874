#include "signal/frame_assembly.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/frame_format.h"
#include "signal/checksum.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Check values over "123456789" from the CRC catalogue; the three sums
// worked out by hand: the digits add to 0x1DD (low byte DD), XOR to 0x31,
// and the LRC is 0x100 - 0xDD = 0x23.
struct CheckCase {
    Checksum kind;
    std::uint32_t check;
    std::uint32_t oneByte;  // over the single byte 0x31 ('1')
};
const CheckCase kCheckCases[] = {
    {Checksum::Sum8, 0xDD, 0x31},
    {Checksum::Xor8, 0x31, 0x31},
    {Checksum::Lrc8, 0x23, 0xCF},
    {Checksum::Crc8, 0xF4, 0x97},
    {Checksum::Crc8Maxim, 0xA1, 0xE0},
    {Checksum::Crc16Arc, 0xBB3D, 0xD4C1},
    {Checksum::Crc16Modbus, 0x4B37, 0x947E},
    {Checksum::Crc16CcittFalse, 0x29B1, 0xC782},
    {Checksum::Crc16Xmodem, 0x31C3, 0x2672},
    {Checksum::Crc32, 0xCBF43926, 0x83DCEFB7},
};

TEST(ChecksumTest, EveryKindGivesTheCatalogueCheckValue) {
    for (const CheckCase& c : kCheckCases) {
        SCOPED_TRACE(KindOf(c.kind).name);
        EXPECT_EQ(ComputeChecksum(c.kind, Ascii("123456789")), c.check);
        EXPECT_EQ(ComputeChecksum(c.kind, Ascii("1")), c.oneByte);
    }
}

TEST(ChecksumTest, AnEmptyRangeGivesTheInitialValueAfterItsFinalXor) {
    const Bytes none;
    EXPECT_EQ(ComputeChecksum(Checksum::Sum8, none), 0u);
    EXPECT_EQ(ComputeChecksum(Checksum::Lrc8, none), 0u);
    EXPECT_EQ(ComputeChecksum(Checksum::Crc16Modbus, none), 0xFFFFu);
    EXPECT_EQ(ComputeChecksum(Checksum::Crc16CcittFalse, none), 0xFFFFu);
    EXPECT_EQ(ComputeChecksum(Checksum::Crc16Arc, none), 0u);
    EXPECT_EQ(ComputeChecksum(Checksum::Crc32, none), 0u);
}

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

TEST(FrameFormatTest, ByteListsAreReadByTheirRule) {
    std::string why;
    EXPECT_EQ(ParseByteList("AA 55", &why), (Bytes{0xAA, 0x55}));
    EXPECT_EQ(ParseByteList("0xAA,0x55", &why), (Bytes{0xAA, 0x55}));
    EXPECT_EQ(ParseByteList(" a, 0X5 ", &why), (Bytes{0x0A, 0x05}));
    EXPECT_EQ(ParseByteList("", &why), Bytes{});
    EXPECT_EQ(ParseByteList("1 2 3 4 5 6 7 8", &why)->size(), 8u);
    for (const char* bad : {"AA55", "0x", "G1", "1 2 3 4 5 6 7 8 9", "AA;55"}) {
        SCOPED_TRACE(bad);
        why.clear();
        EXPECT_FALSE(ParseByteList(bad, &why));
        EXPECT_FALSE(why.empty());
    }
    EXPECT_EQ(ByteListText({0x0D, 0x0A}), "0D 0A");
}

}  // namespace
}  // namespace kiv
