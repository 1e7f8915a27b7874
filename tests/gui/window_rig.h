#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/real_time_services.h"
#include "fakes.h"
#include "gui/main_window.h"
#include "gui/wired_window.h"
#include "model/model.h"
#include "platform/port_map.h"
#include "platform/qt_comm_control.h"
#include "support/pty_pair.h"
#include "support/table_cases.h"

namespace kiv::testing {

// The window as the program builds it, with a port that needs no device,
// started up and shown.
struct WindowRig {
    WindowRig() { Start(port); }

    // Wires the window to `windowPort` (and `directory`) through the
    // program's own WireWindow, which starts it up and shows it.
    void Start(CommControl& windowPort, PortDirectory* directory = nullptr) {
        wired = WireWindow(model, services, windowPort, directory);
        window = &wired->window();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    // Takes the window down; a rig whose port is its own member calls it
    // first thing in its destructor, since the window goes before the port
    // it was wired to.
    void Stop() {
        wired.reset();
        window = nullptr;
    }

    template <typename W>
    W* find(const QString& name) const {
        W* widget = window->findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name.toStdString();
        return widget;
    }

    // A tab click on tab `page` (0-based), the way the user selects a page.
    void selectPage(int page) const;
    // A mouse click on the enabled button `name`.
    void click(const QString& name) const;
    // Replaces the whole text of the box `name` by typing (TypeInto).
    void type(const QString& name, const QString& text) const;

    // A rig for a port of the caller's own, started by Start().
    struct Unstarted {};
    explicit WindowRig(Unstarted) {}

    Model model;
    FakeComm port;
    RealTimeServices services;
    std::unique_ptr<WiredWindow> wired;
    MainWindow* window = nullptr;
};

// The window wired exactly as main() wires it, except that COM1 is the
// slave of a fresh pseudo-terminal whose other end the test reads.
struct PtyWindowRig : WindowRig {
    PtyWindowRig() : WindowRig(Unstarted{}) {
        PortMap map;
        map.setDevice(1, line.slavePath());
        linePort = std::make_unique<QtCommControl>(map);
        services.Pace(*linePort);
        Start(*linePort);
    }
    ~PtyWindowRig() { Stop(); }

    PtyPair line;
    std::unique_ptr<QtCommControl> linePort;
};

// What a message box showed before it was answered.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QStringList buttonsLeftToRight;  // as they stand on screen
    QString detail;                  // the detailed text
};

// Answers every modal message box that opens while it lives by pressing the
// button labelled `answer`, and records what each box showed. It looks for
// boxes on a short repeating timer, which runs inside the box's own event
// loop; a box without that button is closed anyway after a few looks, so a
// wrong label fails the test instead of hanging it.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(QString answer);
    const std::vector<SeenBox>& seen() const { return m_seen; }
    // Runs while each box is open, before it is answered.
    std::function<void()> onBox;

  private:
    void look();

    QString m_answer;
    QTimer m_timer;
    int m_unanswerableLooks = 0;
    std::vector<SeenBox> m_seen;
};

// Runs `action` on a short repeating timer until it returns true; for
// driving the window from inside a running send loop, whose click does not
// return until the loop ends. After `maxTicks` it runs `giveUp` instead
// (which must end the loop), so a broken loop fails the test, not hangs it.
class Repeater {
  public:
    Repeater(std::function<bool()> action, std::function<void()> giveUp, int maxTicks = 5000);
    bool gaveUp() const { return m_gaveUp; }

  private:
    QTimer m_timer;
    std::function<bool()> m_action;
    std::function<void()> m_giveUp;
    int m_ticksLeft;
    bool m_done = false;
    bool m_gaveUp = false;
};

// Replaces the whole text of a box by typing, as a user does.
void TypeInto(QLineEdit* edit, const QString& text);

}  // namespace kiv::testing
