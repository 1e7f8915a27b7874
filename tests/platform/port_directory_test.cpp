#include "platform/port_directory.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "model/errors.h"
#include "platform/assigned_port_control.h"
#include "platform/comm_test_support.h"
#include "support/fake_device_list.h"
#include "support/port_reader.h"
#include "support/table_cases.h"

namespace kiv {
namespace {

using testing::FakeDeviceList;
using testing::PortReader;

const std::string kFtdiId = "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";

SerialDevice Ftdi(std::string path = "/dev/ttyUSB0") {
    SerialDevice d;
    d.path = std::move(path);
    d.byId = kFtdiId;
    d.description = "FT232R USB UART";
    d.manufacturer = "FTDI";
    d.vendorId = 0x0403;
    d.productId = 0x6001;
    return d;
}

SerialDevice Plain(std::string path) {
    SerialDevice d;
    d.path = std::move(path);
    return d;
}

SerialDevice Console(std::string path) {
    SerialDevice d = Plain(std::move(path));
    d.console = true;
    return d;
}

class PortDirectoryTest : public ::testing::Test {
  protected:
    QString settingsFile() const { return m_dir.filePath(QStringLiteral("kiv.ini")); }
    void save(int port, const QString& text) {
        QSettings(settingsFile(), QSettings::IniFormat).setValue(PortSettingsKey(port), text);
    }
    QString saved(int port) const {
        return QSettings(settingsFile(), QSettings::IniFormat)
            .value(PortSettingsKey(port))
            .toString();
    }

    QTemporaryDir m_dir;
};

struct DefaultCase {
    const char* name;
    std::vector<SerialDevice> present;
    std::optional<std::pair<int, const char*>> saved;
    bool com1Virtual;
    const char* com1Device;
};

using kiv::testing::PrintTo;

class VirtualDefaultTest : public PortDirectoryTest,
                           public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(VirtualDefaultTest, Com1IsVirtualOnlyWithNoDeviceAndNothingSaved) {
    const DefaultCase& c = GetParam();
    if (c.saved) save(c.saved->first, QString::fromUtf8(c.saved->second));
    FakeDeviceList list(c.present);
    PortDirectory directory(list, settingsFile());
    directory.Refresh();
    const PortMap map = directory.CurrentMap();
    EXPECT_EQ(map.isVirtual(1), c.com1Virtual);
    EXPECT_EQ(map.device(1), c.com1Device);
    for (int port = 2; port <= 4; ++port) EXPECT_FALSE(map.isVirtual(port)) << port;
    // The default is not written down: a first adapter still becomes COM1.
    if (c.com1Virtual) {
        EXPECT_EQ(DecodeAssignment(saved(1).toStdString()).kind, PortAssignment::Kind::None);
        list.set({Plain("/dev/ttyACM0")});
        directory.Refresh();
        EXPECT_EQ(directory.CurrentMap().device(1), "/dev/ttyACM0");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VirtualDefaultTest,
    ::testing::Values(
        DefaultCase{"NoDeviceNothingSaved", {}, std::nullopt, true, ""},
        DefaultCase{"OneAdapter", {Ftdi()}, std::nullopt, false, "/dev/ttyUSB0"},
        DefaultCase{"NoDeviceButSomethingSaved", {}, std::pair{2, "/dev/ttyUSB3"}, false, ""},
        DefaultCase{"JunkSaved", {}, std::pair{1, "not a path"}, true, ""},
        // The console is no device to send to.
        DefaultCase{"OnlyTheConsole", {Console("/dev/ttyS0")}, std::nullopt, true, ""},
        DefaultCase{"TheConsoleAndAnAdapter",
                    {Console("/dev/ttyS0"), Ftdi()},
                    std::nullopt,
                    false,
                    "/dev/ttyUSB0"},
        // What an older version saved for it is given up.
        DefaultCase{"TheConsoleNumberedBefore",
                    {Console("/dev/ttyS0")},
                    std::pair{1, "auto /dev/ttyS0"},
                    true,
                    ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortDirectoryTest, CommandLineOverridesWinForOneRunOnly) {
    FakeDeviceList list({Ftdi()});
    PortDirectory directory(list, settingsFile());
    PortMap overrides = PortMap::Unassigned();
    ASSERT_EQ(ApplyPortMapping("COM1=/dev/pts/9", overrides), "");
    directory.setOverrides(overrides);
    directory.Refresh();
    EXPECT_EQ(directory.CurrentMap().device(1), "/dev/pts/9");
    EXPECT_EQ(directory.Describe(1), "/dev/pts/9（启动时指定）");
    EXPECT_EQ(saved(1), "auto " + QString::fromStdString(kFtdiId));
}

TEST_F(PortDirectoryTest, ByIdLinksNameTheDevicesTheyPointTo) {
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(QStringLiteral("dev/serial/by-id")));
    const QString usb = m_dir.filePath(QStringLiteral("dev/ttyUSB0"));
    const QString acm = m_dir.filePath(QStringLiteral("dev/ttyACM0"));
    for (const QString& file : {usb, acm}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString byId = m_dir.filePath(QStringLiteral("dev/serial/by-id"));
    ASSERT_TRUE(
        QFile::link(QStringLiteral("../../ttyUSB0"), byId + QStringLiteral("/usb-FTDI-port0")));
    std::vector<SerialDevice> devices{Plain(usb.toStdString()), Plain(acm.toStdString())};
    AttachByIdNames(devices, byId);
    EXPECT_EQ(devices[0].byId, (byId + QStringLiteral("/usb-FTDI-port0")).toStdString());
    EXPECT_EQ(devices[1].byId, "");
    EXPECT_EQ(devices[0].Identity(), devices[0].byId);
}

// A path typed for a number is not in the system's list (pseudo-terminals
// never are); it is shown as away only when nothing stands at it.
struct TypedPathCase {
    const char* name;
    const char* node;  // made under the test folder; "" for nothing
    const char* link;  // a link at the assigned path pointing here; "" for none
    bool away;
};

class TypedPathTest : public PortDirectoryTest,
                      public ::testing::WithParamInterface<TypedPathCase> {};

TEST_P(TypedPathTest, IsAwayOnlyWhenNothingStandsAtIt) {
    const TypedPathCase& c = GetParam();
    const QString assigned = m_dir.filePath(QStringLiteral("ttyTyped"));
    if (*c.node != '\0') {
        QFile node(m_dir.filePath(QString::fromUtf8(c.node)));
        ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    }
    if (*c.link != '\0') {
        ASSERT_TRUE(QFile::link(QString::fromUtf8(c.link), assigned));
    }
    FakeDeviceList list({Plain("/dev/ttyS0")});
    PortDirectory directory(list, settingsFile());
    directory.Refresh();
    directory.ChooseDevice(2, assigned.toStdString());
    EXPECT_EQ(directory.Describe(2), assigned.toStdString() + (c.away ? " (未连接)" : ""));
    EXPECT_EQ(directory.CurrentMap().device(2), assigned.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Cases, TypedPathTest,
                         ::testing::Values(TypedPathCase{"Present", "ttyTyped", "", false},
                                           TypedPathCase{"Missing", "", "", true},
                                           TypedPathCase{"LinkToPresent", "real", "real", false},
                                           TypedPathCase{"DanglingLink", "", "gone", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The virtual port behind the window's port control.
class AssignedPortControlTest : public PortDirectoryTest {
  protected:
    AssignedPortControlTest() : m_directory(m_list, settingsFile()), m_control(m_directory) {
        m_directory.Refresh();
        m_control.setOpenReporter([this](const std::string& text) { m_reported = text; });
        m_control.setOutBufferSize(4);
        m_control.setCommPort(1);
        m_control.setSettings("9600,n,8,1");
    }
    static void Idle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    FakeDeviceList m_list;
    PortDirectory m_directory;
    AssignedPortControl m_control;
    std::string m_reported;
};

TEST_F(AssignedPortControlTest, VirtualPortCarriesRawBytesAndEndsOnClose) {
    m_control.setPortOpen(true);
    ASSERT_TRUE(m_control.PortOpen());
    const std::string path = m_control.virtualPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(m_reported, "COM1: 虚拟端口 " + path);
    EXPECT_EQ(m_directory.Describe(1), "虚拟端口 " + path);

    PortReader reader(path);
    const std::vector<std::uint8_t> frame{5, 0x0A, 0x0D, 140, 99};
    m_control.Output(frame);
    // OutBufferSize 4: the fifth byte stays behind, and 0x0A stays 0x0A.
    EXPECT_EQ(reader.ReadUntilQuiet(std::chrono::milliseconds(100)),
              (std::vector<std::uint8_t>{5, 0x0A, 0x0D, 140}));

    // A close and an open in one go keep the line and its reader.
    m_control.setPortOpen(false);
    m_control.setOutBufferSize(2);
    m_control.setPortOpen(true);
    Idle();
    EXPECT_EQ(m_control.virtualPath(), path);
    m_control.Output(frame);
    EXPECT_EQ(reader.ReadUntilQuiet(std::chrono::milliseconds(100)),
              (std::vector<std::uint8_t>{5, 0x0A}));

    m_control.setPortOpen(false);
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_EQ(m_reported, "");
    EXPECT_EQ(m_directory.Describe(1), "虚拟端口");
    EXPECT_EQ(testing::RaisedKind([&] { m_control.Output(frame); }), ErrorKind::Port);
    Idle();
    EXPECT_TRUE(reader.SeesEnd());

    // Reopening makes a fresh one; the window's own test reads it.
    m_control.setPortOpen(true);
    EXPECT_FALSE(m_control.virtualPath().empty());
}

TEST_F(AssignedPortControlTest, UnassignedNumberFailsWithAReason) {
    m_control.setCommPort(3);
    try {
        m_control.setPortOpen(true);
        FAIL() << "COM3 opened with no device";
    } catch (const KivError& e) {
        EXPECT_NE(std::string(e.what()).find("COM3 has no device"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_FALSE(m_control.lastSystemError().empty());
}

TEST_F(AssignedPortControlTest, AssignedDeviceOpensThroughTheSerialControl) {
    m_list.set({Plain("/dev/kiv-no-such-device")});
    m_control.setCommPort(1);
    // The serial control tried the directory's device: its reason names it.
    try {
        m_control.setPortOpen(true);
        FAIL() << "a missing device opened";
    } catch (const KivError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Port);
        EXPECT_NE(std::string(e.what()).find("/dev/kiv-no-such-device"), std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(m_control.virtualPath().empty());
}

}  // namespace
}  // namespace kiv
