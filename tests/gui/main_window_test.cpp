#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLCDNumber>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionTab>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <ostream>

#include "gui/lamp_widget.h"
#include "gui/tally_display.h"
#include "gui/wave_picture.h"
#include "window_rig.h"

namespace kiv::testing {
namespace {

// The lamp paints the model's 0x00BBGGRR colour: red in the low byte.
TEST(LampWidgetTest, PaintsTheModelsColourRedInTheLowByte) {
    const struct {
        std::uint32_t bgr;
        QColor shown;
    } cases[] = {
        {0x000000FF, QColor(255, 0, 0)}, {0x0000FF00, QColor(0, 255, 0)},
        {0x00FF0000, QColor(0, 0, 255)}, {0x0080C0FF, QColor(255, 192, 128)},
        {0x00000000, QColor(0, 0, 0)},
    };
    LampWidget lamp;
    for (const auto& c : cases) {
        lamp.setBackColor(c.bgr);
        EXPECT_EQ(lamp.color(), c.shown) << std::hex << c.bgr;
    }
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Enabled by its own setting, whatever the page around it says.
bool OwnEnabled(const QWidget* w) {
    return !w->testAttribute(Qt::WA_ForceDisabled);
}

const QColor kBlackColour(0, 0, 0);
const QColor kGreenColour(0, 128, 0);

TEST(MainWindowTest, EveryControlHasAWidgetShowingItsModelState) {
    WindowRig rig;
    const Model& m = rig.model;

    std::vector<std::pair<QString, const TextBox*>> texts = {{"autosendtext1", &m.autosendtext1},
                                                             {"frameHeader", &m.frameHeader},
                                                             {"frameTrailer", &m.frameTrailer}};
    for (int i = 1; i <= 10; ++i) {
        texts.emplace_back(ControlName("sendText1", i), &m.sendText1(i));
        texts.emplace_back(ControlName("fuction_t1", i), &m.fuction_t1(i));
        texts.emplace_back(ControlName("fuction_t2", i), &m.fuction_t2(i));
        texts.emplace_back(ControlName("fuction_t3", i), &m.fuction_t3(i));
        texts.emplace_back(ControlName("fuction_am", i), &m.fuction_am(i));
        texts.emplace_back(ControlName("fuction_a0", i), &m.fuction_a0(i));
    }
    for (const auto& [name, box] : texts) {
        SCOPED_TRACE(name.toStdString());
        auto* edit = rig.find<QLineEdit>(name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), Q(box->Text));
        EXPECT_EQ(edit->isReadOnly(), box->Locked);
        EXPECT_EQ(OwnEnabled(edit), box->Enabled);
    }

    std::vector<std::pair<QString, const CheckBox*>> checks = {
        {"frameLengthByte", &m.frameLengthByte}};
    for (int i = 1; i <= 10; ++i) {
        checks.emplace_back(ControlName("Check1", i), &m.Check1(i));
        checks.emplace_back(ControlName("Check2", i), &m.Check2(i));
    }
    for (const auto& [name, box] : checks) {
        SCOPED_TRACE(name.toStdString());
        auto* check = rig.find<QCheckBox>(name);
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->isChecked(), box->Value != 0);
        EXPECT_EQ(check->text(), Q(box->Caption));
        EXPECT_EQ(OwnEnabled(check), box->Enabled);
    }

    const std::vector<std::pair<QString, const CommandButton*>> buttons = {
        {"Command1", &m.Command1},   {"Command2", &m.Command2}, {"Command3", &m.Command3},
        {"Command4", &m.Command4},   {"Command5", &m.Command5}, {"Command6", &m.Command6},
        {"Command7", &m.Command7},   {"Command8", &m.Command8}, {"starsend", &m.starsend},
        {"pausesend", &m.pausesend}, {"Command9", &m.Command9}};
    for (const auto& [name, button] : buttons) {
        SCOPED_TRACE(name.toStdString());
        auto* widget = rig.find<QPushButton>(name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->text(), Q(button->Caption));
        EXPECT_EQ(OwnEnabled(widget), button->Enabled);
    }
    // Start-up leaves the send buttons disabled until the send page is applied.
    EXPECT_FALSE(OwnEnabled(rig.find<QPushButton>("starsend")));

    for (const auto& [name, option] : {std::pair{QString("Optionopen"), &m.Optionopen},
                                       std::pair{QString("Optionclose"), &m.Optionclose}}) {
        SCOPED_TRACE(name.toStdString());
        auto* radio = rig.find<QRadioButton>(name);
        ASSERT_NE(radio, nullptr);
        EXPECT_EQ(radio->isChecked(), option->Value);
        EXPECT_EQ(radio->text(), Q(option->Caption));
        EXPECT_EQ(OwnEnabled(radio), option->Enabled);
    }

    std::vector<std::pair<QString, std::string>> labels = {
        {"Label53", m.Label53.Caption},        {"Label54", m.Label54.Caption},
        {"Label2", m.Label2.Caption},          {"Label49", m.Label49.Caption},
        {"Label50", m.Label50.Caption},        {"noiseTargetsLabel", m.noiseTargetsLabel.Caption},
        {"frameLayout", m.frameLayout.Caption}};
    for (int i = 0; i <= 9; ++i) labels.emplace_back(ControlName("Label1", i), m.Label1(i).Caption);
    for (int i = 0; i <= 4; ++i) labels.emplace_back(ControlName("Label3", i), m.Label3(i).Caption);
    for (std::size_t i = 0; i < m.sineNotes.size(); ++i)
        labels.emplace_back(ControlName("sineNotes", static_cast<int>(i)), m.sineNotes[i]);
    for (std::size_t i = 0; i < m.sawtoothNotes.size(); ++i)
        labels.emplace_back(ControlName("sawtoothNotes", static_cast<int>(i)), m.sawtoothNotes[i]);
    for (const auto& [name, caption] : labels) {
        SCOPED_TRACE(name.toStdString());
        auto* label = rig.find<QLabel>(name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), Q(caption));
    }

    for (int i = 0; i <= 4; ++i) {
        SCOPED_TRACE(i);
        auto* combo = rig.find<QComboBox>(ControlName("Combo1", i));
        ASSERT_NE(combo, nullptr);
        const ComboBox& box = m.Combo1(i);
        ASSERT_EQ(combo->count(), static_cast<int>(box.List.size()));
        for (int k = 0; k < combo->count(); ++k)
            EXPECT_EQ(combo->itemText(k), Q(box.List[static_cast<std::size_t>(k)]));
        EXPECT_EQ(combo->currentIndex(), box.ListIndex);
        EXPECT_EQ(combo->currentText(), Q(box.Text));
        EXPECT_TRUE(combo->isEditable());
    }
    // The frame page's choices take picks only.
    for (const auto& [name, box] :
         {std::pair{QString("frameCounter"), &m.frameCounter},
          std::pair{QString("frameChecksum"), &m.frameChecksum},
          std::pair{QString("frameChecksumOrder"), &m.frameChecksumOrder},
          std::pair{QString("frameChecksumFrom"), &m.frameChecksumFrom}}) {
        SCOPED_TRACE(name.toStdString());
        auto* combo = rig.find<QComboBox>(name);
        ASSERT_NE(combo, nullptr);
        ASSERT_EQ(combo->count(), static_cast<int>(box->List.size()));
        for (int k = 0; k < combo->count(); ++k)
            EXPECT_EQ(combo->itemText(k), Q(box->List[static_cast<std::size_t>(k)]));
        EXPECT_EQ(combo->currentIndex(), box->ListIndex);
        EXPECT_EQ(combo->currentText(), Q(box->Text));
        EXPECT_FALSE(combo->isEditable());
    }

    for (int i = 0; i <= 1; ++i) {
        auto* lamp = rig.find<LampWidget>(ControlName("Shape1", i));
        ASSERT_NE(lamp, nullptr);
        EXPECT_EQ(lamp->color(), ColorFromBgr(m.Shape1(i).BackColor));
    }
    auto* tally = rig.find<TallyDisplay>("Tally1");
    ASSERT_NE(tally, nullptr);
    EXPECT_EQ(tally->digitCount(), 6);
    EXPECT_EQ(tally->value(), m.Tally1.Value);
    EXPECT_EQ(tally->intValue(), m.Tally1.Value);

    auto* tabs = rig.find<QTabWidget>("Tabmain");
    ASSERT_NE(tabs, nullptr);
    // The program's pages in their order, the frame format last of them,
    // then the line monitor.
    ASSERT_EQ(tabs->count(), tab::kMonitor + 1);
    for (int i = 0; i < kProgramPageCount; ++i) {
        EXPECT_EQ(tabs->tabText(i), Q(m.Tabmain.Tabs[static_cast<std::size_t>(i)]));
        EXPECT_EQ(tabs->widget(i), rig.find<QWidget>(ControlName("tabpage", i)));
    }
    EXPECT_EQ(tabs->tabText(tab::kFrame), QStringLiteral("帧格式"));
    EXPECT_EQ(tabs->tabText(tab::kMonitor), QStringLiteral("线路监视"));
    EXPECT_EQ(tabs->widget(tab::kMonitor), rig.find<QWidget>(QStringLiteral("lineMonitor")));
    EXPECT_TRUE(tabs->widget(tab::kFrame)->isAncestorOf(rig.find<QWidget>("Command9")));

    auto* manual = rig.find<QPlainTextEdit>("Text2");
    ASSERT_NE(manual, nullptr);
    EXPECT_TRUE(manual->isReadOnly());
    EXPECT_EQ(manual->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(manual->toPlainText(), Q(m.Text2.Text).replace("\r\n", "\n"));
    EXPECT_EQ(rig.window->windowTitle(), Q(m.Caption));
}

// Every caption of the tab strip stands whole inside the fixed window, the
// last one ("线路监视") included: the caption's strokes, drawn centred in the
// style's text area of its tab, keep clear of both edges of the tab (where
// the next tab's border is drawn), and every tab lies inside the part of the
// strip the window shows. The type may shrink a little for it, never below
// 80%.
TEST(MainWindowTest, EveryTabCaptionIsLegibleAtTheFixedSize) {
    WindowRig rig;
    MainWindow& window = *rig.window;
    ASSERT_EQ(window.size(), window.maximumSize());
    QTabWidget* tabs = window.tabs();
    QTabBar* bar = tabs->tabBar();
    ASSERT_EQ(bar->count(), tab::kMonitor + 1);
    ASSERT_EQ(bar->tabText(tab::kMonitor), QStringLiteral("线路监视"));
    window.layout()->activate();

    constexpr int kClearance = 3;  // pixels between a caption and its tab's edge
    const auto inWindow = [&window](const QWidget* w, const QRect& r) {
        return QRect(w->mapTo(&window, r.topLeft()), r.size());
    };
    const QRect shown = inWindow(bar, bar->rect()) & inWindow(tabs, tabs->rect()) & window.rect();
    const QFontMetrics fm = bar->fontMetrics();
    for (int i = 0; i < bar->count(); ++i) {
        SCOPED_TRACE(bar->tabText(i).toStdString());
        QStyleOptionTab option;
        option.initFrom(bar);
        option.rect = bar->tabRect(i);
        option.text = bar->tabText(i);
        option.shape = bar->shape();
        const QRect area = bar->style()->subElementRect(QStyle::SE_TabBarTabText, &option, bar);
        const int advance = fm.horizontalAdvance(option.text);
        EXPECT_GE(area.width(), advance) << "the caption is squeezed";
        const int origin = area.left() + (area.width() - advance) / 2;
        const QRect ink = fm.boundingRect(option.text).translated(origin, 0);
        EXPECT_GE(ink.left() - option.rect.left(), kClearance)
            << "tab " << i << " spans " << option.rect.left() << ".." << option.rect.right()
            << ", its caption " << ink.left() << ".." << ink.right();
        EXPECT_GE(option.rect.right() - ink.right(), kClearance)
            << "tab " << i << " spans " << option.rect.left() << ".." << option.rect.right()
            << ", its caption " << ink.left() << ".." << ink.right();
        EXPECT_TRUE(shown.contains(inWindow(bar, option.rect)))
            << "tab " << i << " ends at " << inWindow(bar, option.rect).right()
            << ", the strip is shown up to " << shown.right();
    }
    EXPECT_GE(bar->font().pointSizeF(), QApplication::font(bar).pointSizeF() * 0.8);
}

TEST(MainWindowTest, SelectingATabEnablesOnlyThatPage) {
    WindowRig rig;
    auto* tabs = rig.window->tabs();
    // Right after start-up only the send page can be used.
    for (int i = 0; i < kProgramPageCount; ++i)
        EXPECT_EQ(tabs->widget(i)->isEnabled(), i == 0) << i;

    for (int selected : {3, 0, 6, 7, 1, 5, 2, 4, 7, 0}) {
        SCOPED_TRACE(selected);
        rig.selectPage(selected);
        EXPECT_EQ(tabs->currentIndex(), selected);
        EXPECT_EQ(FrontPage(rig.model), selected);
        for (int i = 0; i < kProgramPageCount; ++i) {
            EXPECT_EQ(rig.model.tabpage(i).Enabled, i == selected) << i;
            EXPECT_EQ(tabs->widget(i)->isEnabled(), i == selected) << i;
        }
    }
    // A control of a page behind the front one takes no input.
    EXPECT_FALSE(rig.find<QPushButton>("Command2")->isEnabled());
    EXPECT_FALSE(rig.find<QPushButton>("Command9")->isEnabled());
}

using ParameterColumn = ControlArray<TextBox, 1, 10> Model::*;

struct BadParameterCase {
    const char* name;
    int page;
    ParameterColumn column;
    const char* columnName;
    int entry;
    const char* text;
    const char* apply;
};
using kiv::testing::PrintTo;

class BadParameterTest : public ::testing::TestWithParam<BadParameterCase> {};

TEST_P(BadParameterTest, ShowsTheSignalMessageAndKeepsTheStore) {
    const BadParameterCase& c = GetParam();
    WindowRig rig;
    rig.selectPage(c.page);
    const QString name = ControlName(c.columnName, c.entry);
    TypeInto(rig.find<QLineEdit>(name), QString::fromUtf8(c.text));
    // The text is in the model at once, before any button is pressed.
    EXPECT_EQ((rig.model.*c.column)(c.entry).Text, c.text);

    const auto before = rig.model.signalParams;
    BoxAnswerer answerer(QStringLiteral("继续"));
    QTest::mouseClick(rig.find<QPushButton>(c.apply), Qt::LeftButton);

    ASSERT_EQ(answerer.seen().size(), 1u);
    const SeenBox& seen = answerer.seen().front();
    EXPECT_EQ(seen.title, QStringLiteral("信号设置信息"));
    EXPECT_EQ(seen.text, QStringLiteral("信号设置错误，请修改！"));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(rig.model.signalParams, before);
    // The box still shows what the user typed.
    EXPECT_EQ(rig.find<QLineEdit>(name)->text(), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    EverySignalPage, BadParameterTest,
    ::testing::Values(
        BadParameterCase{"SineLetters", 2, &Model::fuction_t1, "fuction_t1", 1, "abc", "Command2"},
        BadParameterCase{"RectangleAmAbove255", 3, &Model::fuction_am, "fuction_am", 4, "256",
                         "Command3"},
        BadParameterCase{"SawtoothEmptyA0", 4, &Model::fuction_a0, "fuction_a0", 9, "", "Command4"},
        BadParameterCase{"NoiseNegativeAm", 5, &Model::fuction_am, "fuction_am", 10, "-1",
                         "Command6"}),
    CaseName<BadParameterCase>);

TEST(MainWindowTest, AppliedParametersReachTheStoreAndTheIllustration) {
    WindowRig rig;
    rig.selectPage(2);
    auto* picture = rig.find<WavePicture>(ControlName("picture", 2));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->name(), QStringLiteral("sinx1"));
    EXPECT_EQ(picture->params(), rig.model.signalParams(1));

    // Working in the sinx2 row turns the picture to sinx2; what it draws is
    // the store, so the typed period shows only after the apply.
    TypeInto(rig.find<QLineEdit>("fuction_t1(2)"), "200");
    EXPECT_EQ(picture->name(), QStringLiteral("sinx2"));
    EXPECT_EQ(picture->params().t1, 500);

    BoxAnswerer answerer(QStringLiteral("继续"));
    QTest::mouseClick(rig.find<QPushButton>("Command2"), Qt::LeftButton);
    EXPECT_TRUE(answerer.seen().empty());
    EXPECT_EQ(rig.model.signalParams(2).t1, 200);
    EXPECT_EQ(rig.model.signalParams(2).cycle, 200);
    EXPECT_EQ(picture->params(), rig.model.signalParams(2));
}

struct MirrorCase {
    const char* name;
    int clickedPage;
    const char* clicked;
    const char* mirror;
};
class NoiseMirrorTest : public ::testing::TestWithParam<MirrorCase> {};

TEST_P(NoiseMirrorTest, TickingOneRowTicksTheOther) {
    const MirrorCase& c = GetParam();
    WindowRig rig;
    rig.selectPage(c.clickedPage);
    auto* clicked = rig.find<QCheckBox>(c.clicked);
    auto* mirror = rig.find<QCheckBox>(c.mirror);
    ASSERT_NE(clicked, nullptr);
    ASSERT_NE(mirror, nullptr);

    QTest::mouseClick(clicked, Qt::LeftButton);
    EXPECT_TRUE(clicked->isChecked());
    EXPECT_TRUE(mirror->isChecked());
    int ticked = 0;
    for (int i = 1; i <= 10; ++i) {
        ticked += rig.model.Check1(i).Value + rig.model.Check2(i).Value;
        EXPECT_EQ(rig.find<QCheckBox>(ControlName("Check1", i))->isChecked(),
                  rig.model.Check1(i).Value == 1);
        EXPECT_EQ(rig.find<QCheckBox>(ControlName("Check2", i))->isChecked(),
                  rig.model.Check2(i).Value == 1);
    }
    EXPECT_EQ(ticked, 2) << "only the clicked box and its mirror";

    QTest::mouseClick(clicked, Qt::LeftButton);
    EXPECT_FALSE(clicked->isChecked());
    EXPECT_FALSE(mirror->isChecked());
}

INSTANTIATE_TEST_SUITE_P(BothRows, NoiseMirrorTest,
                         ::testing::Values(MirrorCase{"SendRow3", 0, "Check2(3)", "Check1(3)"},
                                           MirrorCase{"NoiseRow7", 5, "Check1(7)", "Check2(7)"},
                                           MirrorCase{"SendRow10", 0, "Check2(10)", "Check1(10)"}),
                         CaseName<MirrorCase>);

struct ComboCase {
    const char* name;
    const char* typed;  // nullptr: pick the next entry with the arrow key
    int listIndex;
    const char* text;
    bool optionsEnabled;
};
class ComboInputTest : public ::testing::TestWithParam<ComboCase> {};

TEST_P(ComboInputTest, OnlyAPickGivesAListPosition) {
    const ComboCase& c = GetParam();
    WindowRig rig;
    rig.selectPage(1);
    auto* baud = rig.find<QComboBox>("Combo1(1)");
    ASSERT_NE(baud, nullptr);
    ASSERT_EQ(rig.model.Combo1(1).ListIndex, 5);

    if (c.typed == nullptr) {
        baud->setFocus();
        QTest::keyClick(baud, Qt::Key_Down);
    } else {
        TypeInto(baud->lineEdit(), QString::fromUtf8(c.typed));
        QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
        rig.find<QComboBox>("Combo1(0)")->setFocus();  // editing finishes
        QApplication::processEvents();
    }

    EXPECT_EQ(rig.model.Combo1(1).ListIndex, c.listIndex);
    EXPECT_EQ(rig.model.Combo1(1).Text, c.text);
    EXPECT_EQ(baud->currentText(), QString::fromUtf8(c.text));
    // A pick disables both options until the next apply; typing is no pick.
    EXPECT_EQ(rig.find<QRadioButton>("Optionopen")->isEnabled(), c.optionsEnabled);
    EXPECT_EQ(rig.find<QRadioButton>("Optionclose")->isEnabled(), c.optionsEnabled);
}

INSTANTIATE_TEST_SUITE_P(PickAndType, ComboInputTest,
                         ::testing::Values(ComboCase{"Pick", nullptr, 6, "19200", false},
                                           ComboCase{"TypeOwnText", "4800x", -1, "4800x", true},
                                           ComboCase{"TypeAnEntrysText", "115200", -1, "115200",
                                                     true}),
                         CaseName<ComboCase>);

struct OpenCase {
    const char* name;
    bool refuse;
    bool opened;
    std::size_t messages;
};
class PortOpenTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(PortOpenTest, SelectingOpenShowsTheResultingLook) {
    const OpenCase& c = GetParam();
    WindowRig rig;
    rig.port.failOpen = c.refuse;
    rig.selectPage(1);

    BoxAnswerer answerer(QStringLiteral("取消"));
    bool closedLookUnderTheBox = false;
    answerer.onBox = [&] {
        closedLookUnderTheBox = rig.find<QRadioButton>("Optionclose")->isChecked() &&
                                !rig.find<QRadioButton>("Optionopen")->isChecked() &&
                                rig.find<LampWidget>("Shape1(0)")->color() == kBlackColour;
    };
    QTest::mouseClick(rig.find<QRadioButton>("Optionopen"), Qt::LeftButton);

    ASSERT_EQ(answerer.seen().size(), c.messages);
    if (c.messages > 0) {
        EXPECT_EQ(answerer.seen().front().title, QStringLiteral("串口设置信息"));
        EXPECT_EQ(answerer.seen().front().text, QStringLiteral("串口设置有误或者已被占用!"));
        EXPECT_EQ(answerer.seen().front().icon, QMessageBox::Critical);
        // The reason unfolds under the message; the window behind the box
        // already shows the closed look, not the click that failed.
        EXPECT_EQ(answerer.seen().front().detail, QStringLiteral("device missing"));
        EXPECT_TRUE(closedLookUnderTheBox);
    }
    EXPECT_EQ(rig.port.open, c.opened);
    EXPECT_EQ(rig.find<QRadioButton>("Optionopen")->isChecked(), c.opened);
    EXPECT_EQ(rig.find<QRadioButton>("Optionclose")->isChecked(), !c.opened);
    const QColor lamp = c.opened ? kGreenColour : kBlackColour;
    EXPECT_EQ(rig.find<LampWidget>("Shape1(0)")->color(), lamp);
    EXPECT_EQ(rig.find<LampWidget>("Shape1(1)")->color(), lamp);
    EXPECT_EQ(rig.find<QLabel>("Label50")->text(), c.opened
                                                       ? QStringLiteral("COM1,9600,无,8,1,OPEN!")
                                                       : QStringLiteral("COM1,9600,无,8,1,CLOSE!"));
    EXPECT_EQ(OwnEnabled(rig.find<QPushButton>("Command1")), !c.opened);
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(OwnEnabled(rig.find<QComboBox>(ControlName("Combo1", i))), !c.opened);
}

INSTANTIATE_TEST_SUITE_P(OpenAndRefused, PortOpenTest,
                         ::testing::Values(OpenCase{"Opens", false, true, 0},
                                           OpenCase{"Refused", true, false, 1}),
                         CaseName<OpenCase>);

// Applies the send page and opens the port, the steps before sending.
void PrepareToSend(WindowRig& rig) {
    rig.selectPage(0);
    QTest::mouseClick(rig.find<QPushButton>("Command7"), Qt::LeftButton);
    rig.selectPage(1);
    QTest::mouseClick(rig.find<QRadioButton>("Optionopen"), Qt::LeftButton);
    rig.selectPage(0);
    ASSERT_TRUE(rig.port.open);
    ASSERT_TRUE(rig.find<QPushButton>("starsend")->isEnabled());
}

TEST(MainWindowSendingTest, TheWindowFollowsTheLoopAndPauseEndsIt) {
    WindowRig rig;
    PrepareToSend(rig);
    auto* tally = rig.find<TallyDisplay>("Tally1");
    int shownWhenPaused = -1;
    int countWhenPaused = -1;
    Repeater pause(
        [&] {
            if (rig.port.frames.size() < 5) return false;
            // Read inside the running loop: the display already follows it.
            shownWhenPaused = tally->value();
            countWhenPaused = rig.model.Tally1.Value;
            QTest::mouseClick(rig.find<QPushButton>("pausesend"), Qt::LeftButton);
            return true;
        },
        [&] { rig.model.isSending = false; });

    QTest::mouseClick(rig.find<QPushButton>("starsend"), Qt::LeftButton);

    ASSERT_FALSE(pause.gaveUp()) << "the loop sent no frames";
    EXPECT_EQ(shownWhenPaused, countWhenPaused);
    EXPECT_GE(countWhenPaused, 5);
    // The cycle under way when pause came still wrote its frame.
    EXPECT_EQ(rig.port.frames.size(), static_cast<std::size_t>(rig.model.sendCount));
    EXPECT_EQ(tally->value(), rig.model.sendCount);
    // The digits catch up with the last count once the loop is over.
    for (int i = 0; i < 400 && tally->intValue() != rig.model.sendCount; ++i) QTest::qWait(5);
    EXPECT_EQ(tally->intValue(), rig.model.sendCount);
    for (const auto& frame : rig.port.frames) {
        ASSERT_EQ(frame.size(), 4u);
        EXPECT_EQ(frame[0], 5);
        EXPECT_EQ(frame[1], 6);
    }
    EXPECT_EQ(rig.find<LampWidget>("Shape1(1)")->color(), kGreenColour);
    EXPECT_TRUE(rig.port.open);
}

TEST(MainWindowSendingTest, ClosingTheWindowEndsTheLoopAndClosesThePort) {
    WindowRig rig;
    PrepareToSend(rig);
    std::size_t framesAtClose = 0;
    Repeater closer(
        [&] {
            if (rig.port.frames.size() < 3) return false;
            framesAtClose = rig.port.frames.size();
            rig.window->close();
            return true;
        },
        [&] { rig.model.isSending = false; });

    QTest::mouseClick(rig.find<QPushButton>("starsend"), Qt::LeftButton);

    ASSERT_FALSE(closer.gaveUp()) << "the loop sent no frames";
    EXPECT_FALSE(rig.window->isVisible());
    EXPECT_FALSE(rig.port.open);
    EXPECT_FALSE(rig.model.portOpened);
    EXPECT_FALSE(rig.model.isSending);
    EXPECT_EQ(rig.port.frames.size(), framesAtClose)
        << "nothing may be sent after the window closed";
}

TEST(MainWindowSendingTest, ALostDeviceIsToldInBothLampsTooltips) {
    WindowRig rig;
    PrepareToSend(rig);
    Repeater pull(
        [&] {
            if (rig.port.frames.size() < 2) return false;
            rig.port.open = false;  // the adapter is pulled
            return true;
        },
        [&] { rig.model.isSending = false; });
    QTest::mouseClick(rig.find<QPushButton>("starsend"), Qt::LeftButton);
    ASSERT_FALSE(pull.gaveUp());
    const QRegularExpression told(
        QStringLiteral("^Sending stopped at \\d\\d:\\d\\d:\\d\\d: port closed$"));
    for (const char* lamp : {"Shape1(0)", "Shape1(1)"}) {
        const QString tip = rig.find<LampWidget>(lamp)->toolTip();
        EXPECT_TRUE(told.match(tip).hasMatch()) << lamp << ": " << tip.toStdString();
    }
    // And the status line beside the send page's lamp.
    const QString status = rig.find<QLabel>("Label50")->toolTip();
    EXPECT_TRUE(told.match(status).hasMatch()) << status.toStdString();
    EXPECT_TRUE(rig.find<QRadioButton>("Optionclose")->isChecked());
}

TEST(MainWindowTest, ATypedPortTextIsNamedOnThePage) {
    WindowRig rig;
    rig.selectPage(1);
    auto* baud = rig.find<QComboBox>(ControlName("Combo1", 1));
    TypeInto(baud->lineEdit(), QStringLiteral("9700"));
    BoxAnswerer answerer(QStringLiteral("取消"));
    QTest::mouseClick(rig.find<QPushButton>("Command1"), Qt::LeftButton);
    auto* hint = rig.find<QLabel>("portHint");
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(answerer.seen().empty());  // no box for a typed text
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(),
              QStringLiteral("“波特率”框中的“9700”不是列表中的选项，请从列表中选择。"));
    // A pick and an apply that goes through clear it.
    baud->showPopup();
    QTest::keyClick(baud->view(), Qt::Key_Return);
    QTest::mouseClick(rig.find<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(hint->text(), QString());
}

TEST(MainWindowTest, ReadOnlyParameterBoxesLookReadOnly) {
    WindowRig rig;
    for (int entry : {1, 4, 10}) {
        auto* editable = rig.find<QLineEdit>(ControlName("fuction_am", entry));
        auto* locked = rig.find<QLineEdit>(ControlName("fuction_t3", entry));
        ASSERT_TRUE(locked->isReadOnly());
        ASSERT_FALSE(editable->isReadOnly());
        EXPECT_NE(locked->palette().color(QPalette::Active, QPalette::Base),
                  editable->palette().color(QPalette::Active, QPalette::Base))
            << entry;
        EXPECT_EQ(locked->palette().color(QPalette::Active, QPalette::Base),
                  locked->palette().color(QPalette::Active, QPalette::Window))
            << entry;
    }
}

TEST(MainWindowTest, CloseProgramClosesThePortAndTheWindow) {
    WindowRig rig;
    PrepareToSend(rig);
    QTest::mouseClick(rig.find<QPushButton>("Command5"), Qt::LeftButton);
    EXPECT_FALSE(rig.port.open);
    EXPECT_TRUE(rig.model.programEnded);
    EXPECT_FALSE(rig.window->isVisible());
}

TEST(MainWindowSendingTest, CloseProgramWhileSendingEndsTheEventLoop) {
    WindowRig rig;
    PrepareToSend(rig);
    // The program's own event loop, with the click coming while frames go
    // out; exec() returning is what lets main() return.
    QTimer::singleShot(0, [&] {
        Repeater closer(
            [&] {
                if (rig.port.frames.size() < 3) return false;
                QTest::mouseClick(rig.find<QPushButton>("Command5"), Qt::LeftButton);
                return true;
            },
            [&] { rig.model.isSending = false; });
        QTest::mouseClick(rig.find<QPushButton>("starsend"), Qt::LeftButton);
        EXPECT_FALSE(closer.gaveUp());
    });
    QTimer guard;
    guard.callOnTimeout([] { QApplication::exit(99); });
    guard.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(rig.port.open);
    EXPECT_FALSE(rig.window->isVisible());
}

TEST(MainWindowTest, TheWindowHasItsFixedSize) {
    struct SizeCase {
        double dpi;
        QSize size;
    };
    // 8600 x 4980 twips; 1440 twips to the inch.
    for (const SizeCase& c :
         {SizeCase{96, {573, 332}}, SizeCase{144, {860, 498}}, SizeCase{72, {430, 249}}}) {
        EXPECT_EQ(MainWindow::FixedSize(c.dpi, c.dpi), c.size) << c.dpi;
    }
    WindowRig rig;
    const QSize expected =
        MainWindow::FixedSize(rig.window->logicalDpiX(), rig.window->logicalDpiY());
    EXPECT_EQ(rig.window->size(), expected);
    EXPECT_EQ(rig.window->minimumSize(), expected);
    EXPECT_EQ(rig.window->maximumSize(), expected);
}

}  // namespace
}  // namespace kiv::testing
