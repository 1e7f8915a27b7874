// How the Windows device manager's names for serial ports read: plain text
// rules, checked on every system.
#include "platform/device_names.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/port_assignment.h"

namespace kiv {
namespace {

struct FriendlyCase {
    std::string friendly;
    std::string port;
    std::string description;
};

void PrintTo(const FriendlyCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.friendly);
}

class FriendlyNameTest : public ::testing::TestWithParam<FriendlyCase> {};

TEST_P(FriendlyNameTest, SplitsThePortFromTheDescription) {
    const FriendlyCase& c = GetParam();
    const std::string port = PortNameInFriendlyName(c.friendly);
    EXPECT_EQ(port, c.port);
    EXPECT_EQ(DescriptionOfFriendlyName(c.friendly), c.description);
    // What the list finds is a name an assignment can keep.
    if (!port.empty()) {
        EXPECT_TRUE(IsAssignablePath(port)) << port;
    }
}

INSTANTIATE_TEST_SUITE_P(
    DeviceManagerNames, FriendlyNameTest,
    ::testing::Values(
        FriendlyCase{"USB-SERIAL CH340 (COM7)", "COM7", "USB-SERIAL CH340"},
        FriendlyCase{"Communications Port (COM1)", "COM1", "Communications Port"},
        FriendlyCase{"Prolific USB-to-Serial Comm Port (COM12)", "COM12",
                     "Prolific USB-to-Serial Comm Port"},
        FriendlyCase{"com0com - serial port emulator CNCA0 (COM256)", "COM256",
                     "com0com - serial port emulator CNCA0"},
        // Brackets inside the description stay with it.
        FriendlyCase{"USB Serial Device (CDC) (COM3)", "COM3", "USB Serial Device (CDC)"},
        FriendlyCase{"USB-SERIAL CH340 (COM7)  ", "COM7", "USB-SERIAL CH340"},
        FriendlyCase{"Old driver (com4)", "COM4", "Old driver"},
        // Not a port at the end: the name is kept whole.
        FriendlyCase{"USB Serial Device (CDC)", "", "USB Serial Device (CDC)"},
        FriendlyCase{"Printer Port (LPT1)", "", "Printer Port (LPT1)"},
        FriendlyCase{"Odd (COM0)", "", "Odd (COM0)"}, FriendlyCase{"Odd (COM)", "", "Odd (COM)"},
        FriendlyCase{"Odd (COM1234)", "", "Odd (COM1234)"}, FriendlyCase{"(COM5)", "COM5", ""},
        FriendlyCase{"", "", ""}, FriendlyCase{")", "", ")"}));

struct IdsCase {
    std::string hardwareId;
    int vendorId;
    int productId;
};

void PrintTo(const IdsCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.hardwareId);
}

class HardwareIdTest : public ::testing::TestWithParam<IdsCase> {};

TEST_P(HardwareIdTest, ReadsTheUsbVendorAndProduct) {
    const IdsCase& c = GetParam();
    const UsbIds ids = UsbIdsOfHardwareId(c.hardwareId);
    EXPECT_EQ(ids.vendorId, c.vendorId);
    EXPECT_EQ(ids.productId, c.productId);
}

INSTANTIATE_TEST_SUITE_P(
    HardwareIds, HardwareIdTest,
    ::testing::Values(IdsCase{"USB\\VID_1A86&PID_7523&REV_0264", 0x1A86, 0x7523},
                      IdsCase{"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", 0x0403, 0x6001},
                      IdsCase{"usb\\vid_067b&pid_2303", 0x067B, 0x2303},
                      IdsCase{"USB\\VID_FFFF&PID_0000", 0xFFFF, 0x0000},
                      // An on-board port and a damaged id name no USB device.
                      IdsCase{"ACPI\\PNP0501", -1, -1}, IdsCase{"USB\\VID_1A8&PID_7523", -1, -1},
                      IdsCase{"USB\\VID_1A86", -1, -1}, IdsCase{"USB\\VID_XY86&PID_7523", -1, -1},
                      IdsCase{"", -1, -1}));

}  // namespace
}  // namespace kiv
