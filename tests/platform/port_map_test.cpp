#include "platform/port_map.h"

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>

#include "platform/port_naming.h"

namespace kiv {
namespace {

TEST(PortMap, NumbersOpenTheOnBoardPortsByDefault) {
    const PortMap map;
    EXPECT_EQ(map.device(1), "/dev/ttyS0");
    EXPECT_EQ(map.device(2), "/dev/ttyS1");
    EXPECT_EQ(map.device(3), "/dev/ttyS2");
    EXPECT_EQ(map.device(4), "/dev/ttyS3");
}

TEST(PortMap, NumbersOutsideOneToFourAreRefused) {
    PortMap map;
    EXPECT_THROW(map.device(0), std::out_of_range);
    EXPECT_THROW(map.device(5), std::out_of_range);
    EXPECT_THROW(map.setDevice(-1, "/dev/x"), std::out_of_range);
}

TEST(PortMap, DescribesEveryPortOnItsOwnLine) {
    PortMap map;
    map.setDevice(2, "/dev/pts/7");
    EXPECT_EQ(map.Describe(),
              "COM1: /dev/ttyS0\n"
              "COM2: /dev/pts/7\n"
              "COM3: /dev/ttyS2\n"
              "COM4: /dev/ttyS3");
}

// How messages name a port: the window's number and the device behind it,
// once when the device is that number's own COM name, and the device alone
// in a map of one device (kiv-cli's --device), which knows no number.
TEST(PortMap, LabelsNameThePortsAUserKnows) {
    PortMap window;
    window.setDevice(2, "/dev/ttyUSB0");
    window.setDevice(3, "COM3");
    window.setDevice(4, "\\\\.\\COM4");
    const PortMap one = PortMap::OneDevice("/dev/pts/7");
    const PortMap com = PortMap::OneDevice("COM13");
    const struct {
        const PortMap& map;
        int port;
        const char* label;
    } cases[] = {
        {window, 1, "COM1 (/dev/ttyS0)"},
        {window, 2, "COM2 (/dev/ttyUSB0)"},
        {window, 3, "COM3"},
        {window, 4, "COM4"},
        {one, 1, "/dev/pts/7"},
        {one, 4, "/dev/pts/7"},
        {com, 1, "COM13"},
        {com, 3, "COM13"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.map.Label(c.port), c.label) << c.port;
    for (int port = 1; port <= 4; ++port) EXPECT_EQ(com.device(port), "COM13");
    // Once a number is given another device, the map is the window's again.
    PortMap changed = com;
    changed.setDevice(2, "COM7");
    EXPECT_EQ(changed.Label(1), "COM1 (COM13)");
    EXPECT_EQ(changed.Label(2), "COM2 (COM7)");
}

// A name typed into the window's "其他路径..." without a folder is a device
// under /dev here; a full path stays as typed.
TEST(PortNaming, ABareTypedNameIsADeviceUnderDev) {
    const struct {
        const char* typed;
        const char* device;
    } cases[] = {{"ttyUSB0", "/dev/ttyUSB0"},
                 {"serial/by-id/usb-x", "/dev/serial/by-id/usb-x"},
                 {"/dev/pts/7", "/dev/pts/7"},
                 {"/tmp/link", "/tmp/link"}};
    for (const auto& c : cases) EXPECT_EQ(TypedDeviceName(c.typed), c.device) << c.typed;
}

struct GoodMapping {
    const char* value;
    int port;
    const char* device;
};

void PrintTo(const GoodMapping& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.value));
}

class PortMappingAccepted : public ::testing::TestWithParam<GoodMapping> {};

TEST_P(PortMappingAccepted, SetsOnlyTheNamedPort) {
    const auto& row = GetParam();
    PortMap map;
    EXPECT_EQ(ApplyPortMapping(row.value, map), "");
    PortMap expected;
    expected.setDevice(row.port, row.device);
    EXPECT_EQ(map, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, PortMappingAccepted,
    ::testing::Values(GoodMapping{"COM1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
                      GoodMapping{"COM4=/dev/pts/12", 4, "/dev/pts/12"},
                      GoodMapping{"com2=/dev/ttyACM0", 2, "/dev/ttyACM0"},
                      // A bare name is passed on; QSerialPort looks it up under /dev.
                      GoodMapping{"COM3=ttyS9", 3, "ttyS9"},
                      // Only the first '=' separates; the rest belongs to the path.
                      GoodMapping{"COM1=/tmp/a=b", 1, "/tmp/a=b"}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

struct BadMapping {
    const char* value;
    const char* mentions;  // a word the error text must contain
};

void PrintTo(const BadMapping& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.value));
}

class PortMappingRefused : public ::testing::TestWithParam<BadMapping> {};

TEST_P(PortMappingRefused, ExplainsAndLeavesTheMapAlone) {
    const auto& row = GetParam();
    PortMap map;
    const std::string error = ApplyPortMapping(row.value, map);
    EXPECT_NE(error.find(row.mentions), std::string::npos) << error;
    EXPECT_EQ(map, PortMap());
}

INSTANTIATE_TEST_SUITE_P(
    Values, PortMappingRefused,
    ::testing::Values(
        BadMapping{"", "COMn=DEVICE"}, BadMapping{"/dev/ttyUSB0", "COMn=DEVICE"},
        BadMapping{"COM1", "COMn=DEVICE"}, BadMapping{"COM1=", "no device"},
        BadMapping{"COM0=/dev/x", "COM1..COM4"}, BadMapping{"COM5=/dev/x", "COM1..COM4"},
        BadMapping{"COM10=/dev/x", "COM1..COM4"}, BadMapping{"COM=/dev/x", "COM1..COM4"},
        BadMapping{"COMA=/dev/x", "COM1..COM4"}, BadMapping{" COM1=/dev/x", "COM1..COM4"},
        BadMapping{"COM1 =/dev/x", "COM1..COM4"}, BadMapping{"LPT1=/dev/x", "COM1..COM4"},
        BadMapping{"=/dev/x", "COM1..COM4"}),
    [](const auto& info) { return "row" + std::to_string(info.index); });

TEST(PortMapping, RepeatedValuesApplyInOrder) {
    PortMap map;
    ASSERT_EQ(ApplyPortMapping("COM1=/dev/a", map), "");
    ASSERT_EQ(ApplyPortMapping("COM2=/dev/b", map), "");
    ASSERT_EQ(ApplyPortMapping("COM1=/dev/c", map), "");
    EXPECT_EQ(map.device(1), "/dev/c");
    EXPECT_EQ(map.device(2), "/dev/b");
}

}  // namespace
}  // namespace kiv
