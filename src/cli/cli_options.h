#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kiv {

// Parameters typed for one signal page row, e.g. --set sinx1=t1:100,am:60.
struct SignalSetting {
    std::string name;                                         // sinx1..trix3 or noise
    int entry = 0;                                            // its entry of signalParams
    std::vector<std::pair<std::string, std::string>> fields;  // (t1|t2|t3|am|a0, text)
    std::string option;  // the option as given, for error messages
};

// The command line of the headless generator: every value is kept as the
// text a user would type into the window, so the window's handlers judge it.
struct CliOptions {
    std::optional<std::string> baud, parity, dataBits, stopBits;  // parity as "无", "奇" or "偶"
    std::optional<std::string> device;
    std::optional<std::vector<std::string>> frame;  // slot texts, at most ten
    std::optional<std::string> period;
    std::vector<SignalSetting> sets;
    std::vector<int> noise;  // slots 1..10 that get noise
    std::optional<long> frames;
    std::optional<double> seconds;
    std::optional<std::string> log;
    std::optional<std::string> setup, writeSetup;  // --setup FILE, --write-setup FILE
    bool help = false;
};

// Parses the arguments (without the program name). Returns the options or
// an error text naming the option at fault.
std::variant<CliOptions, std::string> ParseCliOptions(const std::vector<std::string>& args);

// The --help text.
std::string CliUsage();

}  // namespace kiv
