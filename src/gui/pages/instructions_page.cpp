// The page "使用说明": the program's name and notes, an ornament, and the
// manual in a box of its own width.
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "gui/wave_picture.h"

namespace kiv {

QWidget* MainWindow::buildInstructionsPage() {
    auto* page = new QWidget;
    auto* row = Tight(new QHBoxLayout(page), 6, 10);

    auto* left = Tight(new QVBoxLayout, 0, 4);
    for (std::size_t i = 0; i < m_model.instructionLabels.size(); ++i) {
        QWidget* label = addLabel(m_model.instructionLabels[i].Caption,
                                  ControlName("instructionLabels", static_cast<int>(i)), page);
        QFont f = label->font();
        f.setBold(i < 2);
        if (i == 0) f.setPointSizeF(f.pointSizeF() * 1.5);
        label->setFont(f);
        left->addWidget(label);
    }
    auto* ornament = new WavePicture(Waveform::Sine, page);
    ornament->setObjectName(ControlName("picture", tab::kInstructions));
    ornament->setDecorative(true);
    ornament->setSignal(QString(), SignalParams{1, 0, 0, 200, 28, 1});
    ornament->setFixedSize(fontMetrics().height() * 7, fontMetrics().height() * 3);
    left->addWidget(ornament);
    left->addStretch(1);
    for (const auto& [label, name] : {std::pair{&m_model.contactLabel, "contactLabel"},
                                      std::pair{&m_model.rightsLabel, "rightsLabel"}}) {
        QWidget* small = addLabel(label->Caption, QString::fromLatin1(name), page);
        QFont f = small->font();
        f.setPointSizeF(f.pointSizeF() * 0.8);
        small->setFont(f);
        left->addWidget(small);
    }
    row->addLayout(left);

    auto* manual = new QPlainTextEdit(page);
    manual->setObjectName(QStringLiteral("Text2"));
    manual->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    manual->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto binding = std::make_unique<MultiLineTextBinding>(m_model.Text2, manual);
    MultiLineTextBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    connect(manual, &QPlainTextEdit::textChanged, this,
            [b, manual] { b->userEdited(manual->toPlainText()); });
    // The manual comes with its own line breaks: the box is made wide enough
    // for its longest line, so that no line wraps a second time.
    const QFontMetrics fm(manual->font());
    int longest = 0;
    for (const QString& line : ToQt(m_model.Text2.Text).split(QStringLiteral("\r\n")))
        longest = qMax(longest, fm.horizontalAdvance(line));
    const int chrome = 2 * static_cast<int>(manual->document()->documentMargin()) +
                       2 * manual->frameWidth() +
                       manual->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 6;
    manual->setMinimumWidth(longest + chrome);
    row->addWidget(manual, 1);
    return page;
}

}  // namespace kiv
