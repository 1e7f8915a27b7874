// The window with the keyboard alone: Tab walks every page's controls in
// the order they stand on the page, and every button can be reached and
// pressed.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <ostream>

#include "window_rig.h"

namespace kiv::testing {
namespace {

const QString kTabBar = QStringLiteral("qt_tabwidget_tabbar");

QString Describe(const QWidget* w) {
    if (w == nullptr) return QStringLiteral("(none)");
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                     : w->objectName();
}

// Presses Tab (or Shift+Tab) on whatever holds the focus, as a user does,
// and lists where the focus lands, starting from the tab strip, until it
// comes back there. The step bound only keeps a broken chain from looping.
// The list is joined into one line so that a failure shows both chains.
QString WalkFocus(WindowRig& rig, bool forward) {
    QTabBar* bar = rig.window->tabs()->tabBar();
    bar->setFocus(Qt::TabFocusReason);
    QStringList seen{Describe(rig.window->focusWidget())};
    for (int step = 0; step < 200; ++step) {
        QWidget* at = rig.window->focusWidget();
        if (at == nullptr) break;
        QTest::keyClick(at, forward ? Qt::Key_Tab : Qt::Key_Backtab);
        QWidget* next = rig.window->focusWidget();
        if (next == bar || next == at) break;
        seen << Describe(next);
    }
    if (!forward) std::reverse(seen.begin() + 1, seen.end());
    return seen.join(QLatin1Char(' '));
}

// The slot boxes in the order the frame is sent, which is the order they
// stand in: down the left column, then down the right one. A slot's noise
// box is right of it; the period, the buttons and "关闭程序" follow.
QString SendPageOrder(int usableChecks, bool sendButtons) {
    QStringList order{kTabBar};
    for (int slot = 1; slot <= 10; ++slot) {
        order << ControlName("sendText1", slot);
        if (slot <= usableChecks) order << ControlName("Check2", slot);
    }
    order << "autosendtext1"
          << "Command7";
    if (sendButtons)
        order << "starsend"
              << "pausesend";
    order << "Command8"
          << "Command5";
    return order.join(QLatin1Char(' '));
}

// Makes the window the active one and brings `page` to the front the way a
// keyboard user does: the arrow keys on the tab strip.
void OpenPageByKeyboard(WindowRig& rig, int page) {
    rig.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window));
    QTabBar* bar = rig.window->tabs()->tabBar();
    bar->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < page; ++i) QTest::keyClick(bar, Qt::Key_Right);
    ASSERT_EQ(rig.window->tabs()->currentIndex(), page);
    ASSERT_TRUE(rig.model.tabpage(page).Enabled);
}

// Tabs from the tab strip until `target` holds the focus.
void TabTo(WindowRig& rig, QWidget* target) {
    rig.window->tabs()->tabBar()->setFocus(Qt::TabFocusReason);
    for (int step = 0; step < 100 && rig.window->focusWidget() != target; ++step)
        QTest::keyClick(rig.window->focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(rig.window->focusWidget(), target) << Describe(target).toStdString();
}

TEST(KeyboardTest, TabWalksTheSendPageInLayoutOrder) {
    WindowRig rig;
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(rig, 0));

    // Before the page is applied the send buttons are disabled, so Tab
    // passes over them; every noise box can be ticked.
    EXPECT_EQ(WalkFocus(rig, true), SendPageOrder(10, false));

    // Apply with the keyboard: Tab to the button, press Space.
    QWidget* apply = rig.find<QPushButton>("Command7");
    ASSERT_NO_FATAL_FAILURE(TabTo(rig, apply));
    QTest::keyClick(apply, Qt::Key_Space);
    ASSERT_TRUE(rig.model.starsend.Enabled) << "Space did not press the apply button";

    // Four slots are filled: only their noise boxes stay usable, and the
    // send buttons join the chain.
    const QString expected = SendPageOrder(4, true);
    EXPECT_EQ(WalkFocus(rig, true), expected);
    EXPECT_EQ(WalkFocus(rig, false), expected) << "Shift+Tab walks the same chain backwards";
}

// Space selects the option under the focus; an arrow key moves the
// selection to the other one, and each selection reaches its handler.
TEST(KeyboardTest, ThePortOpensAndClosesFromTheKeyboard) {
    WindowRig rig;
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(rig, 1));

    auto* open = rig.find<QRadioButton>("Optionopen");
    auto* close = rig.find<QRadioButton>("Optionclose");
    ASSERT_NO_FATAL_FAILURE(TabTo(rig, open));
    QTest::keyClick(open, Qt::Key_Space);
    EXPECT_TRUE(open->isChecked());
    EXPECT_TRUE(rig.port.open);
    EXPECT_TRUE(rig.model.portOpened);

    QTest::keyClick(open, Qt::Key_Down);
    EXPECT_EQ(rig.window->focusWidget(), close);
    EXPECT_TRUE(close->isChecked());
    EXPECT_FALSE(rig.port.open);
    EXPECT_FALSE(rig.model.portOpened);
}

struct PageCase {
    const char* name;
    int page;
    QStringList order;  // between the tab strip and "关闭程序"
};
using kiv::testing::PrintTo;

QStringList ParameterRows(int first, int last) {
    QStringList boxes;
    for (int entry = first; entry <= last; ++entry)
        for (const char* column :
             {"fuction_t1", "fuction_t2", "fuction_t3", "fuction_am", "fuction_a0"})
            boxes << ControlName(column, entry);
    return boxes;
}

QStringList NoisePageOrder() {
    QStringList order = ParameterRows(10, 10);
    for (int i = 1; i <= 10; ++i) order << ControlName("Check1", i);
    return order << "Command6";
}

class PageKeyboardTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageKeyboardTest, TabWalksThePageInLayoutOrder) {
    const PageCase& c = GetParam();
    WindowRig rig;
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(rig, c.page));

    const QStringList expected = QStringList{kTabBar} + c.order + QStringList{"Command5"};
    EXPECT_EQ(WalkFocus(rig, true), expected.join(QLatin1Char(' ')));
}

INSTANTIATE_TEST_SUITE_P(
    EveryOtherPage, PageKeyboardTest,
    ::testing::Values(
        // The two port options are one stop of the chain, as an option group is.
        PageCase{"Serial",
                 1,
                 {"Combo1(0)", "Combo1(1)", "Combo1(2)", "Combo1(3)", "Combo1(4)", "Optionopen",
                  "Command1"}},
        PageCase{"Sine", 2, ParameterRows(1, 3) << "Command2"},
        PageCase{"Rectangular", 3, ParameterRows(4, 6) << "Command3"},
        PageCase{"Sawtooth", 4, ParameterRows(7, 9) << "Command4"},
        PageCase{"Noise", 5, NoisePageOrder()}, PageCase{"Instructions", 6, {"Text2"}}),
    CaseName<PageCase>);

// The manual is longer than its box: a keyboard user reads on with the
// page keys once Tab has reached it.
TEST(KeyboardTest, TheManualScrollsFromTheKeyboard) {
    WindowRig rig;
    ASSERT_NO_FATAL_FAILURE(OpenPageByKeyboard(rig, kPageCount - 1));

    auto* manual = rig.find<QPlainTextEdit>("Text2");
    ASSERT_NO_FATAL_FAILURE(TabTo(rig, manual));
    QScrollBar* scroll = manual->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0) << "the manual fits its box; nothing to scroll";
    ASSERT_EQ(scroll->value(), 0);
    QTest::keyClick(manual, Qt::Key_PageDown);
    EXPECT_GT(scroll->value(), 0);
    QTest::keyClick(manual, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(scroll->value(), scroll->maximum());
}

}  // namespace
}  // namespace kiv::testing
