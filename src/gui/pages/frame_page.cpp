// The page "帧格式": the frame's header and trailer, counter, length byte
// and checksum, and the applied layout with the next frame's bytes.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "sending/frame_settings.h"

namespace kiv {

namespace {

// The words beside the boxes are the window's own, as are the headers of
// the parameter grids.
QLabel* Caption(QWidget* page, const char* text) {
    return new QLabel(QString::fromUtf8(text), page);
}

}  // namespace

QWidget* MainWindow::buildFramePage() {
    auto* page = new QWidget;
    auto* column = Tight(new QVBoxLayout(page), 6, 6);
    column->addLayout(buildFrameFormatGrid(page));

    auto* note = Caption(page, "帧头、帧尾：十六进制字节，以空格或逗号分隔，至多 8 个。");
    column->addWidget(note);

    // The applied layout and the next frame's bytes: long enough to wrap,
    // and selectable, so the bytes can be copied into a receiver's test.
    column->addWidget(Caption(page, "帧结构及下一帧："));
    auto* layout = static_cast<QLabel*>(
        addLabel(m_model.frameLayout.Caption, QStringLiteral("frameLayout"), page));
    layout->setWordWrap(true);
    layout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->setFrameShape(QFrame::StyledPanel);
    layout->setMargin(4);
    column->addWidget(layout, 1);

    auto* applyRow = Tight(new QHBoxLayout, 0);
    applyRow->addStretch(1);
    applyRow->addWidget(
        addButton(m_model.Command9, QStringLiteral("Command9"), page, &Command9_Click));
    column->addLayout(applyRow);
    return page;
}

QGridLayout* MainWindow::buildFrameFormatGrid(QWidget* page) {
    auto* grid = Tight(new QGridLayout, 0, 4);
    grid->setHorizontalSpacing(6);
    const int byteListWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("00 00 00 00 00 00 00 00")) + 12;
    QLineEdit* header = addTextBox(m_model.frameHeader, QStringLiteral("frameHeader"), page);
    header->setMinimumWidth(byteListWidth);
    QLineEdit* trailer = addTextBox(m_model.frameTrailer, QStringLiteral("frameTrailer"), page);
    trailer->setMinimumWidth(byteListWidth);
    for (QLineEdit* edit : {header, trailer})
        edit->setPlaceholderText(QStringLiteral("无，或如 AA 55"));
    grid->addWidget(Caption(page, "帧头"), 0, 0);
    grid->addWidget(header, 0, 1);
    grid->addWidget(Caption(page, "帧尾"), 0, 3);
    grid->addWidget(trailer, 0, 4);

    grid->addWidget(Caption(page, "计数"), 1, 0);
    grid->addWidget(addChoiceBox(m_model.frameCounter, QStringLiteral("frameCounter"), page), 1, 1);
    QCheckBox* length =
        addCheckBox(m_model.frameLengthByte, QStringLiteral("frameLengthByte"), page);
    grid->addWidget(length, 1, 3, 1, 2, Qt::AlignLeft);

    grid->addWidget(Caption(page, "校验"), 2, 0);
    grid->addWidget(addChoiceBox(m_model.frameChecksum, QStringLiteral("frameChecksum"), page,
                                 &frameChecksum_Click),
                    2, 1);
    grid->addWidget(Caption(page, "字节顺序"), 2, 3);
    grid->addWidget(
        addChoiceBox(m_model.frameChecksumOrder, QStringLiteral("frameChecksumOrder"), page), 2, 4);
    grid->addWidget(Caption(page, "校验范围"), 3, 3);
    grid->addWidget(
        addChoiceBox(m_model.frameChecksumFrom, QStringLiteral("frameChecksumFrom"), page), 3, 4);
    grid->setColumnMinimumWidth(2, 16);
    grid->setColumnStretch(5, 1);
    return grid;
}

}  // namespace kiv
