// kiv-cli: the generator without a window, for scripts and test benches.
// It fills the same controls the window has and runs the same handlers, in
// the order a user would click them.
#include <QCoreApplication>
#include <cstdio>
#include <iostream>
#include <string>
#include <variant>
#include <vector>

#include "cli/cli_help.h"
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/exit_codes.h"
#include "platform/port_naming.h"
#include "platform/program_io.h"
#include "platform/stop_signals.h"

int main(int argc, char** argv) {
    using namespace kiv;
    HardStopGuard guard;
    // First, so that even --help into a closed pipe ends with an exit code.
    InstallStopSignals();
    SetUpStandardStreams();
    const std::vector<std::string> args = ProgramArguments(argc, argv);
    auto parsed = ParseCliOptions(args);
    // Values in messages come from the user and from files: whatever they
    // hold, a message stays one line that the terminal shows as it is.
    // Written past std::cerr, which the run quiets while the window's own
    // code sends (kiv-cli says what happened in its own line).
    auto err = [](const std::string& text) {
        WriteStandardError("kiv-cli: " + OneLine(text) + "\n");
    };
    if (auto* e = std::get_if<std::string>(&parsed)) {
        err(*e);
        return kExitBadInput;
    }
    const CliOptions& o = std::get<CliOptions>(parsed);
    if (o.help) {
        std::cout << CliUsage();
        return kExitOk;
    }
    if (o.version) {
        std::cout << CliVersion() << std::endl;
        return kExitOk;
    }
    for (const std::string& warning : o.warnings) err("warning: " + warning);
    if (!o.device && !o.writeSetup && !VirtualPortOffered()) {
        err("name the COM port to send on with --device COMn: this system has no virtual port");
        return kExitBadInput;
    }

    QCoreApplication app(argc, argv);
    CliRun run(o, err);
    return run.Exec();
}
