#include "cli/cli_setup_values.h"

#include <algorithm>

#include "cli/cli_value_rules.h"
#include "model/box_labels.h"
#include "model/form.h"
#include "model/one_line.h"
#include "model/signal_table.h"

namespace kiv {
namespace {

// "发送 page" from "发送 page, slot 1".
std::string PageOfBox(const std::string& box) {
    const std::string label = BoxLabel(box);
    return label.substr(0, label.find(", "));
}

}  // namespace

std::optional<std::string> CheckSetupValues(const Setup& s, const CliOptions& o,
                                            std::vector<std::string>& notes) {
    static const Model fresh;
    // The serial page: the window's entries, and for the rate any rate
    // --baud takes.
    for (int i = 0; i < kPortBoxCount; ++i) {
        if (o.PortBoxText(i)) continue;
        const std::string& text = s.serial[static_cast<std::size_t>(i)];
        const auto& list = fresh.Combo1(i).List;
        if (std::find(list.begin(), list.end(), text) != list.end()) continue;
        const std::string shown = BoxLabel(IndexedName("Combo1", i)) + " " + Quoted(text) + ": ";
        if (i == kPortBoxBaud) {
            if (auto fault = BaudFault(text)) return shown + *fault;
            continue;
        }
        std::string entries;
        for (const std::string& e : list) entries += (entries.empty() ? "" : ", ") + e;
        return shown + "expected one of " + entries;
    }
    if (!o.frame) {
        std::vector<std::string> slots(s.slotTexts.begin(), s.slotTexts.end());
        for (int i = 1; i <= kSlotCount; ++i) {
            const std::string& text = slots[static_cast<std::size_t>(i - 1)];
            if (auto fault = SlotFault(text))
                return BoxLabel(IndexedName("sendText1", i)) + " " + Quoted(text) + " " + *fault;
        }
        const std::string page = PageOfBox("sendText1(1)") + ": ";
        std::vector<std::string> planNotes;
        if (auto fault = PlanFault(slots, planNotes)) return page + *fault;
        for (const std::string& note : planNotes) notes.push_back(page + note);
    }
    if (!o.period) {
        const std::string shown = BoxLabel("autosendtext1") + " " + Quoted(s.period) + ": ";
        std::vector<std::string> periodNotes;
        if (auto fault = PeriodFault(s.period, periodNotes)) return shown + *fault;
        for (const std::string& note : periodNotes) notes.push_back(shown + note);
    }
    for (const FrameSetupRow& row : kFrameSetupKeys) {
        const std::string& text = FrameText(s, row.key);
        // An order left out is the checksum's usual one.
        if (o.frameFormat[static_cast<std::size_t>(row.key)] ||
            (row.key == FrameSetupKey::ChecksumOrder && text.empty()))
            continue;
        if (auto fault = FrameFault(row.key, text))
            return BoxLabel(row.control) + " " + Quoted(text) + ": " + *fault;
    }
    for (int entry = 1; entry <= kSignalEntryCount; ++entry) {
        for (int c = 0; c < kParamBoxCount; ++c) {
            if (!IsEditableParam(entry, c)) continue;
            const auto column = static_cast<std::size_t>(c);
            const std::string& text = s.params[static_cast<std::size_t>(entry - 1)][column];
            if (auto fault = ParameterFault(std::string(kParamBoxNames[column]), text)) {
                // "正弦波设置 page, sinx1 t1" without the key, which the fault names.
                const std::string label =
                    BoxLabel(IndexedName(std::string(kParamBoxControls[column]), entry));
                return label.substr(0, label.rfind(' ')) + ": " + *fault;
            }
        }
    }
    return std::nullopt;
}

void OverlayOptions(Setup& setup, const CliOptions& o) {
    for (int i = kPortBoxBaud; i < kPortBoxCount; ++i)
        if (const auto& text = o.PortBoxText(i)) setup.serial[static_cast<std::size_t>(i)] = *text;
    if (o.frame) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(kSlotCount); ++i)
            setup.slotTexts[i] = i < o.frame->size() ? (*o.frame)[i] : "";
    }
    if (o.period) setup.period = *o.period;
    if (!o.noise.empty()) {
        setup.noise = {};
        for (int slot : o.noise) setup.noise.at(static_cast<std::size_t>(slot - 1)) = true;
    }
    for (const FrameSetupRow& row : kFrameSetupKeys)
        if (const auto& text = o.frameFormat[static_cast<std::size_t>(row.key)])
            FrameText(setup, row.key) = *text;
    for (const SignalSetting& s : o.sets)
        for (const auto& [key, text] : s.fields)
            setup.params.at(static_cast<std::size_t>(s.entry - 1))
                .at(static_cast<std::size_t>(FindParamBox(key))) = text;
}

}  // namespace kiv
