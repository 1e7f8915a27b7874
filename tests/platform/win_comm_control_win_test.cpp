// The Windows port control where no device is needed: what it accepts, and
// what it says when a port cannot be opened or is not open.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "model/errors.h"
#include "platform/win_comm_control.h"

namespace kiv {
namespace {

struct SetterCase {
    const char* name;
    std::function<void(WinCommControl&)> apply;
    bool accepted;
};

void PrintTo(const SetterCase& c, std::ostream* os) {
    *os << c.name;
}

class WinCommSetterTest : public ::testing::TestWithParam<SetterCase> {};

TEST_P(WinCommSetterTest, AcceptsWhatTheWindowSetsAndRefusesTheRest) {
    WinCommControl control;
    const SetterCase& c = GetParam();
    if (c.accepted) {
        EXPECT_NO_THROW(c.apply(control));
    } else {
        try {
            c.apply(control);
            ADD_FAILURE() << c.name << " was accepted";
        } catch (const KivError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Port);
        }
    }
    EXPECT_FALSE(control.PortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Setters, WinCommSetterTest,
    ::testing::Values(
        SetterCase{"InBufferSize600", [](WinCommControl& c) { c.setInBufferSize(600); }, true},
        SetterCase{"InBufferSizeNeg", [](WinCommControl& c) { c.setInBufferSize(-1); }, false},
        SetterCase{"OutBufferSize0", [](WinCommControl& c) { c.setOutBufferSize(0); }, true},
        SetterCase{"OutBufferSizeNeg", [](WinCommControl& c) { c.setOutBufferSize(-1); }, false},
        SetterCase{"InputMode1", [](WinCommControl& c) { c.setInputMode(1); }, true},
        SetterCase{"InputMode2", [](WinCommControl& c) { c.setInputMode(2); }, false},
        SetterCase{"InputLenNeg", [](WinCommControl& c) { c.setInputLen(-1); }, false},
        SetterCase{"InBufferCount0", [](WinCommControl& c) { c.setInBufferCount(0); }, true},
        SetterCase{"InBufferCount1", [](WinCommControl& c) { c.setInBufferCount(1); }, false},
        SetterCase{"OutBufferCount0", [](WinCommControl& c) { c.setOutBufferCount(0); }, true},
        SetterCase{"OutBufferCount5", [](WinCommControl& c) { c.setOutBufferCount(5); }, false},
        SetterCase{"RThresholdNeg", [](WinCommControl& c) { c.setRThreshold(-1); }, false},
        SetterCase{"CommPort4", [](WinCommControl& c) { c.setCommPort(4); }, true},
        SetterCase{"CommPort5", [](WinCommControl& c) { c.setCommPort(5); }, false},
        SetterCase{"CommPort0", [](WinCommControl& c) { c.setCommPort(0); }, false},
        SetterCase{"Settings56000o62", [](WinCommControl& c) { c.setSettings("56000,o,6,2"); },
                   true},
        SetterCase{"SettingsBadParity", [](WinCommControl& c) { c.setSettings("9600,x,8,1"); },
                   false},
        SetterCase{"SettingsEmpty", [](WinCommControl& c) { c.setSettings(""); }, false}),
    [](const ::testing::TestParamInfo<SetterCase>& info) { return std::string(info.param.name); });

std::string OpenFailure(WinCommControl& control) {
    try {
        control.setPortOpen(true);
    } catch (const KivError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Port);
        return e.what();
    }
    return "opened";
}

TEST(WinCommControlTest, AMissingPortSaysThereIsNoSuchDevice) {
    PortMap map;
    map.setDevice(2, "COM240");
    WinCommControl control(map);
    control.setCommPort(2);
    const std::string said = OpenFailure(control);
    EXPECT_NE(said.find("COM2 (COM240): there is no such device"), std::string::npos) << said;
    EXPECT_FALSE(control.PortOpen());
    EXPECT_FALSE(control.lastSystemError().empty());
    // Nothing was left half open: a second try says the same.
    EXPECT_EQ(OpenFailure(control), said);
}

// kiv-cli's --device COM240 knows no window number: its messages name the
// port the user gave, never the COM1 (another, real port) it stands at; and
// the window's COM3 that opens Windows' own COM3 is named once.
TEST(WinCommControlTest, MessagesNameThePortTheUserGave) {
    const struct {
        PortMap map;
        int number;
        const char* said;
        const char* notSaid;
    } cases[] = {
        {PortMap::OneDevice("COM240"), 1, "COM240: there is no such device", "COM1"},
        {PortMap::OneDevice("\\\\.\\COM241"), 3, "\\\\.\\COM241: there is no such device",
         "COM3 ("},
        {PortMap(), 3, "COM3", "COM3 ("},
    };
    for (const auto& c : cases) {
        WinCommControl control(c.map);
        control.setCommPort(static_cast<std::int16_t>(c.number));
        const std::string said = OpenFailure(control);
        if (said == "opened") continue;  // a system with a real COM3
        EXPECT_EQ(said.rfind(c.said, 0), 0U) << said;
        EXPECT_EQ(said.find(c.notSaid), std::string::npos) << said;
    }
}

// NUL and a file open as well as a port does; the user is told they are no
// serial port, not what the first serial call on them says.
TEST(WinCommControlTest, ANameThatIsNoSerialPortIsSaidToBeNone) {
    const std::string file = ::testing::TempDir() + "kiv_not_a_port.txt";
    std::ofstream(file) << "not a port";
    for (const std::string& device : {std::string("NUL"), file}) {
        WinCommControl control(PortMap::OneDevice(device));
        const std::string said = OpenFailure(control);
        EXPECT_EQ(said.rfind(device + " is not a serial port", 0), 0U) << said;
        EXPECT_EQ(said.find("nvalid handle"), std::string::npos) << said;
        EXPECT_FALSE(control.PortOpen());
    }
    std::remove(file.c_str());
}

TEST(WinCommControlTest, OutputOnAClosedPortRaisesAndSendsNothing) {
    WinCommControl control;
    const std::vector<std::uint8_t> frame = {1, 2, 3};
    EXPECT_THROW(control.Output(frame), KivError);
    EXPECT_EQ(control.pendingBytes(), 0);
    EXPECT_EQ(control.queuedBytes(), 0);
}

TEST(WinCommControlTest, TheUnmappedNumbersAreTheSystemsOwnPorts) {
    const WinCommControl control;
    for (int port = 1; port <= 4; ++port)
        EXPECT_EQ(control.portMap().device(port), "COM" + std::to_string(port));
}

}  // namespace
}  // namespace kiv
