#include "gui/qt_message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <array>
#include <vector>

namespace kiv {
namespace {

struct ButtonSpec {
    QMessageBox::StandardButton button;
    const char* label;
    std::int32_t answer;
};

// The style word's low digit picks the buttons, in the order they appear.
// Set 6 is the one every message of the program uses.
const std::vector<ButtonSpec>& ButtonSet(std::int32_t set) {
    static const std::array<std::vector<ButtonSpec>, 7> sets = {{
        {{QMessageBox::Ok, "确定", kAnswerOk}},
        {{QMessageBox::Ok, "确定", kAnswerOk}, {QMessageBox::Cancel, "取消", kAnswerCancel}},
        {{QMessageBox::Abort, "中止", kAnswerAbort},
         {QMessageBox::Retry, "重试", kAnswerRetry},
         {QMessageBox::Ignore, "忽略", kAnswerIgnore}},
        {{QMessageBox::Yes, "是", kAnswerYes},
         {QMessageBox::No, "否", kAnswerNo},
         {QMessageBox::Cancel, "取消", kAnswerCancel}},
        {{QMessageBox::Yes, "是", kAnswerYes}, {QMessageBox::No, "否", kAnswerNo}},
        {{QMessageBox::Retry, "重试", kAnswerRetry}, {QMessageBox::Cancel, "取消", kAnswerCancel}},
        {{QMessageBox::Cancel, "取消", kAnswerCancel},
         {QMessageBox::Retry, "重试", kAnswerTryAgain},
         {QMessageBox::Ignore, "继续", kAnswerContinue}},
    }};
    const auto index = static_cast<std::size_t>(set);
    return index < sets.size() ? sets[index] : sets[0];
}

QMessageBox::Icon IconOf(std::int32_t style) {
    switch (style & 0x70) {
        case 16:
            return QMessageBox::Critical;
        case 32:
            return QMessageBox::Question;
        case 48:
            return QMessageBox::Warning;
        case 64:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

QtMessageBox::QtMessageBox(QWidget* parent) : m_parent(parent) {}

std::int32_t QtMessageBox::Show(const std::string& text, std::int32_t style,
                                const std::string& title, const std::string& /*helpFile*/,
                                std::int32_t /*helpContext*/) {
    QMessageBox box(IconOf(style), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::NoButton, m_parent);
    const std::vector<ButtonSpec>& specs = ButtonSet(style & 0x0F);
    for (const ButtonSpec& spec : specs) {
        box.addButton(spec.button)->setText(QString::fromUtf8(spec.label));
    }
    box.setDefaultButton(specs.front().button);
    // Escape and the title bar's close button answer Cancel where the set has
    // one, the first button otherwise.
    QMessageBox::StandardButton escape = specs.front().button;
    for (const ButtonSpec& spec : specs)
        if (spec.button == QMessageBox::Cancel) escape = spec.button;
    box.setEscapeButton(escape);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();

    const QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
    for (const ButtonSpec& spec : specs)
        if (spec.button == pressed) return spec.answer;
    // Closed without a button: the escape button's answer.
    for (const ButtonSpec& spec : specs)
        if (spec.button == escape) return spec.answer;
    return specs.front().answer;
}

}  // namespace kiv
