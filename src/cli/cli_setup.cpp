#include "cli/cli_setup.h"

#include <algorithm>

#include "app/setup_io.h"
#include "cli/exit_codes.h"
#include "cli/headless.h"
#include "model/box_labels.h"
#include "sending/setup_load.h"

namespace kiv {
namespace {

// The file's own problem: the reader and writer name the file first,
// which the message shows in quotes, cut.
std::string WithoutPath(const std::string& problem, const std::string& path) {
    const std::string named = path + ": ";
    return problem.rfind(named, 0) == 0 ? problem.substr(named.size()) : problem;
}

}  // namespace

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
    AdmitBaudRate(w, setup.serial[kPortBoxBaud]);
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
