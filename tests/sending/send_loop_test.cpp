#include "sending/send_loop.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>
#include <sstream>

#include "app/startup.h"
#include "fakes.h"
#include "sending/send_content.h"
#include "serial/port_open_close.h"
#include "signal/signal_params.h"
#include "support/table_cases.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A started window with the port open and the start-up send page applied.
struct Sending : testing::Rig {
    Sending() {
        StartUp(w);
        Optionopen_Click(w);
        Command7_Click(w);
        port.calls.clear();
    }
    void RunFrames(std::size_t frames, std::function<void()> alsoEachYield = {}) {
        testing::RunFrames(*this, frames, std::move(alsoEachYield));
    }
};

TEST(SendLoop, WritesOneFramePerPeriodAndCounts) {
    Sending s;
    std::vector<std::int32_t> tallies;
    s.RunFrames(3, [&] { tallies.push_back(s.w.Tally1.Value); });
    ASSERT_EQ(s.port.frames.size(), 3u);
    EXPECT_EQ(s.port.frames[0], (Bytes{5, 6, 130, 140}));
    EXPECT_EQ(s.port.frames[1], (Bytes{5, 6, 148, 145}));
    EXPECT_EQ(s.port.frames[2], (Bytes{5, 6, 159, 150}));
    EXPECT_EQ(s.w.sendCount, 3);
    EXPECT_EQ(s.w.Tally1.Value, 3);
    EXPECT_EQ(s.clock.now, 30u);  // three periods of 10 ms, one write at each end
    EXPECT_EQ(tallies.front(), 1);
    EXPECT_FALSE(s.w.isSending);
    EXPECT_EQ(s.w.Shape1(0).BackColor, kGreen);  // a pause leaves the lamps green
    EXPECT_EQ(s.w.Shape1(1).BackColor, kGreen);
    EXPECT_FALSE(s.w.sendLoopActive);
}

TEST(SendLoop, LampsAreLightGreenForTheFirstHalf) {
    Sending s;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> seen;  // (ms into the cycle, colour)
    s.RunFrames(2, [&] { seen.emplace_back((s.clock.now - 1) % 10, s.w.Shape1(1).BackColor); });
    ASSERT_EQ(seen.size(), 20u);
    for (auto [ms, colour] : seen) EXPECT_EQ(colour, ms < 5 ? kLightGreen : kGreen) << ms;
}

// Where no one sees the lamps, the first wait sleeps on to the frame's
// moment: one wake-up per cycle instead of two, the lamps still recoloured,
// the frames the same bytes at the same moments.
TEST(SendLoop, UnseenLampsCostNoWakeUpAtTheHalfPeriod) {
    struct Case {
        bool shown;
        std::uint32_t step;  // 0: each yield sleeps to its bound; else an event wakes it early
        std::vector<std::uint32_t> bounds;
        std::uint32_t end;
    };
    const Case cases[] = {
        {true, 0, {5, 10, 15, 20, 25, 30}, 30},
        {false, 0, {10, 20, 30}, 30},
        {false, 4, {10, 10, 10, 22, 22, 22, 34, 34, 34}, 36},
    };
    for (const Case& c : cases) {
        Sending s;
        s.w.lampsOnShow = c.shown;
        s.yielder.step = c.step;
        std::vector<std::uint32_t> bounds;
        s.RunFrames(3, [&] {
            bounds.push_back(s.yielder.lastWakeAt);
            if (c.step == 0) s.clock.now = s.yielder.lastWakeAt;
        });
        EXPECT_EQ(bounds, c.bounds) << c.shown << c.step;
        EXPECT_EQ(s.clock.now, c.end) << c.shown << c.step;
        ASSERT_EQ(s.port.frames.size(), 3u);
        EXPECT_EQ(s.port.frames[2], (Bytes{5, 6, 159, 150}));
        EXPECT_EQ(s.w.Shape1(1).BackColor, kGreen);
    }
}

TEST(SendLoop, AStartWithoutAnOpenPortShowsItsBoxAndSendsNothing) {
    for (int variant = 0; variant < 2; ++variant) {
        Sending s;
        if (variant == 0)
            Optionclose_Click(s.w);
        else
            s.w.portOpened = false;  // open port the user did not open
        s.w.sendCount = 7;
        starsend_Click(s.w);
        ASSERT_EQ(s.box.shown.size(), 1u);
        EXPECT_EQ(s.box.shown[0].text, "串口未打开!");
        EXPECT_EQ(s.box.shown[0].title, "串口发送信息");
        EXPECT_EQ(s.box.shown[0].style, 22);
        EXPECT_EQ(s.w.Shape1(0).BackColor, kBlack);
        EXPECT_EQ(s.w.sendCount, 7);
        EXPECT_TRUE(s.port.frames.empty());
        EXPECT_FALSE(s.w.isSending);
    }
}

TEST(SendLoop, CountWrapsAtOneMillion) {
    Sending s;
    s.w.sendText1(1).Text = "trix1";
    s.w.sendText1(2).Text = "";
    Command7_Click(s.w);
    s.w.sendCount = 999998;
    std::vector<std::int32_t> talliesAtWrite;
    s.yielder.everyYield = [&] {
        if (s.port.frames.size() == talliesAtWrite.size())
            talliesAtWrite.push_back(s.w.Tally1.Value);
        if (s.port.frames.size() == 2) pausesend_Click(s.w);
    };
    starsend_Click(s.w);
    ASSERT_EQ(s.port.frames.size(), 3u);
    // trix1 at n = 999998, 999999 and 0.
    EXPECT_EQ(s.port.frames[0], Bytes{124});
    EXPECT_EQ(s.port.frames[1], Bytes{112});
    EXPECT_EQ(s.port.frames[2], Bytes{100});
    EXPECT_EQ(talliesAtWrite, (std::vector<std::int32_t>{999999, 0, 1}));
}

TEST(SendLoop, PauseThenStartContinuesTheCount) {
    Sending s;
    s.RunFrames(2);
    s.RunFrames(3);
    EXPECT_EQ(s.w.sendCount, 3);
    EXPECT_EQ(s.port.frames[2], (Bytes{5, 6, 159, 150}));
}

TEST(SendLoop, ClearDuringSendingRestartsTheSignalTime) {
    Sending s;
    bool cleared = false;
    s.RunFrames(3, [&] {
        if (s.port.frames.size() == 1 && !cleared) {
            Command8_Click(s.w);
            cleared = true;
            EXPECT_EQ(s.w.Tally1.Value, 0);
        }
    });
    ASSERT_EQ(s.port.frames.size(), 3u);
    EXPECT_EQ(s.port.frames[2], (Bytes{5, 6, 130, 140}));
    EXPECT_EQ(s.w.sendCount, 1);
}

TEST(SendLoop, ErrorInTheFrameEndsTheLoopSilently) {
    Sending s;
    s.RunFrames(5, [&] {
        if (s.port.frames.size() == 1) {
            s.w.fuction_t1(1).Text = "0";  // sinx1 with t1 = 0 fails on the next frame
            ApplySignalSettings(s.w);
        }
    });
    // The second frame was composed before the change; the third fails.
    EXPECT_EQ(s.port.frames.size(), 2u);
    EXPECT_EQ(s.w.sendCount, 2);  // not advanced for the failing cycle
    EXPECT_EQ(s.w.Shape1(0).BackColor, kBlack);
    EXPECT_EQ(s.w.Shape1(1).BackColor, kBlack);
    EXPECT_TRUE(s.box.shown.empty());
    EXPECT_TRUE(s.w.isSending);  // left as it was; the next pause or close clears it
    EXPECT_FALSE(s.w.sendLoopActive);
}

TEST(SendLoop, NoSlotsWritesNothingButCounts) {
    Sending s;
    for (int i = 1; i <= kSlotCount; ++i) s.w.sendText1(i).Text = "";
    Command7_Click(s.w);
    int yields = 0;
    s.yielder.everyYield = [&] {
        if (++yields == 35) pausesend_Click(s.w);
    };
    starsend_Click(s.w);
    EXPECT_TRUE(s.port.frames.empty());
    EXPECT_EQ(s.w.sendCount, 4);
}

TEST(SendLoop, ClosingThePortDuringTheSecondWaitEndsTheLoop) {
    Sending s;
    int yields = 0;
    s.yielder.everyYield = [&] {
        if (++yields == 17) Optionclose_Click(s.w);  // second cycle, second half
    };
    starsend_Click(s.w);
    EXPECT_EQ(s.port.frames.size(), 1u);
    EXPECT_EQ(s.w.Shape1(1).BackColor, kBlack);
    EXPECT_FALSE(s.w.isSending);
    EXPECT_FALSE(s.port.open);
    EXPECT_EQ(s.w.lampToolTip, "");  // the user's own close needs no word
}

TEST(SendLoop, ADeviceLostWhileSendingShowsTheClosedLook) {
    Sending s;
    s.yielder.everyYield = [&] {
        if (s.clock.now == 15) s.port.open = false;  // the cable is pulled
    };
    starsend_Click(s.w);
    EXPECT_EQ(s.port.frames.size(), 1u);
    EXPECT_EQ(s.w.Shape1(1).BackColor, kBlack);
    EXPECT_FALSE(s.w.portOpened);
    EXPECT_TRUE(s.w.Optionclose.Value);
    EXPECT_TRUE(s.w.Command1.Enabled);
    EXPECT_EQ(s.w.Label50.Caption, "COM1,9600,无,8,1,CLOSE!");
    EXPECT_TRUE(s.box.shown.empty());
    // No box, but the lamps say what happened and when.
    EXPECT_TRUE(std::regex_match(
        s.w.lampToolTip, std::regex("Sending stopped at \\d\\d:\\d\\d:\\d\\d: port closed")))
        << s.w.lampToolTip;
    // The user can open again at once.
    Optionopen_Click(s.w);
    EXPECT_TRUE(s.w.portOpened);
    EXPECT_TRUE(s.port.open);
    EXPECT_EQ(s.w.lampToolTip, "");
}

// The standard-error line of a lost line shows a reason's controls (a
// device path can hold any) escaped, never acting on the terminal.
TEST(SendLoop, TheLostLinesLineShowsControlsEscaped) {
    Sending s;
    s.port.failOn = "Output";
    s.port.failReason = "/dev/tty\x1b[2J\u202Egone";
    std::ostringstream err;
    std::streambuf* const saved = std::cerr.rdbuf(err.rdbuf());
    starsend_Click(s.w);
    std::cerr.rdbuf(saved);
    EXPECT_NE(err.str().find("kiv: Sending stopped at "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("/dev/tty\\x1b[2J\\xe2\\x80\\xaegone"), std::string::npos)
        << err.str();
    EXPECT_EQ(err.str().find('\x1b'), std::string::npos);
}

TEST(SendLoop, AStartWhileSendingKeepsTheRunningLoop) {
    Sending s;
    int nestedStarts = 0;
    s.RunFrames(4, [&] {
        if (s.port.frames.size() == 1 && nestedStarts == 0) {
            ++nestedStarts;
            pausesend_Click(s.w);
            starsend_Click(s.w);  // returns at once and keeps the loop going
            EXPECT_TRUE(s.w.isSending);
        }
    });
    EXPECT_EQ(s.port.frames.size(), 4u);
    EXPECT_EQ(s.w.sendCount, 4);
    for (std::size_t i = 1; i < s.port.frames.size(); ++i)
        EXPECT_NE(s.port.frames[i], s.port.frames[i - 1]);
}

TEST(SendLoop, ZeroOrNegativePeriodStillYieldsEveryCycle) {
    for (const char* period : {"0", "-5"}) {
        Sending s;
        s.w.autosendtext1.Text = period;
        Command7_Click(s.w);
        s.yielder.step = 0;  // the clock stands still: only the yield can stop the loop
        s.RunFrames(5);
        EXPECT_EQ(s.port.frames.size(), 5u) << period;
        EXPECT_EQ(s.yielder.yields, 5) << period;
    }
}

TEST(SendLoop, ElapsedTimeSurvivesTheClockWrapping) {
    for (std::uint32_t start : {0x7FFFFFFBu, 0xFFFFFFFBu}) {
        Sending s;
        s.clock.now = start;
        s.RunFrames(3);
        EXPECT_EQ(s.port.frames.size(), 3u) << start;
        EXPECT_EQ(s.clock.now, start + 30u) << start;
        EXPECT_EQ(s.w.Shape1(0).BackColor, kGreen);
    }
}

TEST(SendLoop, NewPeriodActsOnTheWaitUnderWay) {
    Sending s;
    s.RunFrames(2, [&] {
        if (s.clock.now == 3) {
            s.w.autosendtext1.Text = "20";
            Command7_Click(s.w);
        }
    });
    EXPECT_EQ(s.clock.now, 40u);  // both cycles already at 20 ms
    EXPECT_EQ(s.yielder.lastWakeAt, 40u);
}

TEST(SendLoop, EndingTheProgramStopsTheLoopWithoutAnotherWrite) {
    Sending s;
    s.yielder.everyYield = [&] {
        if (s.clock.now == 13) Command5_Click(s.w);
    };
    starsend_Click(s.w);
    EXPECT_EQ(s.port.frames.size(), 1u);
    EXPECT_TRUE(s.w.programEnded);
    EXPECT_FALSE(s.port.open);
    EXPECT_EQ(s.port.calls.back(), "PortOpen=false");
}

TEST(SendLoop, ModalBoxHoldsTheLoop) {
    Sending s;
    s.w.fuction_am(1).Text = "abc";
    s.RunFrames(2, [&] {
        if (s.clock.now == 2) {
            s.box.onShow = [&] { s.clock.now += 100; };  // the user reads the box for 100 ms
            ApplySignalSettings(s.w);
            s.box.onShow = nullptr;
        }
    });
    // The first cycle's wait ends at its first reading after the box closes.
    EXPECT_EQ(s.port.frames.size(), 2u);
    EXPECT_EQ(s.clock.now, 102u + 10u);
}

// A send-page apply during a cycle's wait changes the frame length under a
// frame composed for the old plan. The frame on the line is the new plan's,
// composed at that cycle's frame time, whole: no cut frame, and no bytes a
// longer plan left behind in the frame buffer.
struct MidWaitApply {
    std::string name;
    std::vector<std::string> newSlots;
    Bytes first, second;
};

using kiv::testing::PrintTo;

class SendLoopMidWait : public ::testing::TestWithParam<MidWaitApply> {};

TEST_P(SendLoopMidWait, TheFrameOnTheLineIsTheNewPlansWhole) {
    const MidWaitApply& c = GetParam();
    Sending s;
    // An earlier, longer plan leaves its bytes in the frame buffer.
    const char* const longer[7] = {"5", "6", "sinx1", "sinx2", "205", "206", "207"};
    for (int i = 0; i < 7; ++i) s.w.sendText1(i + 1).Text = longer[i];
    Command7_Click(s.w);
    s.RunFrames(1);
    for (int i = 5; i <= 7; ++i) s.w.sendText1(i).Text = "";
    Command7_Click(s.w);
    Command8_Click(s.w);
    s.port.frames.clear();

    bool applied = false;
    s.RunFrames(2, [&] {
        if (applied || s.clock.now % 10 != 7) return;  // the second wait of the first cycle
        applied = true;
        for (int i = 1; i <= kSlotCount; ++i)
            s.w.sendText1(i).Text =
                i <= static_cast<int>(c.newSlots.size()) ? c.newSlots[i - 1] : "";
        Command7_Click(s.w);
    });
    ASSERT_TRUE(applied);
    ASSERT_EQ(s.port.frames.size(), 2u);
    EXPECT_EQ(s.port.frames[0], c.first);
    EXPECT_EQ(s.port.frames[1], c.second);
    EXPECT_TRUE(s.box.shown.empty());
}

// The same plan typed in other letter case is the plan in force: the frame
// composed at the cycle start goes out, its noise not drawn again.
TEST(SendLoop, AnApplyThatChangesOnlyLetterCaseKeepsTheComposedFrame) {
    Sending s;
    s.w.Check1(3).Value = 1;
    bool applied = false;
    s.RunFrames(2, [&] {
        if (applied || s.clock.now % 10 != 7) return;
        applied = true;
        s.w.sendText1(3).Text = "SINX1";
        Command7_Click(s.w);
    });
    ASSERT_TRUE(applied);
    EXPECT_EQ(s.port.frames.size(), 2u);
    EXPECT_EQ(s.random.draws, 2);  // one per frame
}

INSTANTIATE_TEST_SUITE_P(
    SendLoop, SendLoopMidWait,
    ::testing::Values(
        // sinx1 and sinx2 at n = 0 are 130 and 140, at n = 1 148 and 145.
        MidWaitApply{"Grow",
                     {"5", "6", "sinx1", "sinx2", "1", "2", "3"},
                     {5, 6, 130, 140, 1, 2, 3},
                     {5, 6, 148, 145, 1, 2, 3}},
        MidWaitApply{"Shrink", {"7", "SINX2"}, {7, 140}, {7, 145}},
        MidWaitApply{
            "SameLengthNewTexts", {"9", "sinx2", "sinx1", "8"}, {9, 140, 130, 8}, {9, 145, 148, 8}},
        // One slot changed at either end: every slot counts in the check.
        MidWaitApply{
            "OnlyTheLastSlot", {"5", "6", "sinx1", "99"}, {5, 6, 130, 99}, {5, 6, 148, 99}},
        MidWaitApply{"OnlyTheFirstSlot",
                     {"99", "6", "sinx1", "sinx2"},
                     {99, 6, 130, 140},
                     {99, 6, 148, 145}},
        MidWaitApply{"SamePlan", {"5", "6", "sinx1", "sinx2"}, {5, 6, 130, 140}, {5, 6, 148, 145}}),
    [](const ::testing::TestParamInfo<MidWaitApply>& info) { return info.param.name; });

}  // namespace
}  // namespace kiv
