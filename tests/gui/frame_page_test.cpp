// The frame format page, clicked through as a user does: its boxes, its
// choices, its apply and the line that shows the next frame.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <map>
#include <ostream>

#include "gui/setup_commands.h"
#include "model/frame_format.h"
#include "window_rig.h"

namespace kiv::testing {
namespace {

QLineEdit* Box(const WindowRig& rig, const char* name) {
    return rig.find<QLineEdit>(QString::fromLatin1(name));
}
QComboBox* Choice(const WindowRig& rig, const char* name) {
    return rig.find<QComboBox>(QString::fromLatin1(name));
}
QString LiveLine(const WindowRig& rig) {
    return rig.find<QLabel>(QStringLiteral("frameLayout"))->text();
}

// Picks the entry `entry` with the keyboard, from the top of the list down,
// the way a user steps through a list that takes no typing.
void PickByKeyboard(QComboBox* box, const QString& entry) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < box->count() && box->currentText() != entry; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    ASSERT_EQ(box->currentText(), entry);
}

// The page's apply, clicked, with every message box it opens answered.
std::vector<SeenBox> ClickApply(const WindowRig& rig) {
    BoxAnswerer answerer(QStringLiteral("继续"));
    rig.click(QStringLiteral("Command9"));
    return answerer.seen();
}

struct BadTextCase {
    const char* name;
    const char* box;  // frameHeader or frameTrailer
    const char* text;
};
using kiv::testing::PrintTo;

class FrameBadTextTest : public ::testing::TestWithParam<BadTextCase> {};

// A refused text: the page's one message, and the format in force stays the
// one applied before, choices changed beside the bad text included.
TEST_P(FrameBadTextTest, ShowsThePageMessageAndStoresNothing) {
    const BadTextCase& c = GetParam();
    WindowRig rig;
    rig.selectPage(tab::kFrame);
    TypeInto(Box(rig, "frameHeader"), QStringLiteral("AA 55"));
    ASSERT_TRUE(ClickApply(rig).empty());
    const FrameFormat applied = rig.model.frameFormat;
    ASSERT_EQ(applied.header, (std::vector<std::uint8_t>{0xAA, 0x55}));
    const QString lineBefore = LiveLine(rig);

    PickByKeyboard(Choice(rig, "frameChecksum"), QStringLiteral("crc32"));
    QTest::mouseClick(rig.find<QCheckBox>(QStringLiteral("frameLengthByte")), Qt::LeftButton);
    TypeInto(Box(rig, c.box), QString::fromUtf8(c.text));
    const std::vector<SeenBox> seen = ClickApply(rig);

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, QStringLiteral("帧格式设置信息"));
    EXPECT_EQ(seen[0].text, QStringLiteral("帧格式设置错误，请修改！"));
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);
    for (const char* button : {"取消", "重试", "继续"})
        EXPECT_TRUE(seen[0].buttons.contains(QString::fromUtf8(button))) << button;
    EXPECT_TRUE(seen[0].detail.contains(QString::fromLatin1(c.box)))
        << seen[0].detail.toStdString();
    EXPECT_EQ(rig.model.frameFormat, applied);
    EXPECT_EQ(LiveLine(rig), lineBefore);
    // The boxes keep what the user typed and picked, for mending.
    EXPECT_EQ(Box(rig, c.box)->text(), QString::fromUtf8(c.text));
    EXPECT_EQ(Choice(rig, "frameChecksum")->currentText(), QStringLiteral("crc32"));
}

INSTANTIATE_TEST_SUITE_P(
    HeaderAndTrailer, FrameBadTextTest,
    ::testing::Values(BadTextCase{"HeaderNotHex", "frameHeader", "AA 5G"},
                      BadTextCase{"HeaderThreeDigits", "frameHeader", "AAA"},
                      BadTextCase{"HeaderNineBytes", "frameHeader", "1 2 3 4 5 6 7 8 9"},
                      BadTextCase{"HeaderSemicolon", "frameHeader", "AA;55"},
                      BadTextCase{"TrailerBarePrefix", "frameTrailer", "0D 0x"},
                      BadTextCase{"TrailerNineBytes", "frameTrailer",
                                  "0D,0A,0D,0A,0D,0A,0D,0A,0D"}),
    CaseName<BadTextCase>);

// The send page's slots 0, 10, 0, 2 behind the header 01 03 and a
// CRC-16/MODBUS make the Modbus request "read two registers from 10".
TEST(FramePageTest, TheModbusRequestShowsInTheLiveLine) {
    WindowRig rig;
    rig.selectPage(tab::kSend);
    const char* const slotTexts[] = {"0", "10", "0", "2"};
    for (int slot = 1; slot <= 4; ++slot)
        TypeInto(rig.find<QLineEdit>(ControlName("sendText1", slot)),
                 QString::fromLatin1(slotTexts[slot - 1]));
    {
        BoxAnswerer answerer(QStringLiteral("继续"));
        rig.click(QStringLiteral("Command7"));
        ASSERT_TRUE(answerer.seen().empty());
    }
    ASSERT_EQ(rig.model.slotCount, 4);

    rig.selectPage(tab::kFrame);
    EXPECT_EQ(LiveLine(rig), QStringLiteral("4 个槽：00 0A 00 02")) << "the format is still off";
    TypeInto(Box(rig, "frameHeader"), QStringLiteral("0x01,0x03"));
    // A CRC picked after another order takes its own receivers' order.
    PickByKeyboard(Choice(rig, "frameChecksumOrder"), QStringLiteral("高字节在前"));
    PickByKeyboard(Choice(rig, "frameChecksum"), QStringLiteral("crc16-modbus"));
    EXPECT_EQ(Choice(rig, "frameChecksumOrder")->currentText(), QStringLiteral("低字节在前"));
    // Nothing is in force before the apply.
    EXPECT_TRUE(rig.model.frameFormat.Off());
    ASSERT_TRUE(ClickApply(rig).empty());

    EXPECT_EQ(rig.model.frameFormat.checksum, Checksum::Crc16Modbus);
    EXPECT_EQ(rig.model.frameFormat.checksumOrder, ByteOrder::Le);
    EXPECT_EQ(LiveLine(rig),
              QStringLiteral("01 03 | 4 个槽 | crc16-modbus 低字节在前：01 03 00 0A 00 02 E4 09"));
    // The typed header is shown back the way the page writes bytes.
    EXPECT_EQ(Box(rig, "frameHeader")->text(), QStringLiteral("0x01,0x03"));

    // The other byte order, chosen by hand, swaps the CRC's two bytes.
    PickByKeyboard(Choice(rig, "frameChecksumOrder"), QStringLiteral("高字节在前"));
    ASSERT_TRUE(ClickApply(rig).empty());
    EXPECT_TRUE(LiveLine(rig).endsWith(QStringLiteral("：01 03 00 0A 00 02 09 E4")))
        << LiveLine(rig).toStdString();
}

// While sending with the page in front, the line follows the count: what it
// shows at each look is, byte for byte, the frame the loop writes next (its
// counter, its sine values and the checksum over them).
TEST(FramePageTest, TheLiveLineShowsTheNextFrameWhileSending) {
    WindowRig rig;
    rig.selectPage(tab::kSend);
    rig.click(QStringLiteral("Command7"));  // the start-up slots: 5, 6, sinx1, sinx2
    rig.selectPage(tab::kFrame);
    TypeInto(Box(rig, "frameHeader"), QStringLiteral("AA 55"));
    PickByKeyboard(Choice(rig, "frameCounter"), QStringLiteral("8 位"));
    QTest::mouseClick(rig.find<QCheckBox>(QStringLiteral("frameLengthByte")), Qt::LeftButton);
    PickByKeyboard(Choice(rig, "frameChecksum"), QStringLiteral("xor8"));
    TypeInto(Box(rig, "frameTrailer"), QStringLiteral("0D 0A"));
    ASSERT_TRUE(ClickApply(rig).empty());
    const FrameFormat format = rig.model.frameFormat;
    const FrameParts parts = PartsOf(format, 4);
    ASSERT_EQ(parts.Total(), 2 + 1 + 1 + 4 + 1 + 2);
    rig.selectPage(tab::kSerial);
    QTest::mouseClick(rig.find<QRadioButton>(QStringLiteral("Optionopen")), Qt::LeftButton);
    ASSERT_TRUE(rig.port.open);
    rig.selectPage(tab::kSend);

    // The line as seen at each look, by the count of the frame it foretells.
    std::map<int, QString> seen;
    bool onPage = false;
    Repeater watch(
        [&] {
            if (!onPage) {
                if (rig.port.frames.empty()) return false;
                rig.selectPage(tab::kFrame);
                onPage = true;
                return false;
            }
            seen.emplace(rig.model.sendCount, LiveLine(rig));
            if (seen.size() < 6) return false;
            rig.selectPage(tab::kSend);
            rig.click(QStringLiteral("pausesend"));
            return true;
        },
        [&] { rig.model.isSending = false; });
    rig.click(QStringLiteral("starsend"));
    ASSERT_FALSE(watch.gaveUp()) << "the line followed no frames";

    // The pause may come before the last look's frame is written.
    int compared = 0;
    for (const auto& [count, line] : seen) {
        SCOPED_TRACE(count);
        if (static_cast<std::size_t>(count) >= rig.port.frames.size()) continue;
        ++compared;
        const std::vector<std::uint8_t>& sent = rig.port.frames[static_cast<std::size_t>(count)];
        ASSERT_EQ(static_cast<int>(sent.size()), parts.Total());
        EXPECT_EQ(sent[static_cast<std::size_t>(parts.header)], static_cast<std::uint8_t>(count))
            << "the counter";
        const QString bytes = QString::fromStdString(ByteListText(sent));
        EXPECT_TRUE(line.endsWith(QStringLiteral("：") + bytes)) << line.toStdString();
    }
    EXPECT_GE(compared, 5);
}

// The page applied while the window sends: every frame before the click is
// the slots alone, every frame after it is whole in the new format, and the
// loop goes on sending.
TEST(FramePageTest, AnApplyWhileSendingChangesTheNextFrameWhole) {
    WindowRig rig;
    rig.selectPage(tab::kSend);
    rig.click(QStringLiteral("Command7"));
    rig.selectPage(tab::kSerial);
    QTest::mouseClick(rig.find<QRadioButton>(QStringLiteral("Optionopen")), Qt::LeftButton);
    ASSERT_TRUE(rig.port.open);
    rig.selectPage(tab::kSend);

    std::size_t framesBefore = 0;
    std::vector<SeenBox> boxes;
    Repeater change(
        [&] {
            if (framesBefore == 0) {
                if (rig.port.frames.size() < 3) return false;
                rig.selectPage(tab::kFrame);
                TypeInto(Box(rig, "frameHeader"), QStringLiteral("AA 55"));
                PickByKeyboard(Choice(rig, "frameChecksum"), QStringLiteral("xor8"));
                framesBefore = rig.port.frames.size();
                boxes = ClickApply(rig);
                return false;
            }
            if (rig.port.frames.size() < framesBefore + 3) return false;
            rig.selectPage(tab::kSend);
            rig.click(QStringLiteral("pausesend"));
            return true;
        },
        [&] { rig.model.isSending = false; });
    rig.click(QStringLiteral("starsend"));
    ASSERT_FALSE(change.gaveUp()) << "the loop did not go on after the apply";
    EXPECT_TRUE(boxes.empty());

    for (std::size_t i = 0; i < rig.port.frames.size(); ++i) {
        SCOPED_TRACE(i);
        const std::vector<std::uint8_t>& frame = rig.port.frames[i];
        if (i < framesBefore) {
            ASSERT_EQ(frame.size(), 4u);
            EXPECT_EQ(frame[0], 5);
            continue;
        }
        ASSERT_EQ(frame.size(), 2u + 4u + 1u);
        EXPECT_EQ(frame[0], 0xAA);
        EXPECT_EQ(frame[1], 0x55);
        EXPECT_EQ(frame[2], 5);
        std::uint8_t x = 0;
        for (std::size_t k = 0; k + 1 < frame.size(); ++k) x ^= frame[k];
        EXPECT_EQ(frame.back(), x) << "the xor of every byte before it";
    }
}

// A setup saved from one window gives another the same page, the same
// format in force and so the same line.
TEST(FramePageTest, ASetupCarriesThePageIntoAnotherWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("frame.ini"));
    FrameFormat applied;
    QString line;
    {
        WindowRig first;
        first.selectPage(tab::kSend);
        first.click(QStringLiteral("Command7"));
        first.selectPage(tab::kFrame);
        TypeInto(Box(first, "frameHeader"), QStringLiteral("0xAA,0x55"));
        PickByKeyboard(Choice(first, "frameCounter"), QStringLiteral("16 位 高字节在前"));
        QTest::mouseClick(first.find<QCheckBox>(QStringLiteral("frameLengthByte")), Qt::LeftButton);
        PickByKeyboard(Choice(first, "frameChecksum"), QStringLiteral("crc16-ccitt-false"));
        PickByKeyboard(Choice(first, "frameChecksumFrom"), QStringLiteral("从帧头之后"));
        TypeInto(Box(first, "frameTrailer"), QStringLiteral("0D 0A"));
        ASSERT_TRUE(ClickApply(first).empty());
        applied = first.model.frameFormat;
        line = LiveLine(first);
        ASSERT_TRUE(first.window->setups()->save(file));
    }

    WindowRig second;
    BoxAnswerer answerer(QStringLiteral("继续"));
    ASSERT_TRUE(second.window->setups()->load(file));
    EXPECT_TRUE(answerer.seen().empty());
    EXPECT_EQ(second.model.frameFormat, applied);
    EXPECT_EQ(LiveLine(second), line);
    EXPECT_EQ(Box(second, "frameHeader")->text(), QStringLiteral("0xAA,0x55"));
    EXPECT_EQ(Choice(second, "frameCounter")->currentText(), QStringLiteral("16 位 高字节在前"));
    EXPECT_TRUE(second.find<QCheckBox>(QStringLiteral("frameLengthByte"))->isChecked());
    EXPECT_EQ(Choice(second, "frameChecksum")->currentText(), QStringLiteral("crc16-ccitt-false"));
    EXPECT_EQ(Choice(second, "frameChecksumOrder")->currentText(), QStringLiteral("高字节在前"));
    EXPECT_EQ(Choice(second, "frameChecksumFrom")->currentText(), QStringLiteral("从帧头之后"));
    EXPECT_EQ(Box(second, "frameTrailer")->text(), QStringLiteral("0D 0A"));
}

}  // namespace
}  // namespace kiv::testing
