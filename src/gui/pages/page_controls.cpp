// The controls every page is made of, each built with its binding to the
// model and connected to its handler through MainWindow::run.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/lamp_widget.h"
#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "model/signal_table.h"

namespace kiv {

QLineEdit* MainWindow::addTextBox(TextBox& box, const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    auto binding = std::make_unique<TextBoxBinding>(box, edit);
    TextBoxBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    // No handler reads a box while it is typed in; the text only has to be
    // in the model when the apply buttons look.
    connect(edit, &QLineEdit::textEdited, this, [b](const QString& text) { b->userEdited(text); });
    return edit;
}

QWidget* MainWindow::addButton(CommandButton& button, const QString& name, QWidget* parent,
                               std::function<void(Model&)> handler) {
    auto* widget = new QPushButton(parent);
    widget->setObjectName(name);
    widget->setAutoDefault(false);
    m_bindings.push_back(std::make_unique<CommandButtonBinding>(button, widget));
    connect(widget, &QPushButton::clicked, this,
            [this, handler = std::move(handler)] { run(handler); });
    return widget;
}

QWidget* MainWindow::addLabel(const std::string& caption, const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    m_bindings.push_back(std::make_unique<LabelBinding>(caption, label));
    return label;
}

QCheckBox* MainWindow::addCheckBox(CheckBox& box, const QString& name, QWidget* parent,
                                   std::function<void(Model&)> handler) {
    auto* check = new QCheckBox(parent);
    check->setObjectName(name);
    auto binding = std::make_unique<CheckBoxBinding>(box, check);
    CheckBoxBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    // A tick without a handler is only stored: the page's apply reads it.
    connect(check, &QCheckBox::clicked, this,
            [this, b, handler = std::move(handler)](bool checked) {
                b->userClicked(checked);
                if (handler) run(handler);
            });
    return check;
}

QWidget* MainWindow::addLamp(Shape& shape, const QString& name, QWidget* parent) {
    auto* lamp = new LampWidget(parent);
    lamp->setObjectName(name);
    m_bindings.push_back(std::make_unique<ShapeBinding>(shape, lamp));
    // Both lamps tell what happened to the line when pointed at.
    m_bindings.push_back(std::make_unique<ToolTipBinding>(m_model.lampToolTip, lamp));
    return lamp;
}

void MainWindow::addNotes(const std::vector<std::string>& notes, const QString& arrayName,
                          QWidget* parent, QBoxLayout* layout) {
    for (std::size_t i = 0; i < notes.size(); ++i)
        layout->addWidget(addLabel(
            notes[i], ControlName(arrayName.toLatin1().constData(), static_cast<int>(i)), parent));
}

QComboBox* MainWindow::addChoiceBox(ComboBox& box, const QString& name, QWidget* parent,
                                    std::function<void(Model&)> handler) {
    // A choice of fixed entries: no typing, a pick is the only input.
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    auto binding = std::make_unique<ComboBoxBinding>(box, combo);
    ComboBoxBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    connect(combo, &QComboBox::activated, this, [this, b, handler = std::move(handler)](int index) {
        if (index < 0) return;
        b->userPicked(index);
        // A pick without a handler is only stored: the page's apply reads it.
        if (handler) {
            run(handler);
        } else {
            pushModel();
        }
    });
    return combo;
}

QGridLayout* MainWindow::buildParameterGrid(QWidget* page, int firstEntry, int lastEntry) {
    const int pageIndex = page->property("kivPageIndex").toInt();
    auto* grid = Tight(new QGridLayout, 0, 4);
    for (int c = 0; c < kParamBoxCount; ++c) {
        auto* header = new QLabel(Latin1(kParamBoxNames[static_cast<std::size_t>(c)]), page);
        grid->addWidget(header, 0, c + 1, Qt::AlignHCenter);
    }
    const int boxWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000000"));
    for (int entry = firstEntry; entry <= lastEntry; ++entry) {
        const int row = entry - firstEntry + 1;
        grid->addWidget(new QLabel(Latin1(SignalVariableOf(entry).name), page), row, 0);
        for (int c = 0; c < kParamBoxCount; ++c) {
            const QString column =
                QStringLiteral("fuction_") + Latin1(kParamBoxNames[static_cast<std::size_t>(c)]);
            const QString name = ControlName(column.toLatin1().constData(), entry);
            QLineEdit* edit = addTextBox(ParamBoxColumn(m_model, c)(entry), name, page);
            edit->setFixedWidth(boxWidth);
            // Working in a row shows that row's signal in the illustration.
            edit->setProperty("kivPage", pageIndex);
            edit->setProperty("kivEntry", entry);
            edit->installEventFilter(this);
            grid->addWidget(edit, row, c + 1);
        }
    }
    return grid;
}

}  // namespace kiv
