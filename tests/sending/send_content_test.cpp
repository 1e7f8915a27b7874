#include "sending/send_content.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "app/startup.h"
#include "fakes.h"
#include "model/setup_file.h"
#include "sending/setup_load.h"
#include "serial/port_open_close.h"
#include "signal/noise_targets.h"

namespace kiv {
namespace {

struct Started : testing::StartedRig {
    void Slots(const std::vector<std::string>& texts) {
        for (int i = 1; i <= kSlotCount; ++i)
            w.sendText1(i).Text =
                i <= static_cast<int>(texts.size()) ? texts[static_cast<std::size_t>(i - 1)] : "";
    }
    void ExpectFailed() {
        ASSERT_EQ(box.shown.size(), 1u);
        EXPECT_EQ(box.shown[0].text, "发送内容设置错误，请修改！");
        EXPECT_EQ(box.shown[0].title, "发送内容信息");
        EXPECT_EQ(box.shown[0].style, 22);
        EXPECT_FALSE(w.starsend.Enabled);
        EXPECT_FALSE(w.pausesend.Enabled);
        EXPECT_FALSE(port.open);
        EXPECT_FALSE(w.portOpened);
        EXPECT_TRUE(w.Optionclose.Value);
    }
};

TEST(SendContent, EachSlotTextIsEmptyAConstantASignalOrInvalid) {
    const struct {
        const char* text;
        SlotKind kind;
    } cases[] = {
        {"", SlotKind::Empty},         {"5", SlotKind::Constant},     {"255", SlotKind::Constant},
        {"254.5", SlotKind::Constant}, {"-0.4", SlotKind::Constant},  {"1e2", SlotKind::Constant},
        {" 12 ", SlotKind::Constant},  {"0", SlotKind::Constant},     {"sinx1", SlotKind::Signal},
        {"SINX1", SlotKind::Signal},   {"TriX3", SlotKind::Signal},   {"squx2", SlotKind::Signal},
        {"256", SlotKind::Invalid},    {"-1", SlotKind::Invalid},     {"255.5", SlotKind::Invalid},
        {"1e10", SlotKind::Invalid},   {" ", SlotKind::Invalid},      {"sinx4", SlotKind::Invalid},
        {"sin x1", SlotKind::Invalid}, {" sinx1", SlotKind::Invalid}, {"sinx1 ", SlotKind::Invalid},
        {"noise", SlotKind::Invalid},  {"0x10", SlotKind::Invalid},   {"abc", SlotKind::Invalid},
    };
    for (const auto& c : cases) EXPECT_EQ(ClassifySlot(c.text), c.kind) << '"' << c.text << '"';
}

TEST(SendContent, ThePeriodIsReadAndItsHalfRoundsToEven) {
    const struct {
        const char* text;
        std::int32_t period, half;
    } cases[] = {
        {"10", 10, 5},  {"1", 1, 0},     {"3", 3, 2},    {"5", 5, 2},
        {"7", 7, 4},    {"15", 15, 8},   {"0", 0, 0},    {"-3", -3, -2},
        {"-5", -5, -2}, {"10.5", 10, 5}, {"1e1", 10, 5}, {"2147483647", 2147483647, 1073741824},
    };
    for (const auto& c : cases) {
        Started r;
        r.w.autosendtext1.Text = c.text;
        Command7_Click(r.w);
        EXPECT_TRUE(r.box.shown.empty()) << c.text;
        EXPECT_EQ(r.w.sendPeriod, c.period) << c.text;
        EXPECT_EQ(r.w.halfPeriod, c.half) << c.text;
    }
    for (const char* bad : {"", "abc", "2147483648", " "}) {
        Started r;
        r.w.autosendtext1.Text = bad;
        Command7_Click(r.w);
        r.ExpectFailed();
        EXPECT_EQ(r.w.sendPeriod, 10) << bad;  // the old period stays
        EXPECT_EQ(r.w.slotCount, 0);
    }
}

TEST(SendContent, StartUpPageGivesFourSlots) {
    Started r;
    Command7_Click(r.w);
    EXPECT_EQ(r.w.slotCount, 4);
    for (int i = 1; i <= kSlotCount; ++i) {
        EXPECT_EQ(r.w.Check1(i).Enabled, i <= 4) << i;
        EXPECT_EQ(r.w.Check2(i).Enabled, i <= 4) << i;
    }
    EXPECT_TRUE(r.w.starsend.Enabled);
    EXPECT_TRUE(r.w.pausesend.Enabled);
    EXPECT_EQ(r.port.calls, std::vector<std::string>{"OutBufferSize=4"});
}

TEST(SendContent, FrameEndsAtTheFirstEmptySlotButAllAreValidated) {
    Started r;
    r.Slots({"5", "", "sinx1"});
    Command7_Click(r.w);
    EXPECT_EQ(r.w.slotCount, 1);
    EXPECT_EQ(r.w.slotText(1), "5");

    Started bad;
    bad.Slots({"5", "", "sinx9"});
    Command7_Click(bad.w);
    bad.ExpectFailed();
}

TEST(SendContent, TextsAreStoredAsTyped) {
    Started r;
    r.Slots({"SINX1", " 12 ", "Trix2"});
    Command7_Click(r.w);
    EXPECT_EQ(r.w.slotCount, 3);
    EXPECT_EQ(r.w.slotText(1), "SINX1");
    EXPECT_EQ(r.w.slotText(2), " 12 ");
    EXPECT_EQ(r.w.slotText(3), "Trix2");
}

TEST(SendContent, AllSlotsEmptyGiveAnEmptyFrameAndStillEnableStart) {
    Started r;
    r.Slots({});
    Command7_Click(r.w);
    EXPECT_TRUE(r.box.shown.empty());
    EXPECT_EQ(r.w.slotCount, 0);
    EXPECT_EQ(r.port.outBufferSize, 0);
    for (int i = 1; i <= kSlotCount; ++i)
        EXPECT_FALSE(r.w.Check1(i).Enabled || r.w.Check2(i).Enabled);
    EXPECT_TRUE(r.w.starsend.Enabled);
}

TEST(SendContent, OpenPortIsClosedResizedAndReopened) {
    Started r;
    Optionopen_Click(r.w);
    r.port.calls.clear();
    r.Slots({"1", "2", "3", "4", "5", "6", "7"});
    Command7_Click(r.w);
    EXPECT_EQ(r.port.calls,
              (std::vector<std::string>{"PortOpen=false", "OutBufferSize=7", "PortOpen=true"}));
    EXPECT_TRUE(r.port.open);
    EXPECT_TRUE(r.w.portOpened);
    // Applying the same page again gives the same state.
    const auto plan = r.w.slotText;
    Command7_Click(r.w);
    EXPECT_EQ(r.w.slotText, plan);
    EXPECT_EQ(r.w.slotCount, 7);
    EXPECT_TRUE(r.port.open);
}

TEST(SendContent, DisabledBoxesKeepTheirTicks) {
    Started r;
    r.w.Check1(6).Value = r.w.Check2(6).Value = 1;
    Command7_Click(r.w);  // four slots
    EXPECT_FALSE(r.w.Check1(6).Enabled);
    EXPECT_EQ(r.w.Check1(6).Value, 1);
    EXPECT_EQ(r.w.Check2(6).Value, 1);
    r.Slots({"1", "2", "3", "4", "5", "6"});
    Command7_Click(r.w);
    EXPECT_TRUE(r.w.Check1(6).Enabled);
    EXPECT_EQ(r.w.Check1(6).Value, 1);
}

// The send page's noise boxes and the noise page's are one choice shown
// twice: composing reads one row, a saved setup the other. Every action that
// changes either row leaves the two equal, ticks and enabling alike.
TEST(SendContent, BothNoiseRowsAgreeAfterEveryAction) {
    const auto tick = [](Started& r, bool sendPage, int slot, int value) {
        if (sendPage) {
            r.w.Check2(slot).Value = value;
            Check2_Click(r.w, slot);
        } else {
            r.w.Check1(slot).Value = value;
            Check1_Click(r.w, slot);
        }
    };
    const auto load = [](Started& r, std::vector<int> noise) {
        kiv::Setup setup = InitialSetup();
        for (int slot : noise) setup.noise.at(static_cast<std::size_t>(slot - 1)) = true;
        ASSERT_TRUE(LoadSetup(r.w, setup).ok);
    };
    struct Case {
        const char* name;
        std::function<void(Started&)> act;
        std::vector<int> ticked;  // the slots whose boxes end ticked
        int enabled;              // the boxes of slots 1..enabled end enabled
    };
    const std::vector<Case> cases = {
        {"tick on the send page", [&](Started& r) { tick(r, true, 3, 1); }, {3}, 10},
        {"tick on the noise page", [&](Started& r) { tick(r, false, 7, 1); }, {7}, 10},
        {"untick on one page what the other ticked",
         [&](Started& r) {
             tick(r, true, 2, 1);
             tick(r, true, 5, 1);
             tick(r, false, 2, 0);
         },
         {5},
         10},
        {"a shorter frame",
         [&](Started& r) {
             tick(r, false, 6, 1);
             r.Slots({"1", "2"});
             Command7_Click(r.w);
         },
         {6},
         2},
        {"a longer frame",
         [](Started& r) {
             r.Slots({"1", "2", "3"});
             Command7_Click(r.w);
             r.Slots({"1", "2", "3", "4", "5", "6"});
             Command7_Click(r.w);
         },
         {},
         6},
        {"a refused frame",
         [](Started& r) {
             r.Slots({"1", "x"});
             Command7_Click(r.w);
         },
         {},
         10},
        {"a loaded setup",
         [&](Started& r) {
             load(r, {1, 9});
         },
         {1, 9},
         4},
        {"a loaded setup over earlier ticks",
         [&](Started& r) {
             tick(r, false, 4, 1);
             tick(r, true, 8, 1);
             load(r, {2});
         },
         {2},
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Started r;
        c.act(r);
        for (int i = 1; i <= kSlotCount; ++i) {
            SCOPED_TRACE(i);
            const bool ticked = std::find(c.ticked.begin(), c.ticked.end(), i) != c.ticked.end();
            EXPECT_EQ(r.w.Check2(i).Value, ticked ? 1 : 0);
            EXPECT_EQ(r.w.Check1(i).Value, r.w.Check2(i).Value);
            EXPECT_EQ(r.w.Check2(i).Enabled, i <= c.enabled);
            EXPECT_EQ(r.w.Check1(i).Enabled, r.w.Check2(i).Enabled);
        }
    }
}

TEST(SendContent, WhatSurvivesEachFailurePoint) {
    // Validation: nothing changes but the buttons and the port.
    {
        Started r;
        Command7_Click(r.w);
        Optionopen_Click(r.w);
        const auto plan = r.w.slotText;
        r.Slots({"1", " "});
        Command7_Click(r.w);
        r.ExpectFailed();
        EXPECT_EQ(r.w.slotText, plan);
        EXPECT_EQ(r.w.slotCount, 4);
        EXPECT_TRUE(r.w.Check1(4).Enabled);
    }
    // Buffer sizing: the new plan is stored, the boxes are not updated.
    {
        Started r;
        Optionopen_Click(r.w);
        r.port.failOn = "OutBufferSize";
        r.Slots({"1", "2"});
        r.w.autosendtext1.Text = "20";
        Command7_Click(r.w);
        r.ExpectFailed();
        EXPECT_EQ(r.w.slotCount, 2);
        EXPECT_EQ(r.w.sendPeriod, 20);
        EXPECT_TRUE(r.w.Check1(5).Enabled);  // untouched since start-up
    }
}

TEST(SendContent, ResetSendStateStopsClearsTheCountAndReadsThePeriod) {
    testing::Rig r;
    r.w.autosendtext1.Text = "7";
    r.w.isSending = r.w.portOpened = true;
    r.w.sendCount = 12;
    r.w.Tally1.Value = 12;
    ResetSendState(r.w);
    EXPECT_FALSE(r.w.isSending || r.w.portOpened);
    EXPECT_EQ(r.w.sendPeriod, 7);
    EXPECT_EQ(r.w.halfPeriod, 4);
    EXPECT_EQ(r.w.sendCount, 0);
    EXPECT_EQ(r.w.Tally1.Value, 0);
    EXPECT_FALSE(r.w.starsend.Enabled || r.w.pausesend.Enabled);
}

}  // namespace
}  // namespace kiv
