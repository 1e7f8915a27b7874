// Minimising and restoring the window, and trying to resize it: the window
// keeps its one size and stays usable.
#include <gtest/gtest.h>

#include <QPushButton>

#include "window_rig.h"

namespace kiv::testing {
namespace {

TEST(WindowStateTest, MinimiseAndRestoreKeepTheSizeAndTheWindowWorks) {
    WindowRig rig;
    const QSize fixed = MainWindow::FixedSize(rig.window->logicalDpiX(), rig.window->logicalDpiY());
    ASSERT_EQ(rig.window->size(), fixed);

    rig.window->showMinimized();
    QApplication::processEvents();
    EXPECT_TRUE(rig.window->isMinimized());

    rig.window->showNormal();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.window));
    EXPECT_FALSE(rig.window->isMinimized());
    EXPECT_EQ(rig.window->size(), fixed);

    // Dragging an edge is refused as well.
    rig.window->resize(fixed.width() + 200, fixed.height() - 100);
    QApplication::processEvents();
    EXPECT_EQ(rig.window->size(), fixed);

    // The restored window still takes input: a tab click switches the page,
    // and the send page's apply takes effect.
    rig.selectPage(3);
    EXPECT_TRUE(rig.model.tabpage(3).Enabled);
    rig.selectPage(0);
    ASSERT_FALSE(rig.model.starsend.Enabled);
    QTest::mouseClick(rig.find<QPushButton>("Command7"), Qt::LeftButton);
    EXPECT_TRUE(rig.model.starsend.Enabled);
    EXPECT_TRUE(rig.find<QPushButton>("starsend")->isEnabled());
    EXPECT_EQ(rig.model.slotCount, 4);
}

}  // namespace
}  // namespace kiv::testing
