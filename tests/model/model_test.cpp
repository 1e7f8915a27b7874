#include "model/model.h"

#include <gtest/gtest.h>

#include "fakes.h"

namespace kiv {
namespace {

TEST(Model, ControlArraysKeepTheFormsIndexes) {
    Model w;
    EXPECT_EQ(w.Label1(0).Caption, "第1个字节");
    EXPECT_EQ(w.Label1(9).Caption, "第10个字节");
    EXPECT_EQ(w.sendText1(1).Text, "5");
    EXPECT_EQ(w.sendText1(4).Text, "sinx2");
    EXPECT_EQ(w.sendText1(10).Text, "");
    EXPECT_THROW(w.sendText1(0), std::out_of_range);
    EXPECT_THROW(w.sendText1(11), std::out_of_range);
    EXPECT_THROW(w.Combo1(5), std::out_of_range);
    EXPECT_EQ(w.Check1(10).Caption, "10");
    EXPECT_EQ(w.Combo1(1).List.size(), 12u);
    EXPECT_EQ(w.Combo1(1).List[8], "43000");
    EXPECT_EQ(w.Tabmain.Tabs.at(6), "使用说明");
}

TEST(Model, UnusedParameterBoxesAreReadOnly) {
    Model w;
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(w.fuction_t2(i).Locked, i <= 3 || i == 10) << i;
        EXPECT_EQ(w.fuction_t3(i).Locked, i <= 6 || i == 10) << i;
        EXPECT_EQ(w.fuction_t1(i).Locked, i == 10) << i;
        EXPECT_EQ(w.fuction_a0(i).Locked, i == 10) << i;
        EXPECT_FALSE(w.fuction_am(i).Locked) << i;
        if (w.fuction_t2(i).Locked) {
            EXPECT_EQ(w.fuction_t2(i).Text, "0");
        }
    }
}

TEST(Model, ManualIsWrappedAtSixtyFourBytes) {
    const std::string& m = ManualText();
    ASSERT_GE(m.size(), 4u);
    EXPECT_EQ(m.substr(0, 2), "\r\n");
    EXPECT_EQ(m.substr(m.size() - 2), "\r\n");
    EXPECT_NE(m.find("第五步："), std::string::npos);
    // Width of every line in the double-byte encoding: ASCII 1, others 2.
    std::size_t pos = 2;
    int lines = 0;
    while (pos < m.size()) {
        std::size_t end = m.find("\r\n", pos);
        std::string line = m.substr(pos, end - pos);
        int width = 0;
        for (std::size_t i = 0; i < line.size();) {
            unsigned char c = static_cast<unsigned char>(line[i]);
            const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
            width += n == 1 ? 1 : 2;
            i += n;
        }
        EXPECT_LE(width, 64) << line;
        ++lines;
        pos = end + 2;
    }
    EXPECT_GT(lines, 10);
}

TEST(Model, ShowInfoPassesTheMessageAndKeepsTheAnswer) {
    testing::Rig r;
    r.w.msgText = "串口未打开!";
    r.w.msgStyle = 22;
    r.w.msgTitle = "串口发送信息";
    r.box.answer = kAnswerTryAgain;
    ShowInfo(r.w);
    ASSERT_EQ(r.box.shown.size(), 1u);
    EXPECT_EQ(r.box.shown[0].text, "串口未打开!");
    EXPECT_EQ(r.w.msgAnswer, kAnswerTryAgain);
}

}  // namespace
}  // namespace kiv
