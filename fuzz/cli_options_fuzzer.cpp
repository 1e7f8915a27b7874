// kiv-cli's option parser on any command line (the input split at NUL
// bytes into arguments): --help anywhere gives the help and nothing else;
// otherwise either a set of options whose every value obeys its rule, judged
// by the independent reference, or exactly one one-line message that starts
// with an argument it names.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "reference.h"

namespace kiv::fuzz {
namespace {

constexpr std::size_t kMostArgs = 40;

bool Digits(const std::string& text, long lo, long hi) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && v >= lo &&
           v <= hi;
}

bool InRange(const std::string& text, std::int64_t lo, std::int64_t hi) {
    return RefIsNumber(text) && RefTextToRange(text, lo, hi).ok();
}

bool ValidSlot(const std::string& slot) {
    const std::string lower = RefLower(slot);
    if (lower.empty()) return true;
    if (RefIsNumber(lower)) return InRange(lower, 0, 255);
    return RefSignalEntry(lower) != 0;
}

// What the sine, rectangular and sawtooth rows and the noise row let a
// user type into, by entry.
bool Settable(int entry, const std::string& key) {
    if (key == "am") return true;
    if (entry == 10) return false;
    if (key == "a0" || key == "t1") return true;
    if (key == "t2") return entry >= 4;
    if (key == "t3") return entry >= 7;
    return false;
}

void CheckOptions(const CliOptions& o) {
    FUZZ_CHECK(!o.help && !o.version, "help or version without being asked");
    if (o.baud) FUZZ_CHECK(Digits(*o.baud, kMinBaud, kMaxBaud), "baud " + Show(*o.baud));
    if (o.parity)
        FUZZ_CHECK(*o.parity == "无" || *o.parity == "奇" || *o.parity == "偶",
                   "parity " + Show(*o.parity));
    if (o.dataBits)
        FUZZ_CHECK(*o.dataBits == "6" || *o.dataBits == "7" || *o.dataBits == "8",
                   "data bits " + Show(*o.dataBits));
    if (o.stopBits)
        FUZZ_CHECK(*o.stopBits == "1" || *o.stopBits == "2", "stop bits " + Show(*o.stopBits));
    if (o.device) FUZZ_CHECK(!o.device->empty(), "empty device");
    if (o.log) FUZZ_CHECK(!o.log->empty(), "empty log name");
    if (o.frame) {
        FUZZ_CHECK(!o.frame->empty() && o.frame->size() <= 10,
                   "frame of " + std::to_string(o.frame->size()) + " slots");
        for (const std::string& slot : *o.frame) FUZZ_CHECK(ValidSlot(slot), "slot " + Show(slot));
    }
    std::size_t expectedWarnings = 0;
    if (o.period) {
        FUZZ_CHECK(InRange(*o.period, 0, kInt32Max), "period " + Show(*o.period));
        const double value = RefValue(*o.period);
        const double rounded = RefRoundHalfEven(value);
        expectedWarnings = (value != rounded ? 1 : 0) + (rounded == 0 ? 1 : 0);
    }
    FUZZ_CHECK(
        o.warnings.size() == expectedWarnings,
        std::to_string(o.warnings.size()) + " warnings for period " + Show(o.period.value_or("")));
    for (const std::string& w : o.warnings)
        FUZZ_CHECK(!w.empty() && w.find('\n') == std::string::npos && w.rfind("--period ", 0) == 0,
                   "warning " + Show(w));
    for (const SignalSetting& s : o.sets) {
        FUZZ_CHECK(s.entry >= 1 && s.entry <= 10, "entry " + std::to_string(s.entry));
        for (const auto& [key, text] : s.fields) {
            FUZZ_CHECK(Settable(s.entry, key), "key " + Show(key) + " of " + s.name);
            const bool level = key == "am" || key == "a0";
            FUZZ_CHECK(level ? InRange(text, 0, 255) : InRange(text, kInt32Min, kInt32Max),
                       key + " " + Show(text));
        }
    }
    for (int slot : o.noise) FUZZ_CHECK(slot >= 1 && slot <= 10, "noise slot");
    if (o.frames) FUZZ_CHECK(*o.frames >= 1 && *o.frames <= 1000000000L, "frames");
    if (o.seconds)
        FUZZ_CHECK(std::isfinite(*o.seconds) && *o.seconds > 0 && *o.seconds <= 2000000.0,
                   "seconds " + std::to_string(*o.seconds));
}

void CheckMessage(const std::string& message, const std::vector<std::string>& args) {
    FUZZ_CHECK(!message.empty(), "empty message");
    FUZZ_CHECK(message.find('\n') == std::string::npos && message.find('\r') == std::string::npos,
               "message of more than one line: " + Show(message));
    // It starts with an argument, or the option part of --name=value.
    bool named = false;
    for (const std::string& a : args) {
        const std::string name = a.rfind("--", 0) == 0 ? a.substr(0, a.find('=')) : a;
        for (const std::string& start :
             {Quoted(a) + ": ", Quoted(name) + ": ", name + ": ", name + " \""})
            if (message.rfind(start, 0) == 0) named = true;
    }
    FUZZ_CHECK(named, "message names no argument: " + Show(message));
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (args.size() == kiv::fuzz::kMostArgs) break;
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    if (size == 0) args.clear();

    bool help = false, version = false;
    for (const std::string& a : args) {
        help = help || a == "--help" || a == "-h";
        version = version || a == "--version";
    }
    const auto parsed = ParseCliOptions(args);
    if (help || version) {
        FUZZ_CHECK(std::holds_alternative<CliOptions>(parsed), "--help or --version refused");
        const CliOptions& o = std::get<CliOptions>(parsed);
        FUZZ_CHECK(o.help == help && o.version == (version && !help),
                   "--help must win, then --version");
        return 0;
    }
    if (const auto* message = std::get_if<std::string>(&parsed))
        kiv::fuzz::CheckMessage(*message, args);
    else
        kiv::fuzz::CheckOptions(std::get<CliOptions>(parsed));
    return 0;
}
