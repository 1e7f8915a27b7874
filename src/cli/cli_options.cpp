#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>
#include <string_view>

#include "cli/exit_codes.h"
#include "model/box_labels.h"
#include "model/errors.h"
#include "model/frame_format.h"
#include "model/signal_table.h"
#include "model/utf8.h"
#include "platform/port_naming.h"
#include "platform/system_words.h"
#include "sending/send_content.h"
#include "signal/numbers.h"

#ifndef KIV_VERSION
#define KIV_VERSION "unknown"
#endif

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

std::optional<long> WholeNumber(const std::string& text, long lo, long hi) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
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

namespace {

// "发送 page" from "发送 page, slot 1".
std::string PageOfBox(const std::string& box) {
    const std::string label = BoxLabel(box);
    return label.substr(0, label.find(", "));
}

}  // namespace

std::optional<std::string> BaudFault(const std::string& text) {
    if (WholeNumber(text, kMinBaud, kMaxBaud)) return std::nullopt;
    return "expected a whole number of bits per second, " + std::to_string(kMinBaud) + ".." +
           std::to_string(kMaxBaud);
}

// The send period by the send page's number rule. The window accepts any
// whole number of milliseconds; kiv-cli refuses a negative one, which would
// send as fast as the line takes frames with the waveforms running backwards.
std::optional<std::string> PeriodFault(const std::string& v, std::vector<std::string>& notes) {
    const auto read = ReadNumber(v);
    if (!read) return "not a number of milliseconds (digits, optional fraction)";
    std::int32_t period = 0;
    try {
        period = ToInteger(v);
    } catch (const KivError&) {
        return "out of range (at most 2147483647 ms)";
    }
    if (period < 0) return "must not be negative";
    if (*read != static_cast<double>(period))
        notes.push_back("rounded to " + std::to_string(period) +
                        " ms (halves go to the even neighbour)");
    if (period == 0) notes.push_back("frames go out as fast as the line takes them");
    return std::nullopt;
}

std::optional<std::string> SlotFault(const std::string& text) {
    if (ClassifySlot(text) != SlotKind::Invalid) return std::nullopt;
    return "is neither a constant 0..255 nor sinx1..3, squx1..3, trix1..3";
}

std::optional<std::string> PlanFault(const std::vector<std::string>& slots,
                                     std::vector<std::string>& notes) {
    std::size_t firstEmpty = 0;  // 1-based; 0: none
    std::vector<std::size_t> unsent;
    for (std::size_t i = 0; i < static_cast<std::size_t>(kSlotCount); ++i) {
        const bool empty = i >= slots.size() || slots[i].empty();
        if (empty && firstEmpty == 0) firstEmpty = i + 1;
        if (!empty && firstEmpty != 0) unsent.push_back(i + 1);
    }
    // Without a slot the send loop would cycle for ever sending nothing.
    if (firstEmpty == 1) return "slot 1 is empty, so there is no frame to send";
    if (unsent.empty()) return std::nullopt;
    std::string list;
    for (std::size_t slot : unsent) list += (list.empty() ? "" : ", ") + std::to_string(slot);
    notes.push_back("slot " + std::to_string(firstEmpty) + " is empty, so the frame ends at slot " +
                    std::to_string(firstEmpty - 1) + " and " +
                    (unsent.size() == 1 ? "slot " : "slots ") + list + " " +
                    (unsent.size() == 1 ? "is" : "are") + " not sent");
    return std::nullopt;
}

namespace {

// "u8, u16le or u16be": the names of a table, none left out.
template <typename Table>
std::string NamesOf(const Table& table) {
    std::vector<std::string> names;
    for (const auto& k : table)
        if (*k.name != '\0') names.emplace_back(k.name);
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out;
}

template <typename Table>
std::optional<std::string> ChoiceFault(const Table& table, const std::string& text) {
    for (const auto& k : table)
        if (text == k.name) return std::nullopt;
    return "expected " + NamesOf(table);
}

}  // namespace

std::optional<std::string> FrameFault(FrameSetupKey key, const std::string& text) {
    switch (key) {
        case FrameSetupKey::Header:
        case FrameSetupKey::Trailer: {
            std::string why;
            if (ParseByteList(text, &why)) return std::nullopt;
            return why;
        }
        case FrameSetupKey::Counter:
            return ChoiceFault(kCounterKinds, text);
        case FrameSetupKey::Length:
            if (text == "0" || text == "1") return std::nullopt;
            return "expected 1 (a length byte) or 0 (none)";
        case FrameSetupKey::Checksum:
            return ChoiceFault(kChecksumKinds, text);
        case FrameSetupKey::ChecksumOrder:
            return ChoiceFault(kByteOrders, text);
        case FrameSetupKey::ChecksumFrom:
            return ChoiceFault(kChecksumFroms, text);
    }
    return std::nullopt;
}

// Why a parameter text fails the signal pages' own reading, or nothing.
std::optional<std::string> ParameterFault(const std::string& key, const std::string& text) {
    if (!IsNumber(text)) return key + " " + Quoted(text) + " is not a number";
    try {
        if (key == "am" || key == "a0")
            ToByte(text);
        else
            ToInteger(text);
    } catch (const KivError&) {
        return key + " " + Quoted(text) +
               (key == "am" || key == "a0" ? " is outside 0..255"
                                           : " is outside -2147483648..2147483647 ms");
    }
    return std::nullopt;
}

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

std::optional<std::string> CheckSetupValues(const Setup& s, const CliOptions& o,
                                            std::vector<std::string>& notes) {
    static const Model fresh;
    // The serial page: the window's entries, and for the rate any rate
    // --baud takes.
    for (int i = 0; i < kPortBoxCount; ++i) {
        if (o.PortBoxText(i)) continue;
        const std::string& text = s.serial[static_cast<std::size_t>(i)];
        const auto& list = fresh.Combo1(i).List;
        if (std::find(list.begin(), list.end(), text) != list.end()) continue;
        const std::string shown = BoxLabel(IndexedName("Combo1", i)) + " " + Quoted(text) + ": ";
        if (i == kPortBoxBaud) {
            if (auto fault = BaudFault(text)) return shown + *fault;
            continue;
        }
        std::string entries;
        for (const std::string& e : list) entries += (entries.empty() ? "" : ", ") + e;
        return shown + "expected one of " + entries;
    }
    if (!o.frame) {
        std::vector<std::string> slots(s.slotTexts.begin(), s.slotTexts.end());
        for (int i = 1; i <= kSlotCount; ++i) {
            const std::string& text = slots[static_cast<std::size_t>(i - 1)];
            if (auto fault = SlotFault(text))
                return BoxLabel(IndexedName("sendText1", i)) + " " + Quoted(text) + " " + *fault;
        }
        const std::string page = PageOfBox("sendText1(1)") + ": ";
        std::vector<std::string> planNotes;
        if (auto fault = PlanFault(slots, planNotes)) return page + *fault;
        for (const std::string& note : planNotes) notes.push_back(page + note);
    }
    if (!o.period) {
        const std::string shown = BoxLabel("autosendtext1") + " " + Quoted(s.period) + ": ";
        std::vector<std::string> periodNotes;
        if (auto fault = PeriodFault(s.period, periodNotes)) return shown + *fault;
        for (const std::string& note : periodNotes) notes.push_back(shown + note);
    }
    for (const FrameSetupRow& row : kFrameSetupKeys) {
        const std::string& text = FrameText(s, row.key);
        // An order left out is the checksum's usual one.
        if (o.frameFormat[static_cast<std::size_t>(row.key)] ||
            (row.key == FrameSetupKey::ChecksumOrder && text.empty()))
            continue;
        if (auto fault = FrameFault(row.key, text))
            return BoxLabel(row.control) + " " + Quoted(text) + ": " + *fault;
    }
    for (int entry = 1; entry <= kSignalEntryCount; ++entry) {
        for (int c = 0; c < kParamBoxCount; ++c) {
            if (!IsEditableParam(entry, c)) continue;
            const auto column = static_cast<std::size_t>(c);
            const std::string& text = s.params[static_cast<std::size_t>(entry - 1)][column];
            if (auto fault = ParameterFault(std::string(kParamBoxNames[column]), text)) {
                // "正弦波设置 page, sinx1 t1" without the key, which the fault names.
                const std::string label =
                    BoxLabel(IndexedName(std::string(kParamBoxControls[column]), entry));
                return label.substr(0, label.rfind(' ')) + ": " + *fault;
            }
        }
    }
    return std::nullopt;
}

void OverlayOptions(Setup& setup, const CliOptions& o) {
    for (int i = kPortBoxBaud; i < kPortBoxCount; ++i)
        if (const auto& text = o.PortBoxText(i)) setup.serial[static_cast<std::size_t>(i)] = *text;
    if (o.frame) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(kSlotCount); ++i)
            setup.slotTexts[i] = i < o.frame->size() ? (*o.frame)[i] : "";
    }
    if (o.period) setup.period = *o.period;
    if (!o.noise.empty()) {
        setup.noise = {};
        for (int slot : o.noise) setup.noise.at(static_cast<std::size_t>(slot - 1)) = true;
    }
    for (const FrameSetupRow& row : kFrameSetupKeys)
        if (const auto& text = o.frameFormat[static_cast<std::size_t>(row.key)])
            FrameText(setup, row.key) = *text;
    for (const SignalSetting& s : o.sets)
        for (const auto& [key, text] : s.fields)
            setup.params.at(static_cast<std::size_t>(s.entry - 1))
                .at(static_cast<std::size_t>(FindParamBox(key))) = text;
}

std::string CliVersion() {
    return std::string("kiv-cli ") + KIV_VERSION;
}

namespace {

// The blocks of --help, in order: a heading, the options listed under it
// with their descriptions starting in `column`, and text after them.
struct HelpBlock {
    CliHelpSection section;
    std::string_view heading;
    std::size_t column;
    std::string_view after;
};

constexpr HelpBlock kHelpBlocks[] = {
    {CliHelpSection::Line, "Line settings (the serial page's texts):", 25,
     R"(
Without --device kiv-cli creates a virtual port and prints "sending on
/dev/pts/N". Sending starts once a program has held that path open for a
quarter of a second, so the receiver gets every frame from the first however
late it opens it; a program that opens it only for a moment (such as
"stty -F /dev/pts/N raw -echo") does not start it. Until then nothing is
sent and the run's clock has not started.
)"},
    {CliHelpSection::Content, "Send content (the send page):", 28, ""},
    {CliHelpSection::Frame, "Frame format (the frame format page; default: the slots alone):", 33,
     R"(  In frame order: header, counter, length byte, slots, checksum, trailer.
  --header "01 03" --frame 0,10,0,2 --checksum crc16-modbus sends the
  Modbus request 01 03 00 0A 00 02 E4 09.
)"},
    {CliHelpSection::Signals, "Signal parameters (the signal pages), repeatable:", 0,
     R"(  --set squx2=t1:20,t2:30
  --set trix1=t1:50,t2:50,t3:50,am:60,a0:100
  --set noise=am:10
)"},
    {CliHelpSection::Stopping, "Stopping (default: until {stop}):", 25,
     R"(  {stop} end the run within a second:
  the frame under way gets what is left of that second, and what cannot be
  delivered in it is dropped and counted on standard error.
)"},
    {CliHelpSection::Setups, "Setups (files the window saves and opens, Ctrl+S / Ctrl+O):", 25, ""},
    {CliHelpSection::Other, "Other:", 25, ""},
};

// The Line block's text where the system offers no virtual port.
constexpr std::string_view kWithoutVirtualPort = R"(
This system has no virtual port: name the port to send on with --device
({devices}). --write-setup alone needs none: nothing is sent.
)";

// A help text with this system's words: its device names and how a user
// stops a program.
std::string Filled(std::string_view text) {
    std::string out(text);
    const std::pair<std::string_view, std::string> words[] = {
        {"{devices}", ExampleDeviceNames()},
        {"{device}", ExampleDeviceName()},
        {"{stop}", StopRequestNames()},
    };
    for (const auto& [key, word] : words)
        for (auto at = out.find(key); at != std::string::npos; at = out.find(key, at + word.size()))
            out.replace(at, key.size(), word);
    return out;
}

// Columns a terminal gives the text: the only characters beyond ASCII in
// the help are Chinese, two columns wide.
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = std::max<std::size_t>(Utf8SequenceAt(text, i), 1);
        columns += n == 1 ? 1 : 2;
        i += n;
    }
    return columns;
}

// An option's lines: its name and value, then its description, each further
// line of it starting in the column of the first.
std::string HelpLines(const CliOption& option, std::size_t column) {
    std::string out = "  " + std::string(option.name);
    if (!option.value.empty()) out += " " + std::string(option.value);
    if (option.help.empty()) return out + "\n";
    out.append(column > Columns(out) ? column - Columns(out) : 1, ' ');
    const std::string help = Filled(option.help);
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = help.find('\n', at);
        out += help.substr(at, end - at);
        out += '\n';
        if (end == std::string::npos) break;
        out.append(column, ' ');
        at = end + 1;
    }
    return out;
}

}  // namespace

std::string CliUsage() {
    std::string text = R"(kiv-cli: the KIV signal generator without a window.

Usage: kiv-cli [options]          (--name=value works as well as --name value)

)";
    for (const HelpBlock& block : kHelpBlocks) {
        text += Filled(block.heading) + "\n";
        for (const CliOption& option : kCliOptions)
            if (option.section == block.section) text += HelpLines(option, block.column);
        const bool noVirtualPort = block.section == CliHelpSection::Line && !VirtualPortOffered();
        text += Filled(noVirtualPort ? kWithoutVirtualPort : block.after) + "\n";
    }
    text += "Exit codes:\n";
    for (const ExitCodeInfo& e : kExitCodes) {
        std::string code = "  " + std::to_string(e.code);
        code.resize(25, ' ');
        text += code + e.meaning + "\n";
    }
    text += R"(
Example:
  kiv-cli --frame 5,6,sinx1,sinx2 --period 10 --set sinx1=t1:200 --frames 100
)";
    return text;
}

}  // namespace kiv
