#include "sending/setup_load.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/startup.h"
#include "fakes.h"
#include "model/messages.h"

namespace kiv {
namespace {

using testing::Rig;

struct Started : Rig {
    Started() { StartUp(w); }
    bool Called(const std::string& call) const {
        return std::find(port.calls.begin(), port.calls.end(), call) != port.calls.end();
    }
};

kiv::Setup ASetup() {
    kiv::Setup s = InitialSetup();
    s.serial = {"COM3", "19200", "偶", "7", "2"};
    s.slotTexts = {"1", "SQUX2", "trix3", "", "9", "", "", "", "", ""};
    s.period = "25";
    s.noise[1] = s.noise[7] = true;
    s.params[4][0] = "40";  // squx2 t1
    s.params[4][1] = "60";  // squx2 t2
    s.params[9][3] = "20";  // noise am
    return s;
}

TEST(LoadSetup, PutsTheTextsInAndAppliesEveryPageWithoutOpeningThePort) {
    Started rig;
    rig.port.calls.clear();
    const Outcome outcome = LoadSetup(rig.w, ASetup());
    EXPECT_TRUE(outcome.ok) << outcome.box << ": " << outcome.reason;
    EXPECT_TRUE(rig.box.shown.empty());

    EXPECT_EQ(rig.port.commPort, 3);
    EXPECT_EQ(rig.port.settings, "19200,e,7,2");
    EXPECT_TRUE(rig.w.Optionopen.Enabled);
    EXPECT_FALSE(rig.Called("PortOpen=true"));
    EXPECT_FALSE(rig.port.open);

    EXPECT_EQ(rig.w.slotCount, 3);
    EXPECT_EQ(rig.w.slotText(2), "SQUX2");
    EXPECT_EQ(rig.w.sendPeriod, 25);
    EXPECT_EQ(rig.w.halfPeriod, 12);
    EXPECT_TRUE(rig.w.starsend.Enabled);
    EXPECT_EQ(rig.w.signalParams(5).cycle, 100);
    EXPECT_EQ(rig.w.signalParams(10).am, 20);
    for (int i = 1; i <= kSlotCount; ++i) {
        const int ticked = i == 2 || i == 8 ? 1 : 0;
        EXPECT_EQ(rig.w.Check2(i).Value, ticked) << i;
        EXPECT_EQ(rig.w.Check1(i).Value, ticked) << "the noise page's row follows, " << i;
        EXPECT_EQ(rig.w.Check1(i).Enabled, i <= 3) << i;
    }
}

TEST(LoadSetup, ABadValueGetsItsPagesMessageAndTheOtherPagesAreStillApplied) {
    const struct {
        const char* name;
        void (*spoil)(kiv::Setup&);
        const char* box;
        const char* message;
    } cases[] = {
        {"typed baud", [](kiv::Setup& s) { s.serial[1] = "9601"; }, "Combo1(1)",
         "串口设置有误或者已被占用!"},
        {"port no one has", [](kiv::Setup& s) { s.serial[0] = "COM9"; }, "Combo1(0)",
         "串口设置有误或者已被占用!"},
        {"slot", [](kiv::Setup& s) { s.slotTexts[5] = "sinx4"; }, "sendText1(6)",
         "发送内容设置错误，请修改！"},
        {"period", [](kiv::Setup& s) { s.period = "ten"; }, "autosendtext1",
         "发送内容设置错误，请修改！"},
        {"level", [](kiv::Setup& s) { s.params[0][3] = "200"; }, "fuction_a0(1)",
         "信号设置错误，请修改！"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Started rig;
        kiv::Setup s = ASetup();
        c.spoil(s);
        const Outcome outcome = LoadSetup(rig.w, s);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.box, c.box) << outcome.reason;
        ASSERT_EQ(rig.box.shown.size(), 1u);
        EXPECT_EQ(rig.box.shown[0].text, c.message);
        EXPECT_EQ(rig.box.shown[0].style, 22);
        // The texts are in the boxes whatever failed: nothing is dropped.
        EXPECT_EQ(SetupFromBoxes(rig.w), s);
        const bool signalFailed = std::string(c.name) == "level";
        EXPECT_EQ(rig.w.signalParams(10).am, signalFailed ? 10 : 20);
        EXPECT_FALSE(rig.port.open);
    }
}

TEST(LoadSetup, RefusedWhileSendingOrWithThePortOpen) {
    for (const bool sending : {false, true}) {
        SCOPED_TRACE(sending);
        Started rig;
        rig.w.portOpened = true;
        rig.w.isSending = sending;
        const kiv::Setup before = SetupFromBoxes(rig.w);
        const Outcome outcome = LoadSetup(rig.w, ASetup());
        EXPECT_FALSE(outcome.ok);
        ASSERT_EQ(rig.box.shown.size(), 1u);
        EXPECT_EQ(rig.box.shown[0].text, kSetupBusyMessage.text);
        EXPECT_EQ(rig.box.shown[0].title, kSetupMessageTitle);
        EXPECT_EQ(SetupFromBoxes(rig.w), before);
        EXPECT_EQ(rig.w.sendPeriod, 10);
        EXPECT_EQ(rig.w.isSending, sending);
    }
}

}  // namespace
}  // namespace kiv
