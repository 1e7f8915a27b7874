#pragma once

#include <string>

namespace kiv {

// The --help text.
std::string CliUsage();
// The --version line.
std::string CliVersion();

}  // namespace kiv
