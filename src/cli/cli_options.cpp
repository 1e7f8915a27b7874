#include "cli/cli_options.h"

#include <algorithm>
#include <span>
#include <string_view>

#include "cli/cli_value_rules.h"
#include "model/form.h"
#include "model/frame_format.h"
#include "model/one_line.h"
#include "model/signal_table.h"
#include "signal/numbers.h"

namespace kiv {
namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

std::variant<SignalSetting, std::string> ParseSet(const std::string& value) {
    const std::string option = "--set " + Quoted(value);
    const auto eq = value.find('=');
    if (eq == std::string::npos) return option + ": expected NAME=KEY:VALUE,...";
    SignalSetting s;
    s.name = value.substr(0, eq);
    s.option = option;
    const SignalVariable* row = FindSignalVariable(s.name);
    if (row == nullptr)
        return option + ": unknown signal " + Quoted(s.name) +
               " (sinx1..3, squx1..3, trix1..3, noise)";
    s.entry = row->entry;
    for (const std::string& part : Split(value.substr(eq + 1), ',')) {
        const auto colon = part.find(':');
        if (colon == std::string::npos) return option + ": expected KEY:VALUE, got " + Quoted(part);
        std::string key = part.substr(0, colon);
        const int box = FindParamBox(key);
        // Only the boxes of that row the window lets a user type into.
        if (box < 0 || !row->Editable(box))
            return option + ": " + s.name + " has no settable parameter " + Quoted(key);
        const std::string text = part.substr(colon + 1);
        if (auto fault = ParameterFault(key, text)) return option + ": " + *fault;
        s.fields.emplace_back(key, text);
    }
    return s;
}

std::optional<std::string> CheckPeriod(const std::string& v, std::vector<std::string>& warnings) {
    const std::string option = "--period " + Quoted(v);
    std::vector<std::string> notes;
    if (auto fault = PeriodFault(v, notes)) return option + ": " + *fault;
    for (const std::string& note : notes) warnings.push_back(option + ": " + note);
    return std::nullopt;
}

std::optional<std::string> CheckFrame(const std::string& v, std::vector<std::string>& slots,
                                      std::vector<std::string>& warnings) {
    const std::string option = "--frame " + Quoted(v);
    slots = Split(v, ',');
    if (slots.size() > static_cast<std::size_t>(kSlotCount))
        return option + ": at most " + std::to_string(kSlotCount) + " slots, got " +
               std::to_string(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (auto fault = SlotFault(slots[i]))
            return option + ": slot " + std::to_string(i + 1) + " " + Quoted(slots[i]) + " " +
                   *fault;
    }
    std::vector<std::string> notes;
    if (auto fault = PlanFault(slots, notes)) return option + ": " + *fault;
    for (const std::string& note : notes) warnings.push_back(option + ": " + note);
    return std::nullopt;
}

}  // namespace

// The options read so far, and the warnings of the values that a later
// option may still replace.
struct CliParse {
    CliOptions& o;
    std::vector<std::string> frameWarnings, periodWarnings;
};

namespace {

using Rule = std::optional<std::string>;

// An option and its value as a message starts with them.
std::string Given(const std::string& name, const std::string& value) {
    return name + " " + Quoted(value);
}

Rule NotEmpty(const std::string& name, const std::string& value, const char* expected) {
    if (value.empty()) return name + ": expected " + expected + ", got an empty text";
    return std::nullopt;
}

// A frame option's value, by the rule of its [frame] key.
Rule TakeFrame(CliParse& p, const std::string& name, const std::string& value, FrameSetupKey key) {
    if (auto fault = FrameFault(key, value)) return Given(name, value) + ": " + *fault;
    p.o.frameFormat[static_cast<std::size_t>(key)] = value;
    return std::nullopt;
}

const CliOption kOptionRows[] = {
    {"--baud", "9600",
     "any rate the device takes, e.g. 230400 or 921600\n(the window offers 300 .. 115200)",
     CliHelpSection::Line,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (auto fault = BaudFault(v)) return Given(a, v) + ": " + *fault;
         p.o.baud = v;
         return std::nullopt;
     }},
    {"--parity", "无|奇|偶", "also n|o|e", CliHelpSection::Line,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         const ParityName* parity = FindParityWord(v);
         if (parity == nullptr && v.size() == 1) parity = FindParityLetter(v[0]);
         if (parity == nullptr) return Given(a, v) + ": expected 无, 奇 or 偶 (or n, o, e)";
         p.o.parity = std::string(parity->word);
         return std::nullopt;
     }},
    {"--data-bits", "8", "6, 7 or 8", CliHelpSection::Line,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (v != "6" && v != "7" && v != "8") return Given(a, v) + ": expected 6, 7 or 8";
         p.o.dataBits = v;
         return std::nullopt;
     }},
    {"--stop-bits", "1", "1 or 2", CliHelpSection::Line,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (v != "1" && v != "2") return Given(a, v) + ": expected 1 or 2";
         p.o.stopBits = v;
         return std::nullopt;
     }},
    {"--device", "PATH", "the serial device, e.g. {device}", CliHelpSection::Line,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (auto fault = NotEmpty(a, v, "a device path")) return fault;
         p.o.device = v;
         return std::nullopt;
     }},
    // A later --frame or --period replaces an earlier one, warnings included.
    {"--frame", "5,6,sinx1,sinx2",
     "up to ten slots: constants 0..255 or sinx1..3 squx1..3 trix1..3;\n"
     "the frame ends at the first empty slot (a warning names\n"
     "the slots after it), and slot 1 must not be empty",
     CliHelpSection::Content,
     [](CliParse& p, const std::string&, const std::string& v) -> Rule {
         std::vector<std::string> slots;
         p.frameWarnings.clear();
         if (auto fault = CheckFrame(v, slots, p.frameWarnings)) return fault;
         p.o.frame = slots;
         return std::nullopt;
     }},
    {"--period", "10",
     "send period in whole milliseconds, 0 or more; a fraction\n"
     "is rounded (halves to even); 0 sends as fast as the line goes",
     CliHelpSection::Content,
     [](CliParse& p, const std::string&, const std::string& v) -> Rule {
         p.periodWarnings.clear();
         if (auto fault = CheckPeriod(v, p.periodWarnings)) return fault;
         p.o.period = v;
         return std::nullopt;
     }},
    {"--noise", "1,3", "slots that get noise added", CliHelpSection::Content,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         for (const std::string& part : Split(v, ',')) {
             auto slot = WholeNumber(part, 1, kSlotCount);
             if (!slot)
                 return Given(a, v) + ": slots are whole numbers 1.." + std::to_string(kSlotCount) +
                        ", comma-separated";
             p.o.noise.push_back(static_cast<int>(*slot));
         }
         return std::nullopt;
     }},
    {"--header", "HEX", "bytes before the frame, at most 8:\n\"AA 55\" or \"0xAA,0x55\"",
     CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         return TakeFrame(p, a, v, FrameSetupKey::Header);
     }},
    {"--counter", "u8|u16le|u16be",
     "the frame's time index (0 after a clear)\nmodulo 256 or 65536, low or high byte first",
     CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         return TakeFrame(p, a, v, FrameSetupKey::Counter);
     }},
    {"--length-byte", "", "one byte holding the number of slots", CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string&) -> Rule {
         return TakeFrame(p, a, "1", FrameSetupKey::Length);
     }},
    {"--checksum", "NAME",
     "sum8 xor8 lrc8 crc8 crc8-maxim crc16-arc\n"
     "crc16-modbus crc16-ccitt-false crc16-xmodem\n"
     "crc32",
     CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         // Without --checksum-order the kind's usual byte order.
         if (!p.o.frameFormat[static_cast<std::size_t>(FrameSetupKey::ChecksumOrder)])
             p.o.frameFormat[static_cast<std::size_t>(FrameSetupKey::ChecksumOrder)] = "";
         return TakeFrame(p, a, v, FrameSetupKey::Checksum);
     }},
    {"--checksum-order", "le|be",
     "a 2- or 4-byte checksum's byte order: low\n"
     "byte first (usual for crc16-arc, crc16-modbus,\n"
     "crc32) or high byte first",
     CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         return TakeFrame(p, a, v, FrameSetupKey::ChecksumOrder);
     }},
    {"--checksum-from", "start|payload",
     "covered from the frame's first byte (start)\n"
     "or from the first byte after the header",
     CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         return TakeFrame(p, a, v, FrameSetupKey::ChecksumFrom);
     }},
    {"--trailer", "HEX", "bytes after the frame, at most 8: \"0D 0A\"", CliHelpSection::Frame,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         return TakeFrame(p, a, v, FrameSetupKey::Trailer);
     }},
    {"--set", "sinx1=t1:100,am:60,a0:100", "", CliHelpSection::Signals,
     [](CliParse& p, const std::string&, const std::string& v) -> Rule {
         auto s = ParseSet(v);
         if (auto* err = std::get_if<std::string>(&s)) return *err;
         p.o.sets.push_back(std::get<SignalSetting>(s));
         return std::nullopt;
     }},
    {"--frames", "N", "exactly N frames", CliHelpSection::Stopping,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         auto n = WholeNumber(v, 1, 1000000000L);
         if (!n) return Given(a, v) + ": expected a whole number of frames, 1..1000000000";
         p.o.frames = *n;
         return std::nullopt;
     }},
    {"--seconds", "S", "no frame later than S seconds after sending started",
     CliHelpSection::Stopping,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         auto s = ReadNumber(v);
         // Up to about 24 days: the run's clock counts milliseconds in 31 bits.
         if (!s || !(*s > 0) || !(*s <= 2000000.0))
             return Given(a, v) + ": expected a number of seconds above 0, at most 2000000";
         p.o.seconds = *s;
         return std::nullopt;
     }},
    {"--setup", "FILE",
     "start from the setup in FILE (a file or a pipe); the options\n"
     "above override it, and its values follow the options' rules",
     CliHelpSection::Setups,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (auto fault = NotEmpty(a, v, "a file name")) return fault;
         p.o.setup = v;
         return std::nullopt;
     }},
    {"--write-setup", "FILE", "write the setup the options describe into FILE and exit",
     CliHelpSection::Setups,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (auto fault = NotEmpty(a, v, "a file name")) return fault;
         p.o.writeSetup = v;
         return std::nullopt;
     }},
    {"--log", "FILE",
     "CSV, one line per frame as it is sent, after a header:\n"
     "frame,ms since start,wall clock (UTC, ISO 8601),slot bytes...\n"
     "and, with a frame format, the whole frame in hex\n"
     "--log - writes it to standard output (the other\n"
     "output then goes to standard error); a pipe a program\n"
     "reads and the null device are written straight, only a\n"
     "regular file is replaced, anything else is refused; a\n"
     "log that cannot be written ends the run after the frame\n"
     "just sent",
     CliHelpSection::Other,
     [](CliParse& p, const std::string& a, const std::string& v) -> Rule {
         if (auto fault = NotEmpty(a, v, "a file name or -")) return fault;
         p.o.log = v;
         return std::nullopt;
     }},
    // These two are looked for before any other option and take no value.
    {kHelpOption, "", "this text (wins over every other option)", CliHelpSection::Other, nullptr},
    {kVersionOption, "", "the version", CliHelpSection::Other, nullptr},
};

const CliOption* FindOption(const std::string& name) {
    for (const CliOption& row : kCliOptions)
        if (row.name == name) return &row;
    return nullptr;
}

}  // namespace

const std::span<const CliOption> kCliOptions = kOptionRows;

std::variant<CliOptions, std::string> ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    for (const std::string& a : args)
        if (a == "-h" || a == kHelpOption) {
            o.help = true;
            return o;
        }
    for (const std::string& a : args)
        if (a == kVersionOption) {
            o.version = true;
            return o;
        }
    CliParse p{o, {}, {}};
    for (std::size_t i = 0; i < args.size(); ++i) {
        // --name=value is the same as --name value.
        std::string a = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = a.substr(eq + 1);
            a.resize(eq);
        }
        if (a.rfind("--", 0) != 0)
            return Quoted(a) + ": not an option (options start with --; see --help)";
        const CliOption* option = FindOption(a);
        // Options without a value were taken above; one here came with "=".
        if (option == nullptr || option->take == nullptr)
            return Quoted(a) + ": unknown option (see --help)";
        if (option->value.empty()) {
            if (inlineValue) return a + ": takes no value (see --help)";
            if (auto fault = option->take(p, a, "")) return *fault;
            continue;
        }
        if (!inlineValue && i + 1 >= args.size()) return a + ": needs a value (see --help)";
        const std::string v = inlineValue ? *inlineValue : args[++i];
        if (auto fault = option->take(p, a, v)) return *fault;
    }
    o.warnings = p.frameWarnings;
    o.warnings.insert(o.warnings.end(), p.periodWarnings.begin(), p.periodWarnings.end());
    return o;
}

const std::optional<std::string>& CliOptions::PortBoxText(int box) const {
    static const std::optional<std::string> kNone;
    const std::optional<std::string>* const texts[kPortBoxCount] = {&kNone, &baud, &parity,
                                                                    &dataBits, &stopBits};
    return *texts[box];
}

}  // namespace kiv
