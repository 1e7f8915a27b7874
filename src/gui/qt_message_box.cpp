#include "gui/qt_message_box.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <array>
#include <vector>

#include "gui/main_window.h"

namespace kiv {
namespace {

struct ButtonSpec {
    QMessageBox::StandardButton button;
    const char* label;
    std::int32_t answer;
};

// The buttons of the one set the program shows
// (message_style::kCancelTryAgainContinue), in the order they appear.
const std::array<ButtonSpec, 3> kButtons = {{
    {QMessageBox::Cancel, "取消", kAnswerCancel},
    {QMessageBox::Retry, "重试", kAnswerTryAgain},
    {QMessageBox::Ignore, "继续", kAnswerContinue},
}};

QMessageBox::Icon IconOf(std::int32_t style) {
    return (style & message_style::kIconMask) == message_style::kIconCritical
               ? QMessageBox::Critical
               : QMessageBox::NoIcon;
}

// How long a box waits for its window to reach the screen: a window
// manager that never shows it must not keep the box away for good.
constexpr int kExposeLimitMs = 5000;

// A window shown a moment ago is not on the screen yet, and a box placed
// over it then lands where the window is not (the screen's corner, at
// start-up). Waits until the window is exposed, with the window's own
// events running; a hidden or minimised window has nothing to wait for.
void WaitUntilOnScreen(QWidget* window) {
    if (window == nullptr || !window->isVisible() || window->isMinimized()) return;
    QWindow* handle = window->windowHandle();
    if (handle == nullptr || handle->isExposed()) return;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&loop, handle] {
        if (handle->isExposed()) loop.quit();
    });
    check.start(10);
    QTimer::singleShot(kExposeLimitMs, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

QtMessageBox::QtMessageBox(QWidget* parent) : m_parent(parent) {}

std::int32_t QtMessageBox::Show(const std::string& text, std::int32_t style,
                                const std::string& title, const std::string& helpFile,
                                std::int32_t helpContext) {
    return ShowWithDetail(text, style, title, helpFile, helpContext, {});
}

std::int32_t QtMessageBox::ShowWithDetail(const std::string& text, std::int32_t style,
                                          const std::string& title, const std::string& /*helpFile*/,
                                          std::int32_t /*helpContext*/, const std::string& detail) {
    // The box is shown from inside a handler: the window first shows what the
    // handler has done so far (a failed open has already put the window back
    // in its closed look), not the state from before the click.
    if (auto* window = qobject_cast<MainWindow*>(m_parent.data())) window->pushModel();
    if (m_parent) WaitUntilOnScreen(m_parent->window());

    QMessageBox box(IconOf(style), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::NoButton, m_parent);
    // The buttons stand in the order of the set whatever the desktop's
    // dialog layout: given one role, the button box keeps them as added.
    const std::array<ButtonSpec, 3>& specs = kButtons;
    std::vector<QPushButton*> buttons;
    for (const ButtonSpec& spec : specs) {
        QPushButton* button = box.addButton(QString::fromUtf8(spec.label), QMessageBox::ActionRole);
        buttons.push_back(button);
    }
    // After the set, so that its button stands after theirs.
    if (!detail.empty()) box.setDetailedText(QString::fromStdString(detail));
    box.setDefaultButton(buttons.front());
    // Escape and the title bar's close button answer Cancel where the set has
    // one, the first button otherwise.
    std::size_t escape = 0;
    for (std::size_t i = 0; i < specs.size(); ++i)
        if (specs[i].button == QMessageBox::Cancel) escape = i;
    box.setEscapeButton(buttons[escape]);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();

    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (box.clickedButton() == buttons[i]) return specs[i].answer;
    // Closed without a button: the escape button's answer.
    return specs[escape].answer;
}

}  // namespace kiv
