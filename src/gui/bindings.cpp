#include "gui/bindings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "gui/lamp_widget.h"
#include "gui/tally_display.h"

namespace kiv {
namespace {

// Writes `value` through `apply` when it differs from what was last written.
template <typename T, typename Apply>
void PushIfChanged(std::optional<T>& shown, const T& value, Apply apply) {
    if (shown == value) return;
    apply(value);
    shown = value;
}

QString WithLineFeeds(const std::string& text) {
    QString s = ToQt(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

// A read-only box must look it: the window's own background instead of the
// editable white, and its text in the muted colour, while it still can be
// selected and copied.
void ShowReadOnly(QLineEdit* edit, bool locked) {
    edit->setReadOnly(locked);
    QPalette palette = QApplication::palette(edit);
    if (locked) {
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
    }
    edit->setPalette(palette);
}

}  // namespace

TextBoxBinding::TextBoxBinding(TextBox& box, QLineEdit* edit) : m_box(box), m_edit(edit) {}

void TextBoxBinding::push() {
    const QSignalBlocker block(m_edit);
    PushIfChanged(m_text, m_box.Text, [&](const std::string& t) { m_edit->setText(ToQt(t)); });
    PushIfChanged(m_enabled, m_box.Enabled, [&](bool e) { m_edit->setEnabled(e); });
    PushIfChanged(m_locked, m_box.Locked, [&](bool l) { ShowReadOnly(m_edit, l); });
}

void TextBoxBinding::userEdited(const QString& text) {
    m_box.Text = FromQt(text);
    m_text = m_box.Text;
}

MultiLineTextBinding::MultiLineTextBinding(TextBox& box, QPlainTextEdit* edit)
    : m_box(box), m_edit(edit) {}

void MultiLineTextBinding::push() {
    const QSignalBlocker block(m_edit);
    PushIfChanged(m_text, m_box.Text,
                  [&](const std::string& t) { m_edit->setPlainText(WithLineFeeds(t)); });
    PushIfChanged(m_enabled, m_box.Enabled, [&](bool e) { m_edit->setEnabled(e); });
    PushIfChanged(m_locked, m_box.Locked, [&](bool l) { m_edit->setReadOnly(l); });
}

void MultiLineTextBinding::userEdited(const QString& text) {
    QString stored = text;
    stored.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    m_box.Text = FromQt(stored);
    m_text = m_box.Text;
}

CheckBoxBinding::CheckBoxBinding(CheckBox& box, QCheckBox* widget) : m_box(box), m_widget(widget) {}

void CheckBoxBinding::push() {
    const QSignalBlocker block(m_widget);
    PushIfChanged(m_value, m_box.Value, [&](int v) { m_widget->setChecked(v != 0); });
    PushIfChanged(m_caption, m_box.Caption,
                  [&](const std::string& c) { m_widget->setText(ToQt(c)); });
    PushIfChanged(m_enabled, m_box.Enabled, [&](bool e) { m_widget->setEnabled(e); });
}

void CheckBoxBinding::userClicked(bool checked) {
    m_box.Value = checked ? 1 : 0;
    m_value = m_box.Value;
}

ComboBoxBinding::ComboBoxBinding(ComboBox& box, QComboBox* widget) : m_box(box), m_widget(widget) {
    const QSignalBlocker block(m_widget);
    m_widget->clear();
    for (const std::string& item : m_box.List) m_widget->addItem(ToQt(item));
}

void ComboBoxBinding::push() {
    const QSignalBlocker block(m_widget);
    if (m_index != m_box.ListIndex || m_text != m_box.Text) {
        const int index = m_box.ListIndex < m_widget->count() ? m_box.ListIndex : -1;
        if (m_widget->currentIndex() != index) m_widget->setCurrentIndex(index);
        const QString text = ToQt(m_box.Text);
        if (m_widget->currentText() != text) m_widget->setEditText(text);
        m_index = m_box.ListIndex;
        m_text = m_box.Text;
    }
    PushIfChanged(m_enabled, m_box.Enabled, [&](bool e) { m_widget->setEnabled(e); });
}

void ComboBoxBinding::userPicked(int index) {
    m_box.Pick(index);
    m_index = m_box.ListIndex;
    m_text = m_box.Text;
}

void ComboBoxBinding::userTyped(const QString& text) {
    m_box.Type(FromQt(text));
    // The widget keeps its own list position while the user types; the
    // model's -1 is the truth, and the next pick sets both again.
    m_index = m_box.ListIndex;
    m_text = m_box.Text;
}

CommandButtonBinding::CommandButtonBinding(CommandButton& button, QPushButton* widget)
    : m_button(button), m_widget(widget) {}

void CommandButtonBinding::push() {
    const QSignalBlocker block(m_widget);
    PushIfChanged(m_caption, m_button.Caption,
                  [&](const std::string& c) { m_widget->setText(ToQt(c)); });
    PushIfChanged(m_enabled, m_button.Enabled, [&](bool e) { m_widget->setEnabled(e); });
}

OptionButtonBinding::OptionButtonBinding(OptionButton& option, QRadioButton* widget)
    : m_option(option), m_widget(widget) {}

void OptionButtonBinding::push() {
    const QSignalBlocker block(m_widget);
    if (m_widget->isChecked() != m_option.Value) {
        // An exclusive group refuses to clear its checked button; the model
        // alone decides which option is selected.
        QButtonGroup* group = m_widget->group();
        const bool reopen = group != nullptr && group->exclusive() && !m_option.Value;
        if (reopen) group->setExclusive(false);
        m_widget->setChecked(m_option.Value);
        if (reopen) group->setExclusive(true);
    }
    PushIfChanged(m_caption, m_option.Caption,
                  [&](const std::string& c) { m_widget->setText(ToQt(c)); });
    PushIfChanged(m_enabled, m_option.Enabled, [&](bool e) { m_widget->setEnabled(e); });
}

LabelBinding::LabelBinding(const std::string& caption, QLabel* widget)
    : m_caption(caption), m_widget(widget) {}

void LabelBinding::push() {
    PushIfChanged(m_shown, m_caption, [&](const std::string& c) { m_widget->setText(ToQt(c)); });
}

ShapeBinding::ShapeBinding(Shape& shape, LampWidget* widget) : m_shape(shape), m_widget(widget) {}

void ShapeBinding::push() {
    PushIfChanged(m_colour, m_shape.BackColor, [&](std::uint32_t c) { m_widget->setBackColor(c); });
}

ToolTipBinding::ToolTipBinding(const std::string& text, QWidget* widget)
    : m_text(text), m_widget(widget) {}

void ToolTipBinding::push() {
    PushIfChanged(m_shown, m_text, [&](const std::string& t) { m_widget->setToolTip(ToQt(t)); });
}

TallyBinding::TallyBinding(Tally& tally, TallyDisplay* widget) : m_tally(tally), m_widget(widget) {}

void TallyBinding::push() {
    PushIfChanged(m_value, m_tally.Value, [&](std::int32_t v) { m_widget->setValue(v); });
}

FrameBinding::FrameBinding(Frame& frame, QWidget* page) : m_frame(frame), m_page(page) {}

void FrameBinding::push() {
    PushIfChanged(m_enabled, m_frame.Enabled, [&](bool e) { m_page->setEnabled(e); });
}

}  // namespace kiv
