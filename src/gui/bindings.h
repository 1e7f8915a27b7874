#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "model/controls.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// Each binding mirrors one control of the model on its widget. push() writes
// only what differs from what it wrote last, under a QSignalBlocker, so that
// pushing at every yield of the send loop costs a few comparisons and
// rendering never raises input events. The user* methods record input the
// widget already shows, so that the next push leaves the widget alone (and
// the cursor where the user put it).
namespace kiv {

class Binding {
  public:
    virtual ~Binding() = default;
    virtual void push() = 0;
};

// UTF-8 texts of the model, shown unchanged.
inline QString ToQt(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string FromQt(const QString& s) {
    return s.toStdString();
}

class TextBoxBinding : public Binding {
  public:
    TextBoxBinding(TextBox& box, QLineEdit* edit);
    void push() override;
    void userEdited(const QString& text);

  private:
    TextBox& m_box;
    QLineEdit* m_edit;
    std::optional<std::string> m_text;
    std::optional<bool> m_enabled, m_locked;
};

// A multi-line box: the model keeps the stored CR LF line breaks, the widget
// shows plain line feeds.
class MultiLineTextBinding : public Binding {
  public:
    MultiLineTextBinding(TextBox& box, QPlainTextEdit* edit);
    void push() override;
    void userEdited(const QString& text);

  private:
    TextBox& m_box;
    QPlainTextEdit* m_edit;
    std::optional<std::string> m_text;
    std::optional<bool> m_enabled, m_locked;
};

class CheckBoxBinding : public Binding {
  public:
    CheckBoxBinding(CheckBox& box, QCheckBox* widget);
    void push() override;
    void userClicked(bool checked);

  private:
    CheckBox& m_box;
    QCheckBox* m_widget;
    std::optional<int> m_value;
    std::optional<std::string> m_caption;
    std::optional<bool> m_enabled;
};

// The list is fixed and filled once; the shown text and the list position
// follow the model.
class ComboBoxBinding : public Binding {
  public:
    ComboBoxBinding(ComboBox& box, QComboBox* widget);
    void push() override;
    void userPicked(int index);
    void userTyped(const QString& text);

  private:
    ComboBox& m_box;
    QComboBox* m_widget;
    std::optional<int> m_index;
    std::optional<std::string> m_text;
    std::optional<bool> m_enabled;
};

class CommandButtonBinding : public Binding {
  public:
    CommandButtonBinding(CommandButton& button, QPushButton* widget);
    void push() override;

  private:
    CommandButton& m_button;
    QPushButton* m_widget;
    std::optional<std::string> m_caption;
    std::optional<bool> m_enabled;
};

// The selection is compared with the widget itself, not with what was last
// written: the group clears one option whenever the other gets selected.
class OptionButtonBinding : public Binding {
  public:
    OptionButtonBinding(OptionButton& option, QRadioButton* widget);
    void push() override;

  private:
    OptionButton& m_option;
    QRadioButton* m_widget;
    std::optional<bool> m_enabled;
    std::optional<std::string> m_caption;
};

// Any caption shown in a QLabel: a Label control or a fixed note.
class LabelBinding : public Binding {
  public:
    LabelBinding(const std::string& caption, QLabel* widget);
    void push() override;

  private:
    const std::string& m_caption;
    QLabel* m_widget;
    std::optional<std::string> m_shown;
};

class LampWidget;
class ShapeBinding : public Binding {
  public:
    ShapeBinding(Shape& shape, LampWidget* widget);
    void push() override;

  private:
    Shape& m_shape;
    LampWidget* m_widget;
    std::optional<std::uint32_t> m_colour;
};

// A widget's tooltip following a text of the model (the lamps' "what happened").
class ToolTipBinding : public Binding {
  public:
    ToolTipBinding(const std::string& text, QWidget* widget);
    void push() override;

  private:
    const std::string& m_text;
    QWidget* m_widget;
    std::optional<std::string> m_shown;
};

class TallyDisplay;
class TallyBinding : public Binding {
  public:
    TallyBinding(Tally& tally, TallyDisplay* widget);
    void push() override;

  private:
    Tally& m_tally;
    TallyDisplay* m_widget;
    std::optional<std::int32_t> m_value;
};

// A page of the tab strip: a disabled page ignores all input.
class FrameBinding : public Binding {
  public:
    FrameBinding(Frame& frame, QWidget* page);
    void push() override;

  private:
    Frame& m_frame;
    QWidget* m_page;
    std::optional<bool> m_enabled;
};

}  // namespace kiv
