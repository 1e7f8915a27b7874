// kiv-cli's option parser on any command line (the input split at NUL
// bytes into arguments): --help anywhere gives the help and nothing else;
// otherwise either a set of options whose every value obeys its rule, judged
// by the independent reference (a frame has a first slot; the warnings are
// the period's and one naming the slots after a gap), or exactly one
// one-line message that starts with an argument it names. No message or
// warning holds a character a terminal would act on. The same input read as
// a setup file goes through kiv-cli's rules for setup values: accepted, the
// values obey the options' rules; refused, one such line naming a page.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_setup_values.h"
#include "cli/cli_value_rules.h"
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

// A slot after the first empty one holds a text.
bool HasGap(const std::vector<std::string>& slots) {
    bool ended = false;
    for (const std::string& slot : slots) {
        if (slot.empty()) ended = true;
        if (!slot.empty() && ended) return true;
    }
    return false;
}

// No byte of C0 controls or DEL, no C1 control as UTF-8 (U+0080..U+009F,
// which some terminals take as the start of an escape sequence), no line
// separator and no text-reordering mark.
bool ShowsAsText(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return false;
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
        if (c == 0xC2 && next >= 0x80 && next <= 0x9F) return false;
        if (c == 0xE2 && next == 0x80 &&
            (third == 0xA8 || third == 0xA9 || (third >= 0xAA && third <= 0xAE)))
            return false;
        if (c == 0xE2 && next == 0x81 && third >= 0xA6 && third <= 0xA9) return false;
    }
    return true;
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
    std::size_t expectedWarnings = 0;
    if (o.frame) {
        FUZZ_CHECK(!o.frame->empty() && o.frame->size() <= 10,
                   "frame of " + std::to_string(o.frame->size()) + " slots");
        for (const std::string& slot : *o.frame) FUZZ_CHECK(ValidSlot(slot), "slot " + Show(slot));
        FUZZ_CHECK(!o.frame->front().empty(), "a frame with no slot to send");
        expectedWarnings += HasGap(*o.frame) ? 1 : 0;
    }
    if (o.period) {
        FUZZ_CHECK(InRange(*o.period, 0, kInt32Max), "period " + Show(*o.period));
        const double value = RefValue(*o.period);
        const double rounded = RefRoundHalfEven(value);
        expectedWarnings += (value != rounded ? 1 : 0) + (rounded == 0 ? 1 : 0);
    }
    FUZZ_CHECK(
        o.warnings.size() == expectedWarnings,
        std::to_string(o.warnings.size()) + " warnings for period " + Show(o.period.value_or("")));
    for (const std::string& w : o.warnings) {
        FUZZ_CHECK(!w.empty() && (w.rfind("--period ", 0) == 0 || w.rfind("--frame ", 0) == 0),
                   "warning " + Show(w));
        FUZZ_CHECK(ShowsAsText(w), "warning with a control character: " + Show(w));
    }
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
    FUZZ_CHECK(ShowsAsText(message), "message with a control character: " + Show(message));
    FUZZ_CHECK(ShowsAsText(OneLine(message + "\n\x1b")), "OneLine left a control character");
}

// The input as a setup file, judged by kiv-cli's rules without options.
void CheckSetupValuesOf(const std::string& text) {
    const auto parsed = ParseSetup(text);
    if (!std::holds_alternative<Setup>(parsed)) return;
    const Setup& s = std::get<Setup>(parsed);
    std::vector<std::string> notes;
    const auto fault = CheckSetupValues(s, CliOptions{}, notes);
    if (fault) {
        FUZZ_CHECK(ShowsAsText(*fault), "setup fault with a control character: " + Show(*fault));
        bool page = false;
        for (const char* p : {"发送 page", "串口设置 page", "正弦波设置 page", "矩形波设置 page",
                              "锯齿波设置 page", "噪声设置 page"})
            page = page || fault->rfind(p, 0) == 0;
        FUZZ_CHECK(page, "setup fault names no page: " + Show(*fault));
        return;
    }
    const std::vector<std::string> slots(s.slotTexts.begin(), s.slotTexts.end());
    FUZZ_CHECK(!slots.front().empty(), "a setup with no slot to send accepted");
    for (const std::string& slot : slots) FUZZ_CHECK(ValidSlot(slot), "setup slot " + Show(slot));
    FUZZ_CHECK(InRange(s.period, 0, kInt32Max), "setup period " + Show(s.period));
    FUZZ_CHECK(Digits(s.serial[1], kMinBaud, kMaxBaud), "setup baud " + Show(s.serial[1]));
    for (int entry = 1; entry <= kSignalEntryCount; ++entry)
        for (int c = 0; c < kParamBoxCount; ++c) {
            if (!IsEditableParam(entry, c)) continue;
            const std::string& v =
                s.params[static_cast<std::size_t>(entry - 1)][static_cast<std::size_t>(c)];
            FUZZ_CHECK(c >= 3 ? InRange(v, 0, 255) : InRange(v, kInt32Min, kInt32Max),
                       "setup parameter " + Show(v));
        }
    const double value = RefValue(s.period);
    const double rounded = RefRoundHalfEven(value);
    const std::size_t expected =
        (HasGap(slots) ? 1 : 0) + (value != rounded ? 1 : 0) + (rounded == 0 ? 1 : 0);
    FUZZ_CHECK(notes.size() == expected, std::to_string(notes.size()) + " setup warnings");
    for (const std::string& n : notes) FUZZ_CHECK(ShowsAsText(n), "setup warning " + Show(n));
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
    kiv::fuzz::CheckSetupValuesOf(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
