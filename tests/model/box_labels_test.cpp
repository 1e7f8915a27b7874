#include "model/box_labels.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

// Messages name a box as its page and label show it, never by the form's name.
TEST(BoxLabels, EveryBoxKindByItsPageAndLabel) {
    const struct {
        const char* box;
        const char* label;
    } cases[] = {
        {"sendText1(2)", "发送 page, slot 2"},
        {"sendText1(10)", "发送 page, slot 10"},
        {"autosendtext1", "发送 page, period"},
        {"Check2(3)", "发送 page, noise box of slot 3"},
        {"Combo1(0)", "串口设置 page, 串口 box"},
        {"Combo1(1)", "串口设置 page, 波特率 box"},
        {"Combo1(4)", "串口设置 page, 停止位 box"},
        {"fuction_t1(1)", "正弦波设置 page, sinx1 t1"},
        {"fuction_a0(4)", "矩形波设置 page, squx1 a0"},
        {"fuction_t2(6)", "矩形波设置 page, squx3 t2"},
        {"fuction_t3(9)", "锯齿波设置 page, trix3 t3"},
        {"fuction_am(10)", "噪声设置 page, noise am"},
        {"Check1(5)", "噪声设置 page, slot 5"},
        {"fuction_am(11)", "fuction_am(11)"},
        {"Command7", "Command7"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(BoxLabel(c.box), c.label) << c.box;
}

}  // namespace
}  // namespace kiv
