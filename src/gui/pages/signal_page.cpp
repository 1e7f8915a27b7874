// The pages of the three periodic waves, "正弦波", "矩形波" and "锯齿波": one
// builder over one table, each page its wave's rows of parameter boxes,
// their notes, the wave's picture and the page's apply button.
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "gui/main_window.h"
#include "gui/pages/page_layout.h"
#include "gui/wave_picture.h"
#include "model/signal_table.h"
#include "signal/signal_params.h"

namespace kiv {
namespace {

// What differs between the three pages besides their wave's row (kWaves):
// the form's names of their notes and of their apply button.
struct SignalPage {
    Waveform waveform;
    std::vector<std::string> Model::*notes;
    const char* notesName;
    CommandButton Model::*apply;
    const char* applyName;
    void (*handler)(Model&);
};

constexpr SignalPage kSignalPages[] = {
    {Waveform::Sine, &Model::sineNotes, "sineNotes", &Model::Command2, "Command2", &Command2_Click},
    {Waveform::Rectangular, &Model::squareNotes, "squareNotes", &Model::Command3, "Command3",
     &Command3_Click},
    {Waveform::Sawtooth, &Model::sawtoothNotes, "sawtoothNotes", &Model::Command4, "Command4",
     &Command4_Click},
};

// The row of the page whose wave's row names `page`.
const SignalPage& SignalPageOf(int page) {
    for (const SignalPage& row : kSignalPages)
        if (WaveOf(row.waveform).page == page) return row;
    return kSignalPages[0];
}

}  // namespace

QWidget* MainWindow::buildSignalPage(int pageIndex) {
    const SignalPage& spec = SignalPageOf(pageIndex);
    const int firstEntry = FirstEntryOf(spec.waveform);
    auto* page = new QWidget;
    page->setProperty("kivPageIndex", pageIndex);
    auto* row = Tight(new QHBoxLayout(page), 6, 10);

    auto* left = Tight(new QVBoxLayout, 0, 2);
    left->addLayout(buildParameterGrid(page, firstEntry, LastEntryOf(spec.waveform)));
    left->addSpacing(6);
    addNotes(m_model.*spec.notes, QString::fromLatin1(spec.notesName), page, left);
    left->addStretch(1);
    row->addLayout(left);

    auto* right = Tight(new QVBoxLayout, 0, 6);
    auto* picture = new WavePicture(spec.waveform, page);
    picture->setObjectName(ControlName("picture", pageIndex));
    m_pictures[static_cast<std::size_t>(pageIndex)] = {picture, firstEntry};
    right->addWidget(picture, 1);
    right->addWidget(
        addButton(m_model.*spec.apply, QString::fromLatin1(spec.applyName), page, spec.handler), 0,
        Qt::AlignRight);
    row->addLayout(right, 1);
    return page;
}

}  // namespace kiv
