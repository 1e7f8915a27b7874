#include "window_rig.h"

#include <QTabBar>
#include <QTabWidget>
#include <algorithm>

namespace kiv::testing {

void WindowRig::selectPage(int page) const {
    QTabBar* bar = window->tabs()->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
    EXPECT_EQ(window->tabs()->currentIndex(), page);
}

void WindowRig::click(const QString& name) const {
    auto* button = find<QAbstractButton>(name);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << name.toStdString() << " cannot be clicked";
    QTest::mouseClick(button, Qt::LeftButton);
}

void WindowRig::type(const QString& name, const QString& text) const {
    auto* edit = find<QLineEdit>(name);
    ASSERT_NE(edit, nullptr);
    TypeInto(edit, text);
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

BoxAnswerer::BoxAnswerer(QString answer) : m_answer(std::move(answer)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
    m_timer.start(5);
}

void BoxAnswerer::look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() != m_answer) continue;
        SeenBox seen{box->windowTitle(), box->text(), box->icon(), {}, {}, box->detailedText()};
        QList<QAbstractButton*> inPlace = box->buttons();
        for (QAbstractButton* b : inPlace) seen.buttons << b->text();
        std::sort(inPlace.begin(), inPlace.end(), [box](QAbstractButton* a, QAbstractButton* b) {
            return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x();
        });
        for (QAbstractButton* b : inPlace) seen.buttonsLeftToRight << b->text();
        m_seen.push_back(seen);
        if (onBox) onBox();
        button->click();
        return;
    }
    if (++m_unanswerableLooks > 20) {
        ADD_FAILURE() << "a message box without the button " << m_answer.toStdString();
        box->reject();
    }
}

Repeater::Repeater(std::function<bool()> action, std::function<void()> giveUp, int maxTicks)
    : m_action(std::move(action)), m_giveUp(std::move(giveUp)), m_ticksLeft(maxTicks) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_done) return;
        if (m_action()) {
            m_done = true;
        } else if (--m_ticksLeft <= 0) {
            m_done = m_gaveUp = true;
            m_giveUp();
        }
        if (m_done) m_timer.stop();
    });
    m_timer.start(1);
}

}  // namespace kiv::testing
