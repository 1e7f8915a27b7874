// The Windows port control where no device is needed: what it says when a
// port cannot be opened or is not open.
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
}

TEST(WinCommControlTest, TheUnmappedNumbersAreTheSystemsOwnPorts) {
    for (int port = 1; port <= 4; ++port) {
        EXPECT_EQ(PortMap().device(port), "COM" + std::to_string(port));
        // The control opens that port: a failure names it, and it alone.
        WinCommControl control;
        control.setCommPort(static_cast<std::int16_t>(port));
        const std::string said = OpenFailure(control);
        if (said == "opened") continue;  // a system with a real port there
        EXPECT_EQ(said.rfind("COM" + std::to_string(port), 0), 0U) << said;
    }
}

}  // namespace
}  // namespace kiv
