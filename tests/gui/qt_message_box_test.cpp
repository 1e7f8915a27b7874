#include "gui/qt_message_box.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdint>
#include <ostream>

#include "window_rig.h"

namespace kiv::testing {
namespace {

struct AnswerCase {
    const char* name;
    const char* button;
    std::int32_t answer;
};
using kiv::testing::PrintTo;

class QtMessageBoxTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(QtMessageBoxTest, StopBoxWithCancelTryAgainContinue) {
    const AnswerCase& c = GetParam();
    QtMessageBox service;
    BoxAnswerer answerer(QString::fromUtf8(c.button));
    const std::int32_t answer = service.Show("串口未打开!", 22, "串口发送信息", "DEMO.HLP", 1000);
    EXPECT_EQ(answer, c.answer);
    ASSERT_EQ(answerer.seen().size(), 1u);
    const SeenBox& seen = answerer.seen().front();
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.title, QStringLiteral("串口发送信息"));
    EXPECT_EQ(seen.text, QStringLiteral("串口未打开!"));
    // In the set's own order, left to right, whatever the desktop's layout.
    EXPECT_EQ(seen.buttonsLeftToRight, (QStringList{QStringLiteral("取消"), QStringLiteral("重试"),
                                                    QStringLiteral("继续")}));
    EXPECT_EQ(seen.detail, QString());
}

INSTANTIATE_TEST_SUITE_P(EveryButton, QtMessageBoxTest,
                         ::testing::Values(AnswerCase{"Cancel", "取消", kAnswerCancel},
                                           AnswerCase{"TryAgain", "重试", kAnswerTryAgain},
                                           AnswerCase{"Continue", "继续", kAnswerContinue}),
                         CaseName<AnswerCase>);

TEST(QtMessageBoxEscapeTest, EscapeAnswersCancel) {
    QtMessageBox service;
    bool escaped = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            QTest::keyClick(box, Qt::Key_Escape);
            escaped = true;
            timer.stop();
        }
    });
    timer.start(5);
    EXPECT_EQ(service.Show("x", 22, "y", "", 0), kAnswerCancel);
    EXPECT_TRUE(escaped);
}

// Notes, when a message box appears, whether its window was on the screen.
class BoxAppearance : public QObject {
  public:
    explicit BoxAppearance(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    ~BoxAppearance() override { qApp->removeEventFilter(this); }
    bool seen = false;
    bool windowExposed = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (qobject_cast<QMessageBox*>(watched) != nullptr && event->type() == QEvent::Show &&
            !seen) {
            seen = true;
            windowExposed =
                m_window->windowHandle() != nullptr && m_window->windowHandle()->isExposed();
        }
        return false;
    }

  private:
    QWidget* m_window;
};

// A box asked for right after its window is shown (a setup named at
// start-up) waits until the window is on the screen, then stands over it.
TEST(QtMessageBoxPlacementTest, ABoxWaitsForItsNewWindowAndStandsOverIt) {
    QWidget window;
    window.resize(640, 480);
    window.move(200, 150);
    QtMessageBox service(&window);
    BoxAppearance appearance(&window);
    BoxAnswerer answerer(QStringLiteral("取消"));
    QRect box;
    answerer.onBox = [&box] { box = QApplication::activeModalWidget()->frameGeometry(); };
    window.show();
    service.Show("设置文件未载入：", 22, "设置文件信息", "", 0);
    ASSERT_TRUE(appearance.seen);
    EXPECT_TRUE(appearance.windowExposed);
    const QPoint off = box.center() - window.frameGeometry().center();
    EXPECT_LE(off.manhattanLength(), 20) << "box centre off by " << off.x() << "," << off.y();
}

}  // namespace
}  // namespace kiv::testing
