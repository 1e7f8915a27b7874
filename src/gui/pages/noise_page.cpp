// The page "噪声": the noise source's row, its notes and picture, and the
// slots its noise is added to.
#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "gui/wave_picture.h"
#include "signal/noise_targets.h"
#include "signal/signal_params.h"

namespace kiv {

QWidget* MainWindow::buildNoisePage() {
    auto* page = new QWidget;
    page->setProperty("kivPageIndex", tab::kNoise);
    auto* column = Tight(new QVBoxLayout(page), 6, 6);

    auto* top = Tight(new QHBoxLayout, 0, 10);
    auto* left = Tight(new QVBoxLayout, 0, 2);
    left->addLayout(buildParameterGrid(page, kNoiseEntry, kNoiseEntry));
    left->addSpacing(6);
    addNotes(m_model.noiseNotes, QStringLiteral("noiseNotes"), page, left);
    left->addStretch(1);
    top->addLayout(left);
    auto* picture = new WavePicture(Waveform::Noise, page);
    picture->setObjectName(ControlName("picture", tab::kNoise));
    m_pictures[tab::kNoise] = {picture, kNoiseEntry};
    top->addWidget(picture, 1);
    column->addLayout(top, 1);

    auto* targets = Tight(new QHBoxLayout, 0, 4);
    targets->addWidget(
        addLabel(m_model.noiseTargetsLabel.Caption, QStringLiteral("noiseTargetsLabel"), page));
    for (int i = 1; i <= kSlotCount; ++i)
        targets->addWidget(addCheckBox(m_model.Check1(i), ControlName("Check1", i), page,
                                       [i](Model& m) { Check1_Click(m, i); }));
    targets->addStretch(1);
    column->addLayout(targets);

    auto* applyRow = Tight(new QHBoxLayout, 0);
    applyRow->addStretch(1);
    applyRow->addWidget(
        addButton(m_model.Command6, QStringLiteral("Command6"), page, &Command6_Click));
    column->addLayout(applyRow);
    return page;
}

}  // namespace kiv
