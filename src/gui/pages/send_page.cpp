// The page "发送": the ten slots, the period and the send buttons, and the
// status line with its lamp and the frame count.
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/lamp_widget.h"
#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "gui/tally_display.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "signal/noise_targets.h"

namespace kiv {

QWidget* MainWindow::buildSendPage() {
    auto* page = new QWidget;
    auto* column = Tight(new QVBoxLayout(page), 6);
    auto* top = Tight(new QHBoxLayout, 0, 12);
    column->addLayout(top);
    top->addLayout(buildSlotGrid(page));
    top->addStretch(1);
    top->addLayout(buildSendControls(page));

    column->addStretch(1);
    // The line's rate against the applied plan, shown only when too slow.
    m_capacity = new QLabel(page);
    m_capacity->setObjectName(QStringLiteral("capacityWarning"));
    m_capacity->setStyleSheet(QStringLiteral("color: #b00000"));
    m_capacity->hide();
    column->addWidget(m_capacity);
    column->addLayout(buildSendStatus(page));
    return page;
}

QGridLayout* MainWindow::buildSlotGrid(QWidget* page) {
    // Two columns of half the slots each, a slot a caption, its box and its
    // tick.
    auto* slotGrid = Tight(new QGridLayout, 0, 3);
    slotGrid->setHorizontalSpacing(6);
    slotGrid->addWidget(addLabel(m_model.Label53.Caption, QStringLiteral("Label53"), page), 0, 2);
    slotGrid->addWidget(addLabel(m_model.Label54.Caption, QStringLiteral("Label54"), page), 0, 6);
    const int boxWidth = fontMetrics().horizontalAdvance(QStringLiteral("sinx1")) * 2;
    constexpr int kColumnSlots = kSlotCount / 2;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const int row = (slot - 1) % kColumnSlots + 1;
        const int col = slot <= kColumnSlots ? 0 : 4;
        slotGrid->addWidget(
            addLabel(m_model.Label1(slot - 1).Caption, ControlName("Label1", slot - 1), page), row,
            col);
        QLineEdit* edit = addTextBox(m_model.sendText1(slot), ControlName("sendText1", slot), page);
        edit->setFixedWidth(boxWidth);
        slotGrid->addWidget(edit, row, col + 1);
        slotGrid->addWidget(addCheckBox(m_model.Check2(slot), ControlName("Check2", slot), page,
                                        [slot](Model& m) { Check2_Click(m, slot); }),
                            row, col + 2, Qt::AlignHCenter);
    }
    slotGrid->setColumnMinimumWidth(3, 10);
    return slotGrid;
}

QBoxLayout* MainWindow::buildSendControls(QWidget* page) {
    auto* controls = Tight(new QVBoxLayout, 0, 4);
    controls->addWidget(addLabel(m_model.Label2.Caption, QStringLiteral("Label2"), page));
    QLineEdit* period = addTextBox(m_model.autosendtext1, QStringLiteral("autosendtext1"), page);
    controls->addWidget(period);
    controls->addWidget(
        addButton(m_model.Command7, QStringLiteral("Command7"), page, &Command7_Click));
    controls->addWidget(
        addButton(m_model.starsend, QStringLiteral("starsend"), page, &starsend_Click));
    controls->addWidget(
        addButton(m_model.pausesend, QStringLiteral("pausesend"), page, &pausesend_Click));
    controls->addWidget(
        addButton(m_model.Command8, QStringLiteral("Command8"), page, &Command8_Click));
    controls->addStretch(1);
    return controls;
}

QBoxLayout* MainWindow::buildSendStatus(QWidget* page) {
    auto* status = Tight(new QHBoxLayout, 0, 6);
    status->addWidget(addLabel(m_model.Label49.Caption, QStringLiteral("Label49"), page));
    // The status line says why the line was lost, as the lamp beside it
    // does: a window started from Explorer has no standard error to say it.
    QWidget* statusText = addLabel(m_model.Label50.Caption, QStringLiteral("Label50"), page);
    m_bindings.push_back(std::make_unique<ToolTipBinding>(m_model.lampToolTip, statusText));
    status->addWidget(statusText);
    status->addWidget(addLamp(m_model.Shape1(1), ControlName("Shape1", 1), page));
    status->addStretch(1);
    auto* tally = new TallyDisplay(page);
    tally->setObjectName(QStringLiteral("Tally1"));
    tally->setMinimumSize(fontMetrics().height() * 6, fontMetrics().height() * 2);
    m_bindings.push_back(std::make_unique<TallyBinding>(m_model.Tally1, tally));
    status->addWidget(tally);
    return status;
}

}  // namespace kiv
