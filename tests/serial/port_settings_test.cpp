#include "serial/port_settings.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "fakes.h"
#include "serial/port_open_close.h"
#include "serial/port_settings_text.h"

namespace kiv {
namespace {

using Started = testing::StartedRig;

TEST(PortSettings, StartUpConfiguresThePortInOrder) {
    testing::Rig r;
    StartUp(r.w);
    const std::vector<std::string> expected = {
        "InBufferSize=600", "OutBufferSize=10", "InputMode=1",
        "InputLen=1",       "InBufferCount=0",  "OutBufferCount=0",
        "RThreshold=1",     "CommPort=1",       "Settings=9600,n,8,1",
    };
    EXPECT_EQ(r.port.calls, expected);
    EXPECT_TRUE(r.w.portConfigured);
    for (int i = 0; i < kPortBoxCount; ++i)
        EXPECT_EQ(r.w.portChoices(i), (std::array<int, 5>{0, 5, 0, 2, 0}[i]));
    EXPECT_TRUE(r.w.Optionopen.Enabled);
    EXPECT_TRUE(r.w.Optionclose.Enabled);
    EXPECT_EQ(r.w.Label50.Caption, "COM1,9600,无,8,1,CLOSE!");
    EXPECT_FALSE(r.port.open);
}

TEST(PortSettings, SettingsTextFromThePicks) {
    const struct {
        int port, baud, parity, data, stop;
        int commPort;
        const char* settings;
    } cases[] = {
        {0, 5, 0, 2, 0, 1, "9600,n,8,1"},    {0, 5, 1, 2, 0, 1, "9600,o,8,1"},
        {0, 5, 2, 2, 0, 1, "9600,e,8,1"},    {3, 6, 2, 1, 1, 4, "19200,e,7,2"},
        {2, 11, 0, 0, 0, 3, "115200,n,6,1"}, {1, 8, 1, 2, 1, 2, "43000,o,8,2"},
    };
    for (const auto& c : cases) {
        Started r;
        const int picks[5] = {c.port, c.baud, c.parity, c.data, c.stop};
        for (int i = 0; i < kPortBoxCount; ++i) {
            r.w.Combo1(i).Pick(picks[i]);
            Combo1_Click(r.w, i);
            EXPECT_FALSE(r.w.Optionopen.Enabled);
            EXPECT_FALSE(r.w.Optionclose.Enabled);
        }
        Command1_Click(r.w);
        EXPECT_EQ(r.port.settings, c.settings);
        EXPECT_EQ(r.port.commPort, c.commPort);
        EXPECT_TRUE(r.w.Optionopen.Enabled && r.w.Optionclose.Enabled) << c.settings;
        for (int i = 0; i < kPortBoxCount; ++i) EXPECT_EQ(r.w.portChoices(i), picks[i]);
    }
}

TEST(PortSettings, RefusedBaudLeavesTheOptionsDisabled) {
    Started r;
    r.port.refuseBaud = "56000";
    r.w.Combo1(1).Pick(9);
    Combo1_Click(r.w, 1);
    Command1_Click(r.w);
    EXPECT_FALSE(r.w.portConfigured);
    EXPECT_FALSE(r.w.Optionopen.Enabled);
    EXPECT_FALSE(r.w.Optionclose.Enabled);
    EXPECT_EQ(r.port.commPort, 1);  // set before the refused settings
    EXPECT_TRUE(r.box.shown.empty());
}

TEST(PortSettings, ConfigureStopsAtTheFirstRefusal) {
    Started r;
    r.port.failOn = "InputMode";
    ConfigurePort(r.w);
    EXPECT_FALSE(r.w.portConfigured);
    EXPECT_EQ(r.port.calls,
              (std::vector<std::string>{"InBufferSize=600", "OutBufferSize=10", "InputMode=1"}));
}

TEST(PortSettings, OutBufferSizeFollowsTheFrameLength) {
    Started r;
    r.w.slotCount = 4;
    ConfigurePort(r.w);
    EXPECT_EQ(r.port.outBufferSize, 4);
    r.w.slotCount = 0;
    ConfigurePort(r.w);
    EXPECT_EQ(r.port.outBufferSize, 10);
}

TEST(PortSettings, TypedTextStopsTheApplyBeforeThePort) {
    Started r;
    r.w.Combo1(1).Type("9601");
    r.w.Combo1(0).Pick(2);
    Combo1_Click(r.w, 0);
    Command1_Click(r.w);
    EXPECT_TRUE(r.port.calls.empty());
    EXPECT_FALSE(r.w.Optionopen.Enabled);
    EXPECT_EQ(r.w.portChoices(0), 2);  // stored before the typed box
    EXPECT_EQ(r.w.portChoices(1), 5);
    EXPECT_TRUE(r.box.shown.empty());
    // The page says which box holds the typed text, until an apply goes through.
    EXPECT_EQ(r.w.portHint, "“波特率”框中的“9601”不是列表中的选项，请从列表中选择。");
    r.w.Combo1(1).Pick(5);
    Command1_Click(r.w);
    EXPECT_TRUE(r.w.Optionopen.Enabled);
    EXPECT_EQ(r.w.portHint, "");
}

TEST(LineSettingsText, AcceptedAndRefused) {
    EXPECT_EQ(ParseLineSettings("9600,n,8,1"), (LineSettings{9600, Parity::None, 8, 1}));
    EXPECT_EQ(ParseLineSettings("19200,e,7,2"), (LineSettings{19200, Parity::Even, 7, 2}));
    EXPECT_EQ(ParseLineSettings("300,o,6,1"), (LineSettings{300, Parity::Odd, 6, 1}));
    const char* refused[] = {
        "",           "9600",        "9600,n,8",    "9600,x,8,1",  "abc,n,8,1", "9600,n,9,1",
        "9600,n,8,3", "-9600,n,8,1", "9600,n,8,1,", " 9600,n,8,1", "0,n,8,1"};
    for (const char* t : refused) EXPECT_FALSE(ParseLineSettings(t).has_value()) << t;
}

TEST(PortOpenClose, OpenShowsTheOpenLook) {
    Started r;
    r.w.Combo1(0).Pick(2);
    r.w.Combo1(1).Pick(11);
    Command1_Click(r.w);
    Optionopen_Click(r.w);
    EXPECT_TRUE(r.port.open);
    EXPECT_TRUE(r.w.portOpened);
    EXPECT_EQ(r.w.Label50.Caption, "COM3,115200,无,8,1,OPEN!");
    EXPECT_EQ(r.w.Shape1(0).BackColor, kGreen);
    EXPECT_EQ(r.w.Shape1(1).BackColor, kGreen);
    EXPECT_FALSE(r.w.Command1.Enabled);
    for (int i = 0; i < kPortBoxCount; ++i) EXPECT_FALSE(r.w.Combo1(i).Enabled);
    EXPECT_TRUE(r.w.Optionopen.Value);
    EXPECT_FALSE(r.w.Optionclose.Value);
    EXPECT_TRUE(r.box.shown.empty());
}

TEST(PortOpenClose, FailuresEndClosedWithOneMessage) {
    // A device that cannot be opened, and a typed box found after opening.
    for (int variant = 0; variant < 2; ++variant) {
        Started r;
        if (variant == 0)
            r.port.failOpen = true;
        else
            r.w.Combo1(1).Type("9600");
        Optionopen_Click(r.w);
        ASSERT_EQ(r.box.shown.size(), 1u) << variant;
        EXPECT_EQ(r.box.shown[0].text, "串口设置有误或者已被占用!");
        EXPECT_EQ(r.box.shown[0].title, "串口设置信息");
        EXPECT_EQ(r.box.shown[0].style, 22);
        // The system's reason unfolds under the unchanged message.
        EXPECT_EQ(r.box.shown[0].detail,
                  variant == 0 ? "device missing"
                               : "The box \"波特率\" holds the typed text \"9600\", which is not "
                                 "one of its entries; pick one from its list.");
        EXPECT_EQ(r.w.msgDetail, "");  // the next message carries only its own
        EXPECT_FALSE(r.port.open);
        EXPECT_FALSE(r.w.portOpened);
        EXPECT_EQ(r.w.Shape1(1).BackColor, kBlack);
        EXPECT_TRUE(r.w.Optionclose.Value);
        EXPECT_TRUE(r.w.Command1.Enabled);
        EXPECT_EQ(r.w.Label50.Caption.substr(r.w.Label50.Caption.size() - 6), "CLOSE!");
    }
}

TEST(PortOpenClose, TheBoxAppearsAfterTheWindowIsClosedAgain) {
    Started r;
    r.port.failOpen = true;
    bool closedLookWhenShown = false;
    r.box.onShow = [&] {
        closedLookWhenShown = !r.w.portOpened && r.w.Optionclose.Value && r.w.Command1.Enabled;
    };
    Optionopen_Click(r.w);
    EXPECT_TRUE(closedLookWhenShown);
}

TEST(PortOpenClose, ClosingTwiceEqualsClosingOnce) {
    Started r;
    Optionopen_Click(r.w);
    Optionclose_Click(r.w);
    const std::string once = r.w.Label50.Caption;
    const auto calls = r.port.calls.size();
    Optionclose_Click(r.w);
    EXPECT_EQ(r.w.Label50.Caption, once);
    EXPECT_EQ(r.port.calls.size(), calls);  // a closed port is not closed again
    EXPECT_FALSE(r.port.open);
    EXPECT_EQ(r.w.Shape1(0).BackColor, kBlack);
}

TEST(PortOpenClose, CloseProgramClosesThePortFirst) {
    Started r;
    Optionopen_Click(r.w);
    bool portClosedAtEnd = false;
    r.w.endProgram = [&] { portClosedAtEnd = !r.port.open; };
    r.w.isSending = true;
    r.port.calls.clear();
    Command5_Click(r.w);
    EXPECT_TRUE(portClosedAtEnd);
    // Bytes still waiting for a slow line are dropped first, so the close
    // does not hold the ending program until they are sent.
    EXPECT_EQ(r.port.calls, (std::vector<std::string>{"OutBufferCount=0", "PortOpen=false"}));
    EXPECT_TRUE(r.w.programEnded);
    EXPECT_FALSE(r.w.isSending);
}

}  // namespace
}  // namespace kiv
