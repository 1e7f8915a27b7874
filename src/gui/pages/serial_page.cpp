// The page "串口设置": the five boxes of the port's settings, the open and
// close options with their lamp, and the apply button.
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "serial/port_open_close.h"
#include "serial/port_settings.h"

namespace kiv {

QWidget* MainWindow::buildSerialPage() {
    auto* page = new QWidget;
    auto* row = Tight(new QHBoxLayout(page), 8, 24);
    m_portBoxes = buildPortBoxes(page);
    row->addLayout(m_portBoxes);

    auto* right = Tight(new QVBoxLayout, 0, 8);
    right->addWidget(buildOpenCloseGroup(page));
    right->addWidget(
        addButton(m_model.Command1, QStringLiteral("Command1"), page, &Command1_Click));
    auto* hint = static_cast<QLabel*>(addLabel(m_model.portHint, QStringLiteral("portHint"), page));
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #b00000"));
    right->addWidget(hint);
    right->addStretch(1);
    row->addLayout(right);
    row->addStretch(1);
    return page;
}

QGridLayout* MainWindow::buildPortBoxes(QWidget* page) {
    auto* boxes = Tight(new QGridLayout, 0, 6);
    for (int i = 0; i < kPortBoxCount; ++i) {
        boxes->addWidget(addLabel(m_model.Label3(i).Caption, ControlName("Label3", i), page), i, 0);
        auto* combo = new QComboBox(page);
        combo->setObjectName(ControlName("Combo1", i));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(8);
        // Typed text is the user's own, even when it spells an entry: only a
        // pick from the list gives the box a list position. So neither the
        // completer nor the box's own matching on editing-finished may turn
        // typing into a pick.
        combo->setCompleter(nullptr);
        disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
        auto binding = std::make_unique<ComboBoxBinding>(m_model.Combo1(i), combo);
        ComboBoxBinding* b = binding.get();
        m_bindings.push_back(std::move(binding));
        connect(combo, &QComboBox::activated, this, [this, b, i](int index) {
            if (index < 0) return;
            b->userPicked(index);
            run([i](Model& m) { Combo1_Click(m, i); });
        });
        connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                [b](const QString& text) { b->userTyped(text); });
        boxes->addWidget(combo, i, 1);
    }
    return boxes;
}

QWidget* MainWindow::buildOpenCloseGroup(QWidget* page) {
    auto* group = new QGroupBox(page);
    auto* groupLayout = Tight(new QHBoxLayout(group), 8, 12);
    auto* buttons = new QButtonGroup(group);
    buttons->setExclusive(true);
    struct OptionSpec {
        OptionButton* option;
        OptionButton* other;
        const char* name;
        void (*handler)(Model&);
    };
    const OptionSpec options[2] = {
        {&m_model.Optionopen, &m_model.Optionclose, "Optionopen", &Optionopen_Click},
        {&m_model.Optionclose, &m_model.Optionopen, "Optionclose", &Optionclose_Click},
    };
    auto* radios = Tight(new QVBoxLayout, 0, 6);
    for (const OptionSpec& spec : options) {
        auto* radio = new QRadioButton(group);
        radio->setObjectName(QString::fromLatin1(spec.name));
        buttons->addButton(radio);
        m_bindings.push_back(std::make_unique<OptionButtonBinding>(*spec.option, radio));
        // Only a selection by the user reaches here: pushes are blocked, and
        // the option that loses the selection reports false.
        connect(radio, &QRadioButton::toggled, this, [this, spec](bool on) {
            if (!on) return;
            spec.option->Value = true;
            spec.other->Value = false;
            run(spec.handler);
        });
        radios->addWidget(radio);
    }
    groupLayout->addLayout(radios);
    groupLayout->addWidget(addLamp(m_model.Shape1(0), ControlName("Shape1", 0), group));
    return group;
}

}  // namespace kiv
