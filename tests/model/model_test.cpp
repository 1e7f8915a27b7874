#include "model/model.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "fakes.h"
#include "model/messages.h"
#include "model/setup_file.h"
#include "model/signal_table.h"

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

// The serial page's fixed lists as the user sees them, and the parity
// table's two spellings of each entry, both ways.
TEST(Model, SerialPageListsAndParitySpellings) {
    Model w;
    EXPECT_EQ(w.Combo1(kPortBoxPort).List,
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(w.Combo1(kPortBoxParity).List, (std::vector<std::string>{"无", "奇", "偶"}));
    EXPECT_EQ(w.Combo1(kPortBoxStopBits).List, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(w.Label3(kPortBoxCount - 1).Caption, "停止位");
    struct Case {
        const char* word;
        char letter;
        Parity parity;
    };
    for (const Case& c : {Case{"无", 'n', Parity::None}, Case{"奇", 'o', Parity::Odd},
                          Case{"偶", 'e', Parity::Even}}) {
        const ParityName* byWord = FindParityWord(c.word);
        ASSERT_NE(byWord, nullptr) << c.word;
        EXPECT_EQ(byWord->letter, c.letter) << c.word;
        EXPECT_EQ(byWord->parity, c.parity) << c.word;
        const ParityName* byLetter = FindParityLetter(c.letter);
        ASSERT_NE(byLetter, nullptr) << c.letter;
        EXPECT_EQ(byLetter->word, c.word) << c.letter;
    }
    for (const char* word : {"", "n", "N", "无 ", "odd"})
        EXPECT_EQ(FindParityWord(word), nullptr) << word;
    for (char letter : {'N', 'x', '\0', 'E'})
        EXPECT_EQ(FindParityLetter(letter), nullptr) << letter;
}

TEST(Model, UnusedParameterBoxesAreReadOnly) {
    Model w;
    for (int i = 1; i <= kSignalEntryCount; ++i) {
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

// A parameter box has three names: the form's control, its key in setup
// files and on kiv-cli's command line, and its column of the model. All
// three name the same box, and setup files store exactly the boxes the
// window lets a user type into.
TEST(Model, ParameterBoxNamesAgree) {
    const struct {
        ControlArray<TextBox, 1, 10> Model::*column;
        const char* control;
        const char* key;
    } rows[kParamBoxCount] = {
        {&Model::fuction_t1, "fuction_t1", "t1"}, {&Model::fuction_t2, "fuction_t2", "t2"},
        {&Model::fuction_t3, "fuction_t3", "t3"}, {&Model::fuction_am, "fuction_am", "am"},
        {&Model::fuction_a0, "fuction_a0", "a0"},
    };
    Model w;
    for (int box = 0; box < kParamBoxCount; ++box) {
        const auto& row = rows[box];
        SCOPED_TRACE(row.key);
        EXPECT_EQ(&ParamBoxColumn(w, box), &(w.*row.column));
        EXPECT_EQ(kParamBoxControls[static_cast<std::size_t>(box)], row.control);
        EXPECT_EQ(FindParamBox(row.key), box);
        for (int entry = 1; entry <= kSignalEntryCount; ++entry)
            EXPECT_EQ(IsEditableParam(entry, box), !(w.*row.column)(entry).Locked) << entry;
    }
    for (const char* other : {"", "t4", "T1", "fuction_t1", "am "})
        EXPECT_EQ(FindParamBox(other), -1) << other;
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

// The stored wrapping line by line: each line ends where the next character
// would take it past 64 bytes in the double-byte encoding (ASCII one byte,
// everything else two), so some lines end at 63; paragraphs are apart by an
// empty line, and the text begins and ends with a line break.
TEST(Model, ManualBreaksEachLineWhereTheNextCharacterWouldNotFit) {
    const char* const lines[] = {
        "正常启动KIV(Ver1.0)程序后，请按以下步骤使用：",
        "",
        "第一步：设置串口参数并打开串口。选择端口、设置参数、点击“设置完",
        "毕！”、点击“串口打开！”",
        "",
        "第二步：设置发送内容及自动发送周期时间。发送内容以字节为单位,按",
        "发送的先后次序依此添入相应空格（最多10个，内容不足10个时，后面的",
        "空格允许为空）。发送常量，则填写数值（十进制）；发送信号变量，如",
        "正弦波变量，则在空格填写相应信号的名称。例如：sinx*（*为1，2，3",
        "）。各信号变量的特征参数在各信号设置页面里根据需要进行设置,每次",
        "设置完毕后必须点击该页面“设置完毕！”以更新信号变量的特征。自动",
        "发送周期时间以毫秒为单位，须填写数值（十进制）。",
        "",
        "第三步：确定发送设置。当发送内容及发送周期设置完毕，点击“发送”",
        "页面的“设置完毕！”，以更新发送内容及发送周期的设置状态。",
        "",
        "第四步：开始发送。点击“发送”页面的“开始发送！”即可进行数字信",
        "号的发送。发送过程中如果更改发送周期、常量数值、信号变量名称或者",
        "增减了发送字节数量,则必须再次点击“发送”页面的“设置完毕！”，",
        "以更新相关内容。如果只是更改信号变量的特征参数（名称和发送次序未",
        "改变）,则在相应信号设置页面里点击“设置完毕！”即可同步更新信号",
        "变量。",
        "",
        "第五步：如果需要在某发送字节上叠加随机噪声，则选择发送内容格右边",
        "的核取方块（CheckBox）。核取方块里“打勾”表示“选中”，随机噪声",
        "将叠加到对应的发送内容。随机噪声的强弱及叠加对象，在“噪声设置”",
        "页面里设置(叠加对象的控制作用与“发送”页面同)。",
    };
    std::string expected = "\r\n";
    for (const char* line : lines) expected += std::string(line) + "\r\n";
    EXPECT_EQ(ManualText(), expected);
}

// Each way a message reaches the box: as the fields hold it, as one of the
// program's messages, and with a file's problem on a line under it. A
// detail left from an earlier message never reaches a later box.
TEST(Model, MessagesReachTheBoxAsComposed) {
    struct Case {
        const char* name;
        std::function<void(Model&)> show;
        testing::ShownMessage expected;
    };
    const std::vector<Case> cases = {
        {"fields",
         [](Model& w) {
             w.msgText = "串口未打开!";
             w.msgStyle = 22;
             w.msgTitle = "串口发送信息";
             w.msgDetail = "the reason";
             ShowInfo(w);
         },
         {"串口未打开!", 22, "串口发送信息", "the reason"}},
        {"message",
         [](Model& w) { ShowMessage(w, kSendSettingsMessage); },
         {"发送内容设置错误，请修改！", 22, "发送内容信息", ""}},
        {"with a problem",
         [](Model& w) { ShowMessage(w, kSetupNotSavedMessage, "/tmp/x.ini: disk full"); },
         {"设置文件未保存：\n/tmp/x.ini: disk full", 22, "设置文件信息", ""}},
        {"busy load",
         [](Model& w) { ShowMessage(w, kSetupBusyMessage); },
         {"正在发送或串口已打开：请先暂停发送并关闭串口，再载入设置。", 22, "设置文件信息", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::Rig r;
        r.w.msgDetail = "left from before";
        ShowInfo(r.w);
        c.show(r.w);
        ASSERT_EQ(r.box.shown.size(), 2u);
        const testing::ShownMessage& shown = r.box.shown[1];
        EXPECT_EQ(shown.text, c.expected.text);
        EXPECT_EQ(shown.style, c.expected.style);
        EXPECT_EQ(shown.title, c.expected.title);
        EXPECT_EQ(shown.detail, c.expected.detail);
        EXPECT_TRUE(r.w.msgDetail.empty());
    }
}

}  // namespace
}  // namespace kiv
