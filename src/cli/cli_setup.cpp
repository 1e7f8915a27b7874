#include "cli/cli_setup.h"

#include "app/setup_io.h"
#include "cli/headless.h"
#include "sending/setup_load.h"

namespace kiv {

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
    if (o.setup) {
        auto read = ReadSetupFile(*o.setup);
        if (auto* problem = std::get_if<std::string>(&read)) {
            err("--setup " + *problem);
            return kExitBadInput;
        }
        setup = std::get<Setup>(read);
    }
    OverlayOptions(setup, o);
    // Every page is applied, so a setup that the window would reject is
    // neither sent nor written.
    const Outcome loaded = LoadSetup(w, setup);
    if (!loaded) {
        const std::string source = o.setup ? "--setup " + *o.setup : "the options";
        err(source + ": " + (loaded.box.empty() ? "" : loaded.box + ": ") + loaded.reason);
        return kExitBadInput;
    }
    if (!o.writeSetup) return std::nullopt;
    const std::string problem = WriteSetupFile(*o.writeSetup, setup, "kiv-cli");
    if (!problem.empty()) {
        err("--write-setup " + problem);
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace kiv
