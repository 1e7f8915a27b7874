// On Windows the window's COM1..COM4 are the system's own ports of those
// names until the user assigns another present port to a number.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <string>

#include "platform/port_assignment.h"
#include "platform/port_directory.h"
#include "platform/port_naming.h"
#include "support/fake_device_list.h"

namespace kiv {
namespace {

using testing::FakeDeviceList;

SerialDevice Port(std::string name, std::string description = {}) {
    SerialDevice d;
    d.path = std::move(name);
    d.description = std::move(description);
    return d;
}

class WindowsPortDirectoryTest : public ::testing::Test {
  protected:
    QString settingsFile() const { return m_dir.filePath(QStringLiteral("kiv.ini")); }
    QString saved(int port) const {
        return QSettings(settingsFile(), QSettings::IniFormat)
            .value(PortSettingsKey(port))
            .toString();
    }

    QTemporaryDir m_dir;
};

TEST_F(WindowsPortDirectoryTest, NumbersMeanTheSystemsOwnPortsAndNoVirtualOne) {
    EXPECT_FALSE(VirtualPortOffered());
    EXPECT_TRUE(SystemNamesComPorts());
    // No device at all, nothing saved: on Linux COM1 would be the virtual
    // port; here it is still COM1.
    FakeDeviceList none;
    PortDirectory empty(none, settingsFile());
    empty.Refresh();
    for (int port = 1; port <= 4; ++port) {
        EXPECT_FALSE(empty.CurrentMap().isVirtual(port));
        EXPECT_EQ(empty.CurrentMap().device(port), "COM" + std::to_string(port));
        EXPECT_EQ(empty.Describe(port), "COM" + std::to_string(port) + " (未连接)");
    }
}

TEST_F(WindowsPortDirectoryTest, NewDevicesGetNoNumberByThemselves) {
    FakeDeviceList devices({Port("COM1", "Communications Port"), Port("COM7", "USB-SERIAL CH340")});
    PortDirectory directory(devices, settingsFile());
    directory.Refresh();
    const PortMap map = directory.CurrentMap();
    EXPECT_EQ(map.device(1), "COM1");
    EXPECT_EQ(map.device(2), "COM2");
    EXPECT_EQ(map.device(3), "COM3");
    EXPECT_EQ(map.device(4), "COM4");
    EXPECT_EQ(directory.Describe(1), "COM1 · Communications Port");
    EXPECT_TRUE(saved(1).isEmpty());
    EXPECT_TRUE(saved(2).isEmpty());
}

TEST_F(WindowsPortDirectoryTest, AChosenPortStandsBehindItsNumberAndIsKept) {
    FakeDeviceList devices({Port("COM7", "USB-SERIAL CH340")});
    {
        PortDirectory directory(devices, settingsFile());
        directory.Refresh();
        directory.ChooseDevice(1, "COM7");
        EXPECT_EQ(directory.CurrentMap().device(1), "COM7");
        EXPECT_EQ(directory.Describe(1), "COM7 · USB-SERIAL CH340");
    }
    EXPECT_EQ(saved(1), QStringLiteral("COM7"));
    // The next run, with the adapter away: COM1 still opens COM7, which
    // then fails with the system's "no such port".
    devices.set({});
    PortDirectory again(devices, settingsFile());
    again.Refresh();
    EXPECT_EQ(again.CurrentMap().device(1), "COM7");
    EXPECT_EQ(again.CurrentMap().device(2), "COM2");
}

TEST_F(WindowsPortDirectoryTest, ASavedVirtualPortIsIgnored) {
    QSettings(settingsFile(), QSettings::IniFormat)
        .setValue(PortSettingsKey(2), QStringLiteral("virtual"));
    FakeDeviceList devices;
    PortDirectory directory(devices, settingsFile());
    directory.Refresh();
    EXPECT_FALSE(directory.CurrentMap().isVirtual(2));
    EXPECT_EQ(directory.CurrentMap().device(2), "COM2");
}

// A name typed into "其他路径..." without a folder is a COM port, as Windows
// itself takes it, written the way the program's lists write COM names; it
// never becomes a Linux device path.
TEST(WindowsPortNaming, ABareTypedNameIsAComName) {
    const struct {
        const char* typed;
        const char* device;
    } cases[] = {{"COM5", "COM5"},
                 {"com5", "COM5"},
                 {"Com12", "COM12"},
                 {"\\\\.\\com12", "\\\\.\\COM12"},
                 {"\\\\.\\COM3", "\\\\.\\COM3"},
                 {"NUL", "NUL"},
                 {"cOM", "cOM"}};
    for (const auto& c : cases) {
        const std::string device = TypedDeviceName(c.typed);
        EXPECT_EQ(device, c.device) << c.typed;
        EXPECT_EQ(device.find("/dev/"), std::string::npos) << c.typed;
    }
    EXPECT_TRUE(IsAssignablePath(TypedDeviceName("com5")));
}

}  // namespace
}  // namespace kiv
