#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "model/setup_file.h"

namespace kiv {

// The setup's values judged by kiv-cli's rules, as if each had been given
// as its option (values the options replace are not looked at): nothing
// when all are accepted, otherwise the first fault, naming the page and box.
// `notes` gets the warnings the options would give (a period rounded or 0,
// slots after an empty one).
std::optional<std::string> CheckSetupValues(const Setup& setup, const CliOptions& o,
                                            std::vector<std::string>& notes);

// The options' texts written over a setup, the way they would be typed over
// the boxes: what a command line describes on top of --setup.
void OverlayOptions(Setup& setup, const CliOptions& o);

}  // namespace kiv
