#include "signal/checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/frame_format.h"

namespace kiv {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

struct CheckCase {
    Checksum kind;
    std::uint32_t overDigits;  // over the nine ASCII bytes "123456789"
    std::uint32_t overNothing;
    std::uint32_t overOneByte;   // over the single byte 0x01
    std::uint32_t overDigitOne;  // over the single byte 0x31 ('1')
};

// The catalogue's check values; the sum, XOR and LRC of "123456789" by
// hand: 0x31 + .. + 0x39 = 0x1DD, 0x31 ^ .. ^ 0x39 = 0x31, -0xDD = 0x23.
// Over nothing each kind gives its initial register after the final XOR;
// over 0x01 and over 0x31 the values are worked out one step of the
// register at a time.
const CheckCase kCases[] = {
    {Checksum::Sum8, 0xDD, 0x00, 0x01, 0x31},
    {Checksum::Xor8, 0x31, 0x00, 0x01, 0x31},
    {Checksum::Lrc8, 0x23, 0x00, 0xFF, 0xCF},
    {Checksum::Crc8, 0xF4, 0x00, 0x07, 0x97},
    {Checksum::Crc8Maxim, 0xA1, 0x00, 0x5E, 0xE0},
    {Checksum::Crc16Arc, 0xBB3D, 0x0000, 0xC0C1, 0xD4C1},
    {Checksum::Crc16Modbus, 0x4B37, 0xFFFF, 0x807E, 0x947E},
    {Checksum::Crc16CcittFalse, 0x29B1, 0xFFFF, 0xF1D1, 0xC782},
    {Checksum::Crc16Xmodem, 0x31C3, 0x0000, 0x1021, 0x2672},
    {Checksum::Crc32, 0xCBF43926u, 0x00000000u, 0xA505DF1Bu, 0x83DCEFB7u},
};

TEST(ChecksumTest, EveryKindGivesTheCatalogueValues) {
    const std::vector<std::uint8_t> digits = Bytes("123456789");
    const std::vector<std::uint8_t> one = {0x01};
    for (const CheckCase& c : kCases) {
        SCOPED_TRACE(KindOf(c.kind).name);
        EXPECT_EQ(ComputeChecksum(c.kind, digits), c.overDigits);
        EXPECT_EQ(ComputeChecksum(c.kind, {}), c.overNothing);
        EXPECT_EQ(ComputeChecksum(c.kind, one), c.overOneByte);
        EXPECT_EQ(ComputeChecksum(c.kind, Bytes("1")), c.overDigitOne);
    }
}

TEST(ChecksumTest, TheModbusRequestEndsInItsKnownChecksum) {
    // Read two registers from 10 at unit 1: 01 03 00 0A 00 02, then E4 09.
    const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02};
    std::uint8_t out[2] = {};
    PutInOrder(ComputeChecksum(Checksum::Crc16Modbus, request), 2,
               KindOf(Checksum::Crc16Modbus).defaultOrder, out);
    EXPECT_EQ(out[0], 0xE4);
    EXPECT_EQ(out[1], 0x09);
}

TEST(ChecksumTest, ByteOrderPutsTheLowOrHighByteFirst) {
    struct Case {
        std::uint32_t value;
        int width;
        ByteOrder order;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {0xCBF43926u, 4, ByteOrder::Le, {0x26, 0x39, 0xF4, 0xCB}},
        {0xCBF43926u, 4, ByteOrder::Be, {0xCB, 0xF4, 0x39, 0x26}},
        {0x4B37, 2, ByteOrder::Le, {0x37, 0x4B}},
        {0x4B37, 2, ByteOrder::Be, {0x4B, 0x37}},
        {0xF4, 1, ByteOrder::Le, {0xF4}},
        {0xF4, 1, ByteOrder::Be, {0xF4}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(c.width) + 1, 0xEE);
        PutInOrder(c.value, c.width, c.order, out.data());
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + c.width), c.bytes)
            << std::hex << c.value;
        EXPECT_EQ(out.back(), 0xEE) << "wrote past the checksum";
    }
}

TEST(ByteListTest, ReadsTheFormsUsersType) {
    struct Case {
        const char* text;
        bool accepted;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"", true, {}},
        {"   ", true, {}},
        {"AA 55", true, {0xAA, 0x55}},
        {" a, 0X5 ", true, {0x0A, 0x05}},
        {"0xAA,0x55", true, {0xAA, 0x55}},
        {"0Xaa , 5", true, {0xAA, 0x05}},
        {"01 03\t0d,0A", true, {0x01, 0x03, 0x0D, 0x0A}},
        {"1 2 3 4 5 6 7 8", true, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"1 2 3 4 5 6 7 8 9", false, {}},
        {"AAA", false, {}},
        {"AA55", false, {}},
        {"0x", false, {}},
        {"0x123", false, {}},
        {"G1", false, {}},
        {"AA;55", false, {}},
        {"-1", false, {}},
    };
    for (const Case& c : cases) {
        std::string why;
        const auto bytes = ParseByteList(c.text, &why);
        ASSERT_EQ(bytes.has_value(), c.accepted) << '"' << c.text << '"';
        if (c.accepted) {
            EXPECT_EQ(*bytes, c.bytes) << '"' << c.text << '"';
            EXPECT_EQ(ParseByteList(ByteListText(*bytes), nullptr), bytes)
                << "shown form reads back";
        } else {
            EXPECT_FALSE(why.empty()) << '"' << c.text << '"';
        }
    }
    EXPECT_EQ(ByteListText({0x01, 0xAB, 0x0F}), "01 AB 0F");
    EXPECT_EQ(ByteListText({0x0D, 0x0A}), "0D 0A");
}

TEST(FramePartsTest, CountsEveryPartInFrameOrder) {
    FrameFormat format;
    EXPECT_TRUE(format.Off());
    EXPECT_EQ(PartsOf(format, 4).Total(), 4);
    format.header = {0xAA, 0x55};
    format.counter = FrameCounter::U16Be;
    format.lengthByte = true;
    format.checksum = Checksum::Crc32;
    format.trailer = {0x0D, 0x0A};
    EXPECT_FALSE(format.Off());
    const FrameParts parts = PartsOf(format, 10);
    EXPECT_EQ(parts.SlotsStart(), 2 + 2 + 1);
    EXPECT_EQ(parts.ChecksumStart(), 15);
    EXPECT_EQ(parts.Total(), 21);
    format.header.assign(kMaxFixedBytes, 0);
    format.trailer.assign(kMaxFixedBytes, 0);
    EXPECT_EQ(PartsOf(format, 10).Total(), kMaxFrameBytes);
}

TEST(FrameFormatTest, EveryNameReadsBackAsItsKind) {
    for (const ChecksumKind& k : kChecksumKinds) EXPECT_EQ(ChecksumNamed(k.name), k.checksum);
    for (const CounterKind& k : kCounterKinds) EXPECT_EQ(CounterNamed(k.name), k.counter);
    for (const ByteOrderKind& k : kByteOrders) EXPECT_EQ(ByteOrderNamed(k.name), k.order);
    for (const ChecksumFromKind& k : kChecksumFroms) EXPECT_EQ(ChecksumFromNamed(k.name), k.from);
    EXPECT_EQ(ChecksumNamed("CRC32"), std::nullopt);
    EXPECT_EQ(CounterNamed("u32"), std::nullopt);
}

}  // namespace
}  // namespace kiv
