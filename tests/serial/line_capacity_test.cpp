#include "serial/line_capacity.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "fakes.h"
#include "sending/capacity_warning.h"
#include "sending/frame_settings.h"
#include "sending/send_content.h"
#include "serial/port_settings.h"

namespace kiv {
namespace {

constexpr auto kNever = std::optional<std::uint64_t>();

// Worked out by hand: bytes x (1 + data + parity + stop) x 1000 / T, up.
TEST(LineCapacity, BaudNeededForFormatsAndPeriods) {
    const struct {
        std::int64_t bytes;
        int data;
        Parity parity;
        int stopHalves;
        std::int64_t period;
        std::optional<std::uint64_t> baud;
    } cases[] = {
        {10, 8, Parity::None, 2, 1, 100000},    // 10 bits a byte
        {10, 8, Parity::Even, 2, 1, 110000},    // parity adds a bit
        {10, 8, Parity::Odd, 2, 1, 110000},     // either parity
        {10, 8, Parity::None, 4, 1, 110000},    // two stop bits
        {10, 8, Parity::Even, 4, 1, 120000},    // both
        {10, 8, Parity::None, 3, 1, 105000},    // 1.5 stop bits
        {10, 7, Parity::None, 2, 1, 90000},     // fewer data bits
        {10, 6, Parity::Odd, 3, 1, 95000},      // 1 + 6 + 1 + 1.5
        {10, 5, Parity::None, 2, 1, 70000},     // the fewest data bits
        {4, 8, Parity::None, 2, 10, 4000},      // 40 bits every 10 ms
        {1, 8, Parity::None, 2, 3, 3334},       // 10000 / 3 rounds up
        {1, 8, Parity::None, 3, 3, 3500},       // 10.5 bits: 3500 exactly
        {3, 7, Parity::Even, 3, 7, 4500},       // 3 x 10.5 x 1000 / 7 = 4500
        {1, 8, Parity::None, 3, 4, 2625},       // 10.5 x 1000 / 4 = 2625
        {1, 8, Parity::None, 3, 8, 1313},       // 1312.5 rounds up
        {10, 8, Parity::None, 2, 1000, 100},    // one frame a second
        {1, 8, Parity::None, 2, 100000000, 1},  // a long period needs 1 baud
        {10, 8, Parity::None, 2, 0, kNever},    // back to back: no rate
        {1, 5, Parity::None, 2, -5, kNever},    // a negative period too
        {0, 8, Parity::None, 2, 0, 0},          // no frame needs nothing
        {-3, 8, Parity::None, 2, 10, 0},
        {10, 0, Parity::None, 2, 1, 0},  // no such format: nothing to weigh
        {10, 8, Parity::None, 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bytes << " bytes, " << c.data << " data, stop/2 "
                                          << c.stopHalves << ", T " << c.period);
        EXPECT_EQ(BaudNeeded(c.bytes, {c.data, c.parity, c.stopHalves}, c.period), c.baud);
    }
}

TEST(LineCapacity, HugeCountsSaturateInsteadOfWrapping) {
    constexpr auto kMaxBytes = std::numeric_limits<std::int64_t>::max();
    const CharacterFormat format{8, Parity::Even, 4};
    EXPECT_EQ(BaudNeeded(kMaxBytes, format, 1), std::numeric_limits<std::uint64_t>::max());
    // Large but countable: 2^31 bytes of 12 bits every ms.
    EXPECT_EQ(BaudNeeded(std::int64_t{1} << 31, format, 1), (std::uint64_t{1} << 31) * 12000);
    EXPECT_EQ(BaudNeeded(1, format, std::numeric_limits<std::int64_t>::max()), 1u);
}

TEST(LineCapacity, KeepingUp) {
    const struct {
        std::optional<std::uint64_t> needed;
        std::int64_t baud;
        bool keepsUp;
    } cases[] = {
        {100000, 115200, true}, {115201, 115200, false},
        {115200, 115200, true}, {kNever, 4000000, false},
        {0, 0, true},           {1, 0, false},
        {1, -9600, false},
    };
    for (const auto& c : cases) EXPECT_EQ(LineKeepsUp(c.needed, c.baud), c.keepsUp) << c.baud;
}

// The warning for the applied plan and the applied port choices; picks that
// were not applied yet do not count.
TEST(CapacityWarning, ForTheAppliedPlanAndPort) {
    const struct {
        const char* frame;  // comma-free slots, one character each
        const char* period;
        int baudEntry, parityEntry, dataEntry, stopEntry;
        const char* warning;
        const char* console;
        // A frame format around the slots: its bytes count too.
        const char* header = "";
        const char* checksum = "";
        // The port's line: 'r' keeps to the rate (a device), 'v' takes bytes
        // as fast as they come (the virtual port), ' ' tells neither.
        char line = ' ';
    } cases[] = {
        // 10 bytes x 10 bits every 1 ms at 115200: fine.
        {"1234567890", "1", 11, 0, 2, 0, "", ""},
        // Even parity and two stop bits: 120000 > 115200.
        {"1234567890", "1", 11, 2, 2, 1, "需要至少 120000 波特",
         "warning: the line needs at least 120000 baud for this plan (the port runs at 115200)"},
        // At 9600: 10 x 10 x 1000 / 10 = 10000.
        {"1234567890", "10", 5, 0, 2, 0, "需要至少 10000 波特",
         "warning: the line needs at least 10000 baud for this plan (the port runs at 9600)"},
        // 4 bytes of 1 + 6 + 1 + 1 bits every 4 ms at 9600 = 9000: fine.
        {"1234", "4", 5, 1, 0, 0, "", ""},
        {"1", "0", 11, 0, 2, 0, "周期为 0，任何波特率都跟不上",
         "warning: no baud rate keeps up with a period of 0 ms (the port runs at 115200)"},
        {"", "0", 0, 0, 2, 0, "", ""},  // nothing to send
        // 4 slots keep up at 9600 every 10 ms; with 4 header bytes and a
        // CRC-32 the frame is 12 bytes: 12 x 10 x 1000 / 10 = 12000.
        {"1234", "10", 5, 0, 2, 0, "需要至少 12000 波特",
         "warning: the line needs at least 12000 baud for this plan (the port runs at 9600)",
         "AA 55 AA 55", "crc32"},
        {"1234", "10", 5, 0, 2, 0, "", "", "AA", "crc16-modbus"},  // 7 bytes: 7000
        // 19200,e,7,2: 1 + 7 + 1 + 2 = 11 bits a byte, 10 x 11 x 1000 / 1.
        {"1234567890", "1", 6, 2, 1, 1, "需要至少 110000 波特",
         "warning: the line needs at least 110000 baud for this plan (the port runs at 19200)"},
        // A watched device keeps to its rate; the virtual port has none.
        {"1234567890", "10", 5, 0, 2, 0, "需要至少 10000 波特",
         "warning: the line needs at least 10000 baud for this plan (the port runs at 9600)", "",
         "", 'r'},
        {"1234567890", "10", 5, 0, 2, 0, "", "", "", "", 'v'},
        {"1234567890", "1", 11, 2, 2, 1, "", "", "", "", 'v'},
        {"1", "0", 11, 0, 2, 0, "", "", "", "", 'v'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.frame) + " every " + c.period);
        testing::StartedRig r;
        r.port.watched = c.line != ' ';
        r.port.keepsToRate = c.line != 'v';
        for (int i = 1; i <= kSlotCount; ++i) {
            const std::string frame = c.frame;
            r.w.sendText1(i).Text = i <= static_cast<int>(frame.size())
                                        ? std::string(1, frame[static_cast<std::size_t>(i - 1)])
                                        : "";
        }
        r.w.autosendtext1.Text = c.period;
        ASSERT_TRUE(ApplySendSettings(r.w));
        r.w.frameHeader.Text = c.header;
        r.w.frameChecksum.Text = *c.checksum != '\0' ? c.checksum : "无";
        ASSERT_TRUE(ApplyFrameFormat(r.w));
        const int entries[kPortBoxCount] = {0, c.baudEntry, c.parityEntry, c.dataEntry,
                                            c.stopEntry};
        for (int box = kPortBoxBaud; box < kPortBoxCount; ++box) r.w.Combo1(box).Pick(entries[box]);
        ASSERT_TRUE(ApplyPortSettings(r.w));
        EXPECT_EQ(CapacityWarning(r.w), c.warning);
        EXPECT_EQ(CapacityWarningForConsole(r.w), c.console);
        // A faster rate picked but not applied changes nothing.
        r.w.Combo1(kPortBoxBaud).Pick(0);
        EXPECT_EQ(CapacityWarning(r.w), c.warning);
    }
}

}  // namespace
}  // namespace kiv
