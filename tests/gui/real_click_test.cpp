// Real clicks on a real X display while the program sends. The send loop
// runs inside the start button's click handler and every other handler runs
// nested in its yield, so pause and close work only if the yield keeps
// reading the display's input while a mouse release is still being handled.
// Clicks through QTest go straight to the widget and cannot show that; these
// go through the X server (xdotool, the XTest extension), Qt's xcb reader and
// the window system's event queue, as a user's clicks do.
//
// Run under xvfb-run by CTest, with the xcb platform.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QProcess>
#include <QStandardPaths>
#include <memory>
#include <ostream>
#include <vector>

#include "platform/port_map.h"
#include "platform/qt_comm_control.h"
#include "support/pty_pair.h"
#include "window_rig.h"

namespace kiv::testing {
namespace {

// Guards only: on a loaded machine a click may take a while to arrive, but
// one that has not arrived after this long never will.
constexpr qint64 kDeliveryGuardMs = 10'000;
constexpr qint64 kTestGuardMs = 30'000;

// Counts the pointer input that reaches the application from the window
// system, wherever it is handled.
class PointerInputCounter : public QObject {
  public:
    int seen = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (event->spontaneous() &&
            (type == QEvent::MouseMove || type == QEvent::MouseButtonPress ||
             type == QEvent::MouseButtonRelease))
            ++seen;
        return QObject::eventFilter(watched, event);
    }
};

struct X11Rig : PtyWindowRig {
    X11Rig() { window->activateWindow(); }

    QAbstractButton* button(const QString& name) const {
        auto* widget = window->findChild<QAbstractButton*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    // A click through the X server at the middle of the widget, from a
    // process of its own: the window thread must not wait for it.
    void realClick(const QWidget* widget) {
        const QPoint at = widget->mapToGlobal(widget->rect().center());
        auto& clicker = clickers.emplace_back(std::make_unique<QProcess>());
        clicker->start(QStringLiteral("xdotool"),
                       {QStringLiteral("mousemove"), QString::number(at.x()),
                        QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
    }

    // Every click went out; waits for the clickers, which must not outlive
    // the display. A clicker whose end the event loop has seen already is
    // done: waitForFinished answers false for it.
    void expectClicksSent() {
        for (const auto& clicker : clickers) {
            if (clicker->state() != QProcess::NotRunning) {
                EXPECT_TRUE(clicker->waitForFinished(static_cast<int>(kDeliveryGuardMs)));
            }
            EXPECT_EQ(clicker->error(), QProcess::UnknownError)
                << clicker->errorString().toStdString();
            EXPECT_EQ(clicker->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(clicker->exitCode(), 0) << clicker->readAllStandardError().toStdString();
        }
    }

    std::vector<std::unique_ptr<QProcess>> clickers;
};

struct RealClickCase {
    const char* name;
    const char* button;  // clicked for real while the loop sends
    bool programEnds;
};

using kiv::testing::PrintTo;

class RealClickWhileSendingTest : public ::testing::TestWithParam<RealClickCase> {};

TEST_P(RealClickWhileSendingTest, ReachesItsHandlerAndEndsTheLoop) {
    const RealClickCase& c = GetParam();
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X display (run by CTest under xvfb-run)";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs xdotool";

    X11Rig rig;
    BoxAnswerer answerer(QStringLiteral("取消"));
    rig.selectPage(1);
    ASSERT_NO_FATAL_FAILURE(rig.click(QStringLiteral("Command1")));
    ASSERT_NO_FATAL_FAILURE(rig.click(QStringLiteral("Optionopen")));
    ASSERT_TRUE(rig.linePort->PortOpen());
    rig.selectPage(0);
    ASSERT_NO_FATAL_FAILURE(rig.click(QStringLiteral("Command7")));
    QAbstractButton* target = rig.button(QString::fromLatin1(c.button));
    ASSERT_NE(target, nullptr);

    PointerInputCounter counter;
    qApp->installEventFilter(&counter);

    // Runs both before the start click arrives and nested in the loop's
    // yields once it has: the second click goes out only when frames flow,
    // so it lands while the start button's handler is still running.
    bool sawSending = false;
    bool secondClickSent = false;
    bool notDelivered = false;
    int inputAtSecondClick = 0;
    QElapsedTimer sinceSecondClick;
    Repeater driver(
        [&] {
            if (!rig.model.isSending) return false;
            sawSending = true;
            // Read all along, so the line never backs up.
            const bool framesArrived = !rig.line.ReadAvailable().empty();
            if (!secondClickSent) {
                if (!framesArrived) return false;
                inputAtSecondClick = counter.seen;
                rig.realClick(target);
                secondClickSent = true;
                sinceSecondClick.start();
                return false;
            }
            if (sinceSecondClick.elapsed() < kDeliveryGuardMs) return false;
            notDelivered = true;
            rig.model.isSending = false;  // ends the loop so the test can fail
            return true;
        },
        [] {}, 1'000'000);

    rig.realClick(rig.button(QStringLiteral("starsend")));
    // The start click's handler returns only when the loop ends; until then
    // this wait is never resumed.
    QElapsedTimer guard;
    guard.start();
    while (!(sawSending && !rig.model.isSending) && !rig.model.programEnded &&
           guard.elapsed() < kTestGuardMs)
        QTest::qWait(5);
    qApp->removeEventFilter(&counter);
    rig.expectClicksSent();

    ASSERT_TRUE(sawSending) << "the real click on the start button never started the loop";
    ASSERT_TRUE(secondClickSent);
    EXPECT_FALSE(notDelivered) << "a real click on " << c.button
                               << " never reached the window while sending; pointer events seen "
                                  "since it was sent: "
                               << counter.seen - inputAtSecondClick;
    EXPECT_FALSE(rig.model.isSending);
    EXPECT_EQ(rig.model.programEnded, c.programEnds);
    if (!c.programEnds) {
        EXPECT_TRUE(rig.linePort->PortOpen()) << "pausing keeps the port open";
    }
}

INSTANTIATE_TEST_SUITE_P(Buttons, RealClickWhileSendingTest,
                         ::testing::Values(RealClickCase{"Pause", "pausesend", false},
                                           RealClickCase{"Close", "Command5", true}),
                         CaseName<RealClickCase>);

}  // namespace
}  // namespace kiv::testing
