#include "app/startup.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace kiv {
namespace {

TEST(StartUp, DocumentedStateAfterStartUp) {
    testing::Rig r;
    r.w.Tabmain.ClientLeft = 3;
    r.w.Tabmain.ClientTop = 25;
    r.w.Tabmain.ClientWidth = 560;
    r.w.Tabmain.ClientHeight = 270;
    StartUp(r.w);
    EXPECT_TRUE(r.box.shown.empty());
    EXPECT_EQ(FrontPage(r.w), 0);
    for (int i = 0; i < kPageCount; ++i) {
        EXPECT_EQ(r.w.tabpage(i).Enabled, i == 0) << i;
        EXPECT_EQ(r.w.tabpage(i).Top, 25);
        EXPECT_EQ(r.w.tabpage(i).Width, 560);
    }
    EXPECT_EQ(std::bit_cast<std::uint32_t>(r.w.PI_SINGLE), 0x40490FDAu);
    EXPECT_EQ(r.w.signalParams(9).cycle, 1000);
    EXPECT_EQ(r.port.settings, "9600,n,8,1");
    EXPECT_EQ(r.port.outBufferSize, 10);
    EXPECT_FALSE(r.port.open);
    EXPECT_FALSE(r.w.starsend.Enabled || r.w.pausesend.Enabled);
    EXPECT_EQ(r.w.Label50.Caption, "COM1,9600,无,8,1,CLOSE!");
    EXPECT_EQ(r.w.sendPeriod, 10);
    EXPECT_EQ(r.w.halfPeriod, 5);
    EXPECT_EQ(r.w.slotCount, 0);
    EXPECT_TRUE(r.w.Optionclose.Value);
}

TEST(StartUp, TabSwitchingEnablesOnlyTheFrontPage) {
    testing::Rig r;
    StartUp(r.w);
    for (int tab : {4, 7, 1, 2}) {
        Tabmain_Click(r.w, tab);
        EXPECT_EQ(FrontPage(r.w), tab - 1);
        for (int i = 0; i < kPageCount; ++i) EXPECT_EQ(r.w.tabpage(i).Enabled, i == tab - 1);
    }
}

}  // namespace
}  // namespace kiv
