#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_setup_values.h"
#include "model/model.h"
#include "model/setup_file.h"

namespace kiv {

// --setup and --write-setup, run after start-up: loads the setup the file
// and the options describe into the window model (applying every page, the
// port stays closed), and for --write-setup writes it and ends. Returns the
// exit code when the program ends here, nothing when it goes on to send.
// Warnings about the setup go through `err` too, after "warning: ".
std::optional<int> RunSetupOptions(const CliOptions& o, Model& w,
                                   const std::function<void(const std::string&)>& err);

}  // namespace kiv
