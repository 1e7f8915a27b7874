#include "model/box_labels.h"

#include <array>
#include <cstdlib>
#include <string_view>

#include "model/model.h"
#include "model/signal_table.h"

namespace kiv {
namespace {

// The boxes by the form's names. The page is the tab's index; a signal
// parameter box lies on the page of its row's waveform (kSignalPage). In
// the label, '#' stands for the box's index, '@' for the label the page
// shows beside it, '$' for the signal variable of its row.
constexpr int kSignalPage = -1;
struct BoxLabelRow {
    std::string_view control;
    int page;
    std::string_view label;
};
constexpr std::array<BoxLabelRow, 17> kBoxLabels = {{
    {"sendText1", tab::kSend, "slot #"},
    {"autosendtext1", tab::kSend, "period"},
    {"Check2", tab::kSend, "noise box of slot #"},
    {"Combo1", tab::kSerial, "@ box"},
    {"fuction_t1", kSignalPage, "$ t1"},
    {"fuction_t2", kSignalPage, "$ t2"},
    {"fuction_t3", kSignalPage, "$ t3"},
    {"fuction_am", kSignalPage, "$ am"},
    {"fuction_a0", kSignalPage, "$ a0"},
    {"Check1", tab::kNoise, "slot #"},
    {"frameHeader", tab::kFrame, "header"},
    {"frameCounter", tab::kFrame, "counter"},
    {"frameLengthByte", tab::kFrame, "length byte"},
    {"frameChecksum", tab::kFrame, "checksum"},
    {"frameChecksumOrder", tab::kFrame, "checksum byte order"},
    {"frameChecksumFrom", tab::kFrame, "checksum range"},
    {"frameTrailer", tab::kFrame, "trailer"},
}};

const Model& FreshWindow() {
    static const Model fresh;
    return fresh;
}

}  // namespace

std::string BoxLabel(const std::string& box) {
    const std::size_t open = box.find('(');
    const std::string_view control = std::string_view(box).substr(0, open);
    const int index = open == std::string::npos ? 0 : std::atoi(box.c_str() + open + 1);
    for (const BoxLabelRow& row : kBoxLabels) {
        if (row.control != control) continue;
        const bool signalRow = row.page == kSignalPage;
        if (signalRow && (index < 1 || index > kSignalEntryCount)) return box;
        const int page = signalRow ? WaveOf(SignalVariableOf(index).waveform).page : row.page;
        std::string out = FreshWindow().tabpage(page).Caption + " page, ";
        for (char c : row.label) {
            if (c == '#')
                out += std::to_string(index);
            else if (c == '@' && index >= 0 && index < kPortBoxCount)
                out += FreshWindow().Label3(index).Caption;
            else if (c == '$')
                out += SignalVariableOf(index).name;
            else
                out += c;
        }
        return out;
    }
    return box;
}

}  // namespace kiv
