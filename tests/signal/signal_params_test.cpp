#include "signal/signal_params.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "fakes.h"

namespace kiv {
namespace {

using testing::Rig;

// A started window, so the store holds the start-up values.
struct Started : Rig {
    Started() {
        StartUp(w);
        box.shown.clear();
    }
    void ExpectMessage() {
        ASSERT_EQ(box.shown.size(), 1u);
        EXPECT_EQ(box.shown[0].text, "信号设置错误，请修改！");
        EXPECT_EQ(box.shown[0].title, "信号设置信息");
        EXPECT_EQ(box.shown[0].style, 22);
    }
};

TEST(SignalParams, StartUpFillsTheStoreFromTheInitialTexts) {
    Started r;
    const SignalParams expected[10] = {
        {100, 0, 0, 60, 100, 100},  {500, 0, 0, 80, 100, 500},     {1000, 0, 0, 100, 100, 1000},
        {50, 50, 0, 255, 0, 100},   {250, 250, 0, 255, 0, 500},    {500, 500, 0, 255, 0, 1000},
        {50, 50, 50, 60, 100, 150}, {100, 100, 100, 80, 100, 300}, {300, 300, 400, 100, 100, 1000},
        {0, 0, 0, 10, 0, 0},
    };
    for (int i = 1; i <= kSignalEntryCount; ++i)
        EXPECT_EQ(r.w.signalParams(i), expected[i - 1]) << "entry " << i;
    EXPECT_TRUE(r.box.shown.empty());
}

// Texts typed into entry 1 (or `entry`), and what the store then holds or
// that the apply fails with the store unchanged.
TEST(SignalParams, AcceptedAndRejectedTexts) {
    const struct {
        int entry;
        const char *t1, *am, *a0;
        bool ok;
        std::int32_t t1Stored, amStored, a0Stored;
    } cases[] = {
        {1, "100", "200", "55", true, 100, 200, 55},
        {1, "100", "255", "1", false, 0, 0, 0},
        {1, "100", "100.5", "155", false, 0, 0, 0},  // 255.5 rounds to 256
        {1, "100", "100.4", "155", true, 100, 100, 155},
        {1, "100", "-0.4", "0", true, 100, 0, 0},
        {1, "100", "-1", "0", false, 0, 0, 0},
        {1, "100", "10", "256", false, 0, 0, 0},
        {1, "2.5", "10", "10", true, 2, 10, 10},
        {1, "3.5", "10", "10", true, 4, 10, 10},
        {1, "-50", "10", "10", true, -50, 10, 10},
        {1, "2147483648", "10", "10", false, 0, 0, 0},
        {1, "", "10", "10", false, 0, 0, 0},
        {1, "abc", "10", "10", false, 0, 0, 0},
        {5, "7", "0", "255", true, 7, 0, 255},
        {10, "0", "255", "0", true, 0, 255, 0},
    };
    for (const auto& c : cases) {
        Started r;
        const auto before = r.w.signalParams;
        r.w.fuction_t1(c.entry).Text = c.t1;
        r.w.fuction_am(c.entry).Text = c.am;
        r.w.fuction_a0(c.entry).Text = c.a0;
        Command2_Click(r.w);
        if (c.ok) {
            EXPECT_TRUE(r.box.shown.empty()) << c.t1 << ' ' << c.am << ' ' << c.a0;
            EXPECT_EQ(r.w.signalParams(c.entry).t1, c.t1Stored);
            EXPECT_EQ(r.w.signalParams(c.entry).am, c.amStored);
            EXPECT_EQ(r.w.signalParams(c.entry).a0, c.a0Stored);
        } else {
            r.ExpectMessage();
            EXPECT_EQ(r.w.signalParams, before) << c.t1 << ' ' << c.am << ' ' << c.a0;
        }
    }
}

TEST(SignalParams, EveryButtonAppliesAllFourPages) {
    void (*buttons[])(Model&) = {Command2_Click, Command3_Click, Command4_Click, Command6_Click};
    for (auto click : buttons) {
        // A bad sawtooth box fails the sine page's button too.
        Started bad;
        const auto before = bad.w.signalParams;
        bad.w.fuction_t1(1).Text = "77";
        bad.w.fuction_t2(8).Text = "x";
        click(bad.w);
        bad.ExpectMessage();
        EXPECT_EQ(bad.w.signalParams, before);

        // With all boxes good, any button stores entries of every page.
        Started good;
        good.w.fuction_t1(1).Text = "77";
        good.w.fuction_am(10).Text = "20";
        good.w.fuction_t3(9).Text = "5";
        click(good.w);
        EXPECT_EQ(good.w.signalParams(1).t1, 77);
        EXPECT_EQ(good.w.signalParams(10).am, 20);
        EXPECT_EQ(good.w.signalParams(9).cycle, 300 + 300 + 5);
    }
}

TEST(SignalParams, ValidationStopsAtTheFirstFaultAndStoresNothing) {
    // The fault is in entry 10, after nine good entries with new values.
    Started r;
    const auto before = r.w.signalParams;
    for (int i = 1; i <= 9; ++i) r.w.fuction_t1(i).Text = "42";
    r.w.fuction_am(10).Text = "300";
    Command6_Click(r.w);
    r.ExpectMessage();
    EXPECT_EQ(r.w.signalParams, before);
}

TEST(SignalParams, CycleOverflowStoresPartially) {
    Started r;
    const auto before = r.w.signalParams;
    for (int i = 1; i <= kSignalEntryCount; ++i)
        r.w.fuction_am(i).Text = "1";  // new values everywhere
    r.w.fuction_a0(10).Text = "0";
    r.w.fuction_t1(9).Text = "2147483647";
    r.w.fuction_t2(9).Text = "1";
    r.w.fuction_t3(9).Text = "0";
    Command4_Click(r.w);
    r.ExpectMessage();
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(r.w.signalParams(i).am, 1) << "entry " << i;
    const SignalParams& e9 = r.w.signalParams(9);
    EXPECT_EQ(e9.t1, 2147483647);
    EXPECT_EQ(e9.t2, 1);
    EXPECT_EQ(e9.t3, 0);
    EXPECT_EQ(e9.am, 1);
    EXPECT_EQ(e9.cycle, before(9).cycle);
    EXPECT_EQ(r.w.signalParams(10), before(10));
}

}  // namespace
}  // namespace kiv
