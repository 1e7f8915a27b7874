#include "cli/cli_setup.h"

#include <algorithm>

#include "app/setup_io.h"
#include "cli/exit_codes.h"
#include "cli/headless.h"
#include "model/box_labels.h"
#include "sending/setup_load.h"

namespace kiv {
namespace {

// "发送 page" from "发送 page, slot 1".
std::string PageOfBox(const std::string& box) {
    const std::string label = BoxLabel(box);
    return label.substr(0, label.find(", "));
}

// The file's own problem: the reader and writer name the file first,
// which the message shows in quotes, cut.
std::string WithoutPath(const std::string& problem, const std::string& path) {
    const std::string named = path + ": ";
    return problem.rfind(named, 0) == 0 ? problem.substr(named.size()) : problem;
}

}  // namespace

std::optional<std::string> CheckSetupValues(const Setup& s, const CliOptions& o,
                                            std::vector<std::string>& notes) {
    static const Model fresh;
    // The serial page: the window's entries, and for the rate any rate
    // --baud takes.
    const std::optional<std::string>* given[5] = {nullptr, &o.baud, &o.parity, &o.dataBits,
                                                  &o.stopBits};
    for (int i = 0; i <= 4; ++i) {
        if (given[i] != nullptr && given[i]->has_value()) continue;
        const std::string& text = s.serial[static_cast<std::size_t>(i)];
        const auto& list = fresh.Combo1(i).List;
        if (std::find(list.begin(), list.end(), text) != list.end()) continue;
        const std::string shown = BoxLabel(IndexedName("Combo1", i)) + " " + Quoted(text) + ": ";
        if (i == 1) {
            if (auto fault = BaudFault(text)) return shown + *fault;
            continue;
        }
        std::string entries;
        for (const std::string& e : list) entries += (entries.empty() ? "" : ", ") + e;
        return shown + "expected one of " + entries;
    }
    if (!o.frame) {
        std::vector<std::string> slots(s.slotTexts.begin(), s.slotTexts.end());
        for (int i = 1; i <= 10; ++i) {
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
    const char* const keys[kParamColumns] = {"t1", "t2", "t3", "am", "a0"};
    const char* const columns[kParamColumns] = {"fuction_t1", "fuction_t2", "fuction_t3",
                                                "fuction_am", "fuction_a0"};
    for (int entry = 1; entry <= 10; ++entry) {
        for (int c = 0; c < kParamColumns; ++c) {
            if (!IsEditableParam(entry, c)) continue;
            const std::string& text =
                s.params[static_cast<std::size_t>(entry - 1)][static_cast<std::size_t>(c)];
            if (auto fault = ParameterFault(keys[c], text)) {
                // "正弦波设置 page, sinx1 t1" without the key, which the fault names.
                const std::string label = BoxLabel(IndexedName(columns[c], entry));
                return label.substr(0, label.rfind(' ')) + ": " + *fault;
            }
        }
    }
    return std::nullopt;
}

void OverlayOptions(Setup& setup, const CliOptions& o) {
    const std::optional<std::string>* serial[5] = {nullptr, &o.baud, &o.parity, &o.dataBits,
                                                   &o.stopBits};
    for (std::size_t i = 1; i < 5; ++i)
        if (serial[i]->has_value()) setup.serial[i] = **serial[i];
    if (o.frame) {
        for (std::size_t i = 0; i < 10; ++i)
            setup.slotTexts[i] = i < o.frame->size() ? (*o.frame)[i] : "";
    }
    if (o.period) setup.period = *o.period;
    if (!o.noise.empty()) {
        setup.noise = {};
        for (int slot : o.noise) setup.noise.at(static_cast<std::size_t>(slot - 1)) = true;
    }
    const char* const columns[kParamColumns] = {"t1", "t2", "t3", "am", "a0"};
    for (const SignalSetting& s : o.sets)
        for (const auto& [key, text] : s.fields)
            for (std::size_t c = 0; c < kParamColumns; ++c)
                if (key == columns[c])
                    setup.params.at(static_cast<std::size_t>(s.entry - 1))[c] = text;
}

std::optional<int> RunSetupOptions(const CliOptions& o, Model& w,
                                   const std::function<void(const std::string&)>& err) {
    if (!o.setup && !o.writeSetup) return std::nullopt;
    Setup setup = InitialSetup();
    const std::string source = o.setup ? "--setup " + Quoted(*o.setup) : "the options";
    if (o.setup) {
        auto read = ReadSetupFile(*o.setup);
        if (auto* problem = std::get_if<std::string>(&read)) {
            err(source + ": " + WithoutPath(*problem, *o.setup));
            return kExitBadInput;
        }
        setup = std::get<Setup>(read);
    }
    OverlayOptions(setup, o);
    if (o.setup) {
        std::vector<std::string> notes;
        if (auto fault = CheckSetupValues(setup, o, notes)) {
            err(source + ": " + *fault);
            return kExitBadInput;
        }
        for (const std::string& note : notes) err("warning: " + source + ": " + note);
    }
    // A rate beyond the window's list, from the file or --baud, is the
    // device's to judge, as --baud alone is.
    AdmitBaudRate(w, setup.serial[1]);
    // Every page is applied, so a setup that the window would reject is
    // neither sent nor written.
    const Outcome loaded = LoadSetup(w, setup);
    if (!loaded) {
        err(source + ": " + (loaded.box.empty() ? "" : BoxLabel(loaded.box) + ": ") +
            loaded.reason);
        return kExitBadInput;
    }
    if (!o.writeSetup) return std::nullopt;
    const std::string problem = WriteSetupFile(*o.writeSetup, setup, "kiv-cli");
    if (!problem.empty()) {
        err("--write-setup " + Quoted(*o.writeSetup) + ": " + WithoutPath(problem, *o.writeSetup));
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace kiv
