// COM numbers in the window: what the port box shows for each, the device
// menu beside it, the assignments kept from one window to the next, and the
// virtual port a newcomer opens first. Devices come from a fake list and
// the assignments go to a temporary settings file, so nothing here depends
// on this machine's serial devices or the user's own settings.
#include "gui/port_devices.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>
#include <array>
#include <memory>
#include <ostream>

#include "gui/lamp_widget.h"
#include "platform/assigned_port_control.h"
#include "platform/port_directory.h"
#include "support/fake_device_list.h"
#include "support/port_reader.h"
#include "support/pty_pair.h"
#include "window_rig.h"

namespace kiv::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The first frames of the start-up slots 5, 6, sinx1, sinx2 at 10 ms.
constexpr std::array<std::array<std::uint8_t, 4>, 6> kFirstFrames = {{
    {5, 6, 130, 140},
    {5, 6, 148, 145},
    {5, 6, 159, 150},
    {5, 6, 159, 155},
    {5, 6, 148, 159},
    {5, 6, 130, 164},
}};

const std::string kFtdiId = "/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0";

SerialDevice Device(std::string path, std::string byId = {}, std::string description = {},
                    std::string maker = {}, int vid = -1, int pid = -1) {
    SerialDevice d;
    d.path = std::move(path);
    d.byId = std::move(byId);
    d.description = std::move(description);
    d.manufacturer = std::move(maker);
    d.vendorId = vid;
    d.productId = pid;
    return d;
}

// The window as main() builds it, with the device list and the settings
// file given by the test.
struct DeviceWindow : WindowRig {
    DeviceWindow(DeviceList& devices, const QString& settingsFile)
        : WindowRig(Unstarted{}), directory(devices, settingsFile), devicePort(directory) {
        directory.Refresh();
        services.Pace(devicePort);
        devicePort.setOpenReporter([this](const std::string& text) { model.lampToolTip = text; });
        Start(devicePort, &directory);
    }
    ~DeviceWindow() { Stop(); }

    QComboBox* portBox() const { return find<QComboBox>(ControlName("Combo1", 0)); }
    QString described(int port) const {
        return portBox()->itemData(port - 1, kPortDescriptionRole).toString();
    }

    // A pick of COMn from the port box's list, as with the mouse.
    void pickPort(int port) const {
        QComboBox* box = portBox();
        box->setCurrentIndex(port - 1);
        emit box->activated(port - 1);
    }
    // Opens the device menu beside the port box and picks the entry whose
    // text starts with `entry`; `path` answers the path dialog if one opens.
    void chooseFromMenu(const QString& entry, const QString& path = {}, bool contextMenu = false) {
        bool picked = false;
        // Shared with the queued trigger, which may outlive a failed wait.
        auto triggered = std::make_shared<bool>(false);
        Repeater picker(
            [&] {
                if (auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget())) {
                    dialog->setTextValue(path);
                    dialog->accept();
                    return true;
                }
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu == nullptr || picked) return false;
                for (QAction* action : menu->actions()) {
                    if (!action->text().startsWith(entry) || !action->isEnabled()) continue;
                    picked = true;
                    // Triggered once this tick is over, so that the same
                    // timer can answer a dialog the entry opens; the menu
                    // closes first, as on a click. A context menu deletes
                    // itself and its entries once closed, so both happen in
                    // one go, before that deletion can run.
                    QTimer::singleShot(0, window,
                                       [menu = QPointer<QMenu>(menu),
                                        action = QPointer<QAction>(action), triggered] {
                                           if (action == nullptr) return;
                                           if (menu != nullptr) menu->close();
                                           action->trigger();
                                           *triggered = true;
                                       });
                    return path.isEmpty();
                }
                ADD_FAILURE() << "no menu entry " << entry.toStdString();
                menu->close();
                return true;
            },
            [] {}, 3000);
        if (contextMenu) {
            // A right click in the box's text asks for its context menu.
            emit portBox()->lineEdit()->customContextMenuRequested(QPoint(4, 4));
        } else {
            click("portDevices");
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return picked; }, 20000)) << entry.toStdString();
        // The entry has done its work (and any dialog it opened was answered)
        // once its trigger returns.
        if (picked) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return *triggered; }, 20000));
        }
        EXPECT_FALSE(picker.gaveUp());
    }
    QString lampTip() const { return find<LampWidget>(ControlName("Shape1", 1))->toolTip(); }

    // Open, apply the send page and start; pause once `frames` frames have
    // arrived at `reader`. Returns the bytes read.
    Bytes sendFrames(PortReader& reader, std::size_t frames) {
        Bytes received;
        Repeater pauser(
            [&] {
                const Bytes more = reader.ReadAvailable();
                received.insert(received.end(), more.begin(), more.end());
                if (received.size() < frames * 4) return false;
                click("pausesend");
                return true;
            },
            [&] { model.isSending = false; }, 20000);
        selectPage(0);
        click("starsend");
        const Bytes rest = reader.ReadUntilQuiet(std::chrono::milliseconds(150));
        received.insert(received.end(), rest.begin(), rest.end());
        return received;
    }

    PortDirectory directory;
    AssignedPortControl devicePort;
};

void ExpectFirstFrames(const Bytes& bytes, std::int32_t sendCount) {
    ASSERT_GE(bytes.size(), kFirstFrames.size() * 4);
    EXPECT_EQ(bytes.size() % 4, 0u) << "a frame was cut";
    EXPECT_EQ(static_cast<std::int32_t>(bytes.size() / 4), sendCount);
    for (std::size_t n = 0; n < kFirstFrames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(4 * n),
                        bytes.begin() + static_cast<std::ptrdiff_t>(4 * n + 4)),
                  Bytes(kFirstFrames[n].begin(), kFirstFrames[n].end()));
    }
}

class PortDevicesTest : public ::testing::Test {
  protected:
    QString settingsFile() const { return m_dir.filePath(QStringLiteral("kiv.ini")); }
    QTemporaryDir m_dir;
};

TEST_F(PortDevicesTest, NumbersAreShownReassignedAndKeptForTheNextWindow) {
    FakeDeviceList list({Device("/dev/ttyUSB0", kFtdiId, "FT232R USB UART", "FTDI", 0x0403, 0x6001),
                         Device("/dev/ttyS0"),
                         Device("/dev/ttyACM0", {}, "Arduino Uno", "Arduino", 0x2341, 0x0043)});
    {
        DeviceWindow first(list, settingsFile());
        QComboBox* box = first.portBox();
        ASSERT_EQ(box->count(), 4);
        EXPECT_EQ(box->itemText(0), "COM1");
        EXPECT_EQ(first.described(1), "/dev/ttyS0");
        EXPECT_EQ(first.described(2), "/dev/ttyACM0 · Arduino Uno · Arduino · 2341:0043");
        EXPECT_EQ(first.described(3), "/dev/ttyUSB0 · FT232R USB UART · FTDI · 0403:6001");
        EXPECT_EQ(first.described(4), "未分配");
        EXPECT_EQ(box->itemData(2, Qt::ToolTipRole).toString(),
                  "COM3: /dev/ttyUSB0 · FT232R USB UART · FTDI · 0403:6001");

        first.selectPage(1);
        first.pickPort(4);
        first.chooseFromMenu(QStringLiteral("/dev/ttyUSB0"));
        EXPECT_EQ(first.described(4), "/dev/ttyUSB0 · FT232R USB UART · FTDI · 0403:6001");
        EXPECT_EQ(first.described(3), "未分配");
        // The list is read again whenever it opens.
        list.set({Device("/dev/ttyS0")});
        box->showPopup();
        const QString missing = QString::fromStdString(kFtdiId) + " (未连接)";
        EXPECT_TRUE(QTest::qWaitFor([&] { return first.described(4) == missing; }, 20000))
            << first.described(4).toStdString();
        // Opening it reaches for its stable name, and fails as a missing device.
        EXPECT_EQ(first.directory.CurrentMap().device(4), kFtdiId);
        box->hidePopup();
    }
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value("ports/COM4").toString(),
              QString::fromStdString(kFtdiId));

    // The adapter is back under another path, and a new one came along.
    list.set({Device("/dev/ttyUSB9"), Device("/dev/ttyACM0"),
              Device("/dev/ttyUSB1", kFtdiId, "FT232R USB UART", "FTDI", 0x0403, 0x6001),
              Device("/dev/ttyS0")});
    DeviceWindow second(list, settingsFile());
    EXPECT_EQ(second.described(1), "/dev/ttyS0");
    EXPECT_TRUE(second.described(2).startsWith("/dev/ttyACM0"));
    EXPECT_EQ(second.described(3), "/dev/ttyUSB9");
    EXPECT_EQ(second.described(4), "/dev/ttyUSB1 · FT232R USB UART · FTDI · 0403:6001");
    // The box's entries are still the four numbers.
    EXPECT_EQ(second.model.Combo1(0).List,
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
}

TEST_F(PortDevicesTest, TheConsoleIsListedAsSuchAndNumberedOnlyByHand) {
    SerialDevice console = Device("/dev/ttyS0");
    console.console = true;
    FakeDeviceList list(
        {console, Device("/dev/ttyUSB0", kFtdiId, "FT232R USB UART", "FTDI", 0x0403, 0x6001)});
    DeviceWindow window(list, settingsFile());
    EXPECT_EQ(window.described(1), "/dev/ttyUSB0 · FT232R USB UART · FTDI · 0403:6001");
    for (int port = 2; port <= 4; ++port) EXPECT_EQ(window.described(port), "未分配") << port;

    // The menu offers it under its own words; the user may take it.
    window.selectPage(1);
    window.pickPort(3);
    window.chooseFromMenu(QStringLiteral("/dev/ttyS0 · 系统控制台"));
    EXPECT_EQ(window.described(3), "/dev/ttyS0 · 系统控制台");
    EXPECT_EQ(window.directory.CurrentMap().device(3), "/dev/ttyS0");
    EXPECT_EQ(QSettings(settingsFile(), QSettings::IniFormat).value("ports/COM3").toString(),
              "/dev/ttyS0");
}

struct ReassignCase {
    const char* name;
    bool typedPath;    // through "其他路径..." rather than the device's own entry
    bool contextMenu;  // the box's context menu rather than the button beside it
};

using kiv::testing::PrintTo;

class ReassignTest : public PortDevicesTest, public ::testing::WithParamInterface<ReassignCase> {};

TEST_P(ReassignTest, FramesReachTheDeviceChosenForTheNumber) {
    PtyPair line;
    FakeDeviceList list({Device("/dev/ttyS0")});
    if (!GetParam().typedPath)
        list.set({Device("/dev/ttyS0"), Device(line.slavePath(), {}, "test line")});
    DeviceWindow rig(list, settingsFile());
    BoxAnswerer answerer(QStringLiteral("取消"));
    rig.selectPage(1);
    // COM3, not COM2 where the listed line is numbered at first, so that
    // only a pick that took effect sends to it.
    rig.pickPort(3);
    if (GetParam().typedPath) {
        rig.chooseFromMenu(PortDevicesBinding::OtherPathText(),
                           QString::fromStdString(line.slavePath()), GetParam().contextMenu);
    } else {
        rig.chooseFromMenu(QString::fromStdString(line.slavePath()), {}, GetParam().contextMenu);
    }
    // A typed path is not in the system's list, and is there all the same.
    const std::string shown = line.slavePath() + (GetParam().typedPath ? "" : " · test line");
    EXPECT_EQ(rig.described(3).toStdString(), shown);
    rig.click("Command1");
    rig.click("Optionopen");
    ASSERT_TRUE(rig.devicePort.PortOpen());
    EXPECT_EQ(rig.lampTip().toStdString(), "COM3: " + line.slavePath());
    // Held open by the window, it is still there when the list is read again.
    rig.directory.Refresh();
    EXPECT_EQ(rig.directory.Describe(3), shown);
    rig.selectPage(0);
    rig.click("Command7");

    Bytes received;
    Repeater pauser(
        [&] {
            const Bytes more = line.ReadAvailable();
            received.insert(received.end(), more.begin(), more.end());
            if (received.size() < 6 * 4) return false;
            rig.click("pausesend");
            return true;
        },
        [&] { rig.model.isSending = false; }, 20000);
    rig.click("starsend");
    EXPECT_TRUE(QTest::qWaitFor([&] { return rig.devicePort.serial().queuedBytes() == 0; }, 20000));
    const Bytes rest = line.ReadUntilMarker(200);
    received.insert(received.end(), rest.begin(), rest.end());
    ExpectFirstFrames(received, rig.model.sendCount);
    EXPECT_TRUE(answerer.seen().empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, ReassignTest,
                         ::testing::Values(ReassignCase{"DeviceEntry", false, false},
                                           ReassignCase{"OtherPath", true, false},
                                           ReassignCase{"ContextMenu", false, true}),
                         CaseName<ReassignCase>);

TEST_F(PortDevicesTest, NewcomerWithoutDevicesSendsOnTheVirtualPortAndClosesIt) {
    FakeDeviceList none;
    DeviceWindow rig(none, settingsFile());
    BoxAnswerer answerer(QStringLiteral("取消"));
    EXPECT_EQ(rig.described(1), "虚拟端口");
    EXPECT_EQ(rig.described(2), "未分配");

    // Open, apply the send page, start: the first run of the README.
    rig.selectPage(1);
    rig.click("Optionopen");
    ASSERT_TRUE(rig.devicePort.PortOpen());
    const std::string path = rig.devicePort.virtualPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(rig.described(1).toStdString(), "虚拟端口 " + path);
    EXPECT_EQ(rig.lampTip().toStdString(), "COM1: 虚拟端口 " + path);
    EXPECT_TRUE(rig.find<QLabel>("Label50")->text().endsWith("OPEN!"));
    PortReader reader(path);
    rig.selectPage(0);
    rig.click("Command7");
    // Applying the send page reopens the port for the new frame length; the
    // virtual port and its reader stay.
    EXPECT_EQ(rig.devicePort.virtualPath(), path);
    const Bytes frames = rig.sendFrames(reader, 6);
    ExpectFirstFrames(frames, rig.model.sendCount);

    // Closing ends the line for the reader.
    rig.selectPage(1);
    rig.click("Optionclose");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return reader.SeesEnd(std::chrono::milliseconds(1)); }, 20000));
    EXPECT_EQ(rig.described(1), "虚拟端口");
    EXPECT_EQ(rig.lampTip(), "");

    // Reopening makes a fresh one, shown again.
    rig.selectPage(0);
    rig.click("Command8");
    rig.selectPage(1);
    rig.click("Optionopen");
    const std::string again = rig.devicePort.virtualPath();
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(rig.described(1).toStdString(), "虚拟端口 " + again);
    PortReader second(again);
    const Bytes framesAgain = rig.sendFrames(second, 6);
    ExpectFirstFrames(framesAgain, rig.model.sendCount);
    EXPECT_TRUE(answerer.seen().empty()) << answerer.seen().front().text.toStdString();
    // Nothing was written down for the default.
    EXPECT_FALSE(QSettings(settingsFile(), QSettings::IniFormat).contains("ports/COM1"));
}

}  // namespace
}  // namespace kiv::testing
