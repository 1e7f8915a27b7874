#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "model/one_line.h"
#include "model/setup_file.h"

namespace kiv {

// Parameters typed for one signal page row, e.g. --set sinx1=t1:100,am:60.
struct SignalSetting {
    std::string name;                                         // sinx1..trix3 or noise
    int entry = 0;                                            // its entry of signalParams
    std::vector<std::pair<std::string, std::string>> fields;  // (t1|t2|t3|am|a0, text)
    std::string option;  // the option as given, for error messages
};

// The command line of the headless generator. Values are kept as the text a
// user would type into the window, so the window's handlers judge them too;
// the parser has already checked each one by the window's rules, so that a
// mistake is named before anything is opened.
struct CliOptions {
    std::optional<std::string> baud, parity, dataBits, stopBits;  // parity as "无", "奇" or "偶"
    std::optional<std::string> device;
    std::optional<std::vector<std::string>> frame;  // slot texts, at most ten
    std::optional<std::string> period;
    std::vector<SignalSetting> sets;
    std::vector<int> noise;  // slots 1..10 that get noise
    // The frame format by the names of the setup's [frame] keys (FrameSetupKey
    // order): what the options give, unset where they give nothing.
    std::array<std::optional<std::string>, 7> frameFormat;
    std::optional<long> frames;
    std::optional<double> seconds;
    std::optional<std::string> log;                // "-" for standard output
    std::optional<std::string> setup, writeSetup;  // --setup FILE, --write-setup FILE
    bool help = false;
    bool version = false;
    // One-line notes about values that were accepted but do not mean what
    // they may seem to (a period of 0, a fractional period).
    std::vector<std::string> warnings;

    // The text the options give the serial page's box Combo1(box): none for
    // the port (box 0), which --device stands in for.
    const std::optional<std::string>& PortBoxText(int box) const;
};

// The options and how they read, one row each: the parser and --help both
// read the rows.
enum class CliHelpSection { Line, Content, Frame, Signals, Stopping, Setups, Other };
struct CliParse;  // the options read so far
struct CliOption {
    std::string_view name;   // "--baud"
    std::string_view value;  // what --help shows as its value, "" for none
    std::string_view help;   // its description in --help, lines split by '\n'
    CliHelpSection section;  // the block of --help that lists it
    // Takes a value given with the option named `name`: stores it, or
    // returns the whole message of the rule it broke. Null for --help and
    // --version; an option whose `value` is "" takes none and is given "".
    std::optional<std::string> (*take)(CliParse& p, const std::string& name,
                                       const std::string& value);
};
extern const std::span<const CliOption> kCliOptions;
inline constexpr std::string_view kHelpOption = "--help";  // also -h
inline constexpr std::string_view kVersionOption = "--version";

// Parses the arguments (without the program name). --help anywhere wins
// over everything else; then --version. Otherwise returns the options, or
// one line that starts with the option at fault and says which rule it broke.
std::variant<CliOptions, std::string> ParseCliOptions(const std::vector<std::string>& args);

}  // namespace kiv
