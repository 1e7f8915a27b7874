#include "platform/port_assignment.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/table_cases.h"

namespace kiv {
namespace {

using Kind = PortAssignment::Kind;

SerialDevice Dev(std::string path, std::string byId = {}) {
    SerialDevice d;
    d.path = std::move(path);
    d.byId = std::move(byId);
    return d;
}
SerialDevice Console(std::string path) {
    SerialDevice d = Dev(std::move(path));
    d.console = true;
    return d;
}

PortAssignment Auto(std::string identity) {
    return {Kind::Device, std::move(identity), false};
}
PortAssignment Chosen(std::string identity) {
    return {Kind::Device, std::move(identity), true};
}
const PortAssignment kNone{};
const PortAssignment kVirtual{Kind::Virtual, {}, true};

const std::string kFtdi = "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";

struct AssignCase {
    const char* name;
    PortAssignments saved;
    std::vector<SerialDevice> present;
    PortAssignments expected;
};

using kiv::testing::PrintTo;

class AssignNewDevicesTest : public ::testing::TestWithParam<AssignCase> {};

TEST_P(AssignNewDevicesTest, GivesTheLowestFreeNumbers) {
    const AssignCase& c = GetParam();
    PortAssignments ports = c.saved;
    EXPECT_EQ(AssignNewDevices(ports, c.present), c.saved != c.expected);
    EXPECT_EQ(ports, c.expected);
    // The same list backwards gives the same numbers.
    PortAssignments reversed = c.saved;
    AssignNewDevices(reversed, std::vector<SerialDevice>(c.present.rbegin(), c.present.rend()));
    EXPECT_EQ(reversed, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssignNewDevicesTest,
    ::testing::Values(
        AssignCase{"OneAdapterWithoutUartIsCom1",
                   {},
                   {Dev("/dev/ttyUSB0", kFtdi)},
                   {Auto(kFtdi), kNone, kNone, kNone}},
        AssignCase{
            "UartsFirstInNumericOrderThenOthers",
            {},
            {Dev("/dev/ttyUSB0"), Dev("/dev/ttyS10"), Dev("/dev/ttyACM0"), Dev("/dev/ttyS2")},
            {Auto("/dev/ttyS2"), Auto("/dev/ttyS10"), Auto("/dev/ttyACM0"), Auto("/dev/ttyUSB0")}},
        AssignCase{"SavedNumbersStayAndNewOnesFillTheGaps",
                   {kNone, Chosen(kFtdi), kNone, kNone},
                   {Dev("/dev/ttyUSB3", kFtdi), Dev("/dev/ttyACM0"), Dev("/dev/ttyACM1")},
                   {Auto("/dev/ttyACM0"), Chosen(kFtdi), Auto("/dev/ttyACM1"), kNone}},
        AssignCase{"VirtualPortKeepsItsNumber",
                   {kVirtual, kNone, kNone, kNone},
                   {Dev("/dev/ttyUSB0")},
                   {kVirtual, Auto("/dev/ttyUSB0"), kNone, kNone}},
        AssignCase{"FullNumbersTakeBackAnAbsentAutomaticOne",
                   {Chosen("/dev/ttyS0"), Auto("/dev/ttyUSB1"), Auto("/dev/ttyUSB2"), kVirtual},
                   {Dev("/dev/ttyUSB2"), Dev("/dev/ttyACM0")},
                   {Chosen("/dev/ttyS0"), Auto("/dev/ttyACM0"), Auto("/dev/ttyUSB2"), kVirtual}},
        AssignCase{"ChosenNumbersOfAbsentDevicesAreNeverTaken",
                   {Chosen("/dev/ttyS0"), Chosen("/dev/ttyUSB1"), kVirtual, kVirtual},
                   {Dev("/dev/ttyACM0")},
                   {Chosen("/dev/ttyS0"), Chosen("/dev/ttyUSB1"), kVirtual, kVirtual}},
        // Found by fuzzing: a device listed under a path that cannot be
        // opened is still present, and its number is not taken from it.
        AssignCase{"APresentDeviceKeepsItsNumberWhateverItsPath",
                   {Auto("/dev/serial/by-id/x"), Auto("/dev/ttyS1"), Auto("/dev/ttyS2"), kNone},
                   {Dev("junk", "/dev/serial/by-id/x"), Dev("/dev/ttyACM0"), Dev("/dev/ttyACM1")},
                   {Auto("/dev/serial/by-id/x"), Auto("/dev/ttyACM1"), Auto("/dev/ttyS2"),
                    Auto("/dev/ttyACM0")}},
        // The system's console never gets a number of the program's own.
        AssignCase{"TheConsoleGetsNoNumber",
                   {},
                   {Console("/dev/ttyS0"), Dev("/dev/ttyS1"), Dev("/dev/ttyUSB0", kFtdi)},
                   {Auto("/dev/ttyS1"), Auto(kFtdi), kNone, kNone}},
        AssignCase{"TheConsoleAloneGetsNoNumber", {}, {Console("/dev/ttyS0")}, {}},
        // Given before it was the console (an older version did): taken back.
        AssignCase{"AnAutomaticNumberOfTheConsoleIsTakenBack",
                   {Auto("/dev/ttyS0"), Auto("/dev/ttyS1"), kNone, kNone},
                   {Console("/dev/ttyS0"), Dev("/dev/ttyS1"), Dev("/dev/ttyACM0")},
                   {Auto("/dev/ttyACM0"), Auto("/dev/ttyS1"), kNone, kNone}},
        AssignCase{"TheUsersChoiceOfTheConsoleStands",
                   {kNone, Chosen("/dev/ttyS0"), kNone, kNone},
                   {Console("/dev/ttyS0"), Dev("/dev/ttyS1")},
                   {Auto("/dev/ttyS1"), Chosen("/dev/ttyS0"), kNone, kNone}},
        AssignCase{"AConsoleListedTwiceIsStillTheConsole",
                   {},
                   {Dev("/dev/ttyS0"), Console("/dev/ttyS0"), Dev("/dev/ttyS1")},
                   {Auto("/dev/ttyS1"), kNone, kNone, kNone}},
        AssignCase{
            "UnusablePathsAndDuplicatesAreSkipped",
            {},
            {Dev("ttyUSB0"), Dev("/dev/ttyUSB1", kFtdi), Dev("/dev/ttyUSB0", kFtdi), Dev("")},
            {Auto(kFtdi), kNone, kNone, kNone}}),
    [](const auto& info) { return std::string(info.param.name); });

struct TextCase {
    const char* text;
    PortAssignment decoded;
    const char* encoded;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.text));
}

class AssignmentTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(AssignmentTextTest, ReadsAndWritesTheSavedForm) {
    const TextCase& c = GetParam();
    EXPECT_EQ(DecodeAssignment(c.text), c.decoded) << c.text;
    EXPECT_EQ(EncodeAssignment(DecodeAssignment(c.text)), c.encoded) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AssignmentTextTest,
    ::testing::Values(TextCase{"", kNone, ""}, TextCase{"virtual", kVirtual, "virtual"},
                      TextCase{" virtual\n", kVirtual, "virtual"},
                      TextCase{"auto /dev/ttyUSB0", Auto("/dev/ttyUSB0"), "auto /dev/ttyUSB0"},
                      // Written by hand: the user's own choice.
                      TextCase{"/dev/ttyUSB1", Chosen("/dev/ttyUSB1"), "/dev/ttyUSB1"},
                      TextCase{"ttyUSB1", kNone, ""}, TextCase{"auto", kNone, ""},
                      TextCase{"auto virtual", kNone, ""}, TextCase{"/", kNone, ""},
                      TextCase{"/dev/tty\x01", kNone, ""},
                      // The names Windows gives its ports, and its device paths.
                      TextCase{"COM7", Chosen("COM7"), "COM7"},
                      TextCase{"auto COM12", Auto("COM12"), "auto COM12"},
                      TextCase{"\\\\.\\COM7", Chosen("\\\\.\\COM7"), "\\\\.\\COM7"},
                      TextCase{"COM0", kNone, ""}, TextCase{"COM", kNone, ""},
                      TextCase{"COM07", kNone, ""}, TextCase{"com7", kNone, ""},
                      TextCase{"COM1234", kNone, ""}, TextCase{"COM7x", kNone, ""},
                      TextCase{"\\\\.\\", kNone, ""}, TextCase{"\\\\?\\COM7", kNone, ""}));

TEST(PortAssignmentTest, ADeviceNamedTwiceKeepsTheLowestNumber) {
    PortAssignments ports{Auto("/dev/ttyS0"), Chosen("/dev/ttyUSB0"), Auto("/dev/ttyUSB0"),
                          Chosen("/dev/ttyS0")};
    Normalise(ports);
    EXPECT_EQ(ports, (PortAssignments{Auto("/dev/ttyS0"), Chosen("/dev/ttyUSB0"), kNone, kNone}));
}

TEST(PortAssignmentTest, ChoosingADeviceTakesItFromItsOldNumber) {
    PortAssignments ports{Auto("/dev/ttyS0"), Auto(kFtdi), kNone, kNone};
    ChooseDevice(ports, 4, kFtdi);
    EXPECT_EQ(ports, (PortAssignments{Auto("/dev/ttyS0"), kNone, kNone, Chosen(kFtdi)}));
    ChooseVirtual(ports, 1);
    EXPECT_EQ(ports, (PortAssignments{kVirtual, kNone, kNone, Chosen(kFtdi)}));
    ChooseDevice(ports, 2, "relative/path");
    EXPECT_EQ(ports[1], kNone);
}

TEST(PortAssignmentTest, SummaryNamesWhatIsKnown) {
    SerialDevice d = Dev("/dev/ttyUSB0", kFtdi);
    EXPECT_EQ(d.Summary(), "/dev/ttyUSB0");
    d.description = "FT232R USB UART";
    d.manufacturer = "FTDI";
    d.vendorId = 0x0403;
    d.productId = 0x6001;
    EXPECT_EQ(d.Summary(), "/dev/ttyUSB0 · FT232R USB UART · FTDI · 0403:6001");
    EXPECT_EQ(Console("/dev/ttyS0").Summary(), "/dev/ttyS0 · 系统控制台");
    EXPECT_FALSE(d.IsUart());
    EXPECT_TRUE(Dev("/dev/ttyS3").IsUart());
    EXPECT_TRUE(Dev("/dev/ttyAMA0").IsUart());
    EXPECT_FALSE(Dev("/dev/ttyS").IsUart());
}

}  // namespace
}  // namespace kiv
