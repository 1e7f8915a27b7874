#include "model/setup_file.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "model/frame_format.h"
#include "model/signal_table.h"
#include "model/texts.h"
#include "model/utf8.h"

namespace kiv {
namespace {

// The keys of the [serial] section, for Combo1(0..4).
const char* const kSerialKeys[kPortBoxCount] = {"port", "baud", "parity", "data_bits", "stop_bits"};

// Signal sections are named after their row of the signal table, their keys
// after the parameter boxes.
std::string SectionOf(int entry) {
    return std::string(SignalVariableOf(entry).name);
}

std::string KeyOf(int column) {
    return std::string(kParamBoxNames[static_cast<std::size_t>(column)]);
}

TextBox& BoxOf(Model& w, int entry, int column) {
    return ParamBoxColumn(w, column)(entry);
}

const TextBox& BoxOf(const Model& w, int entry, int column) {
    return BoxOf(const_cast<Model&>(w), entry, column);
}

const Model& FreshWindow() {
    static const Model fresh;
    return fresh;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// A value the reader would take back unchanged without quotes.
bool NeedsQuotes(const std::string& text) {
    if (text.empty()) return false;
    if (IsBlank(text.front()) || IsBlank(text.back()) || text.front() == '"') return true;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0 || IsControl(static_cast<unsigned char>(text[i]))) return true;
        i += n;
    }
    return false;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        const auto c = static_cast<unsigned char>(text[i]);
        if (n == 0 || IsControl(c)) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
            ++i;
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out.append(text, i, n);
        i += n;
    }
    return out + "\"";
}

std::string Encode(const std::string& text) {
    return NeedsQuotes(text) ? Quote(text) : text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A name or value from the file as a refusal shows it: a line of a
// megabyte is still a short message.
std::string Cut(const std::string& text) {
    constexpr std::size_t kLongest = 40;
    std::size_t at = 0;
    for (std::size_t shown = 0; at < text.size(); ++shown) {
        if (shown == kLongest) return text.substr(0, at) + "...";
        at += std::max<std::size_t>(Utf8SequenceAt(text, at), 1);
    }
    return text;
}

struct Refused {
    SetupRefusal refusal;
};

[[noreturn]] void Refuse(int line, const std::string& reason) {
    throw Refused{{line, reason}};
}

// The value after "=", blanks around it removed and quotes undone.
std::string DecodeValue(const std::string& raw, int line) {
    const std::string v = Trim(raw);
    if (v.empty() || v.front() != '"') return v;
    std::string out;
    std::size_t i = 1;
    for (;;) {
        if (i >= v.size()) Refuse(line, Say(TextId::SetupNoClosingQuote));
        const char c = v[i];
        if (c == '"') break;
        if (c == '\\') {
            if (i + 1 >= v.size()) Refuse(line, Say(TextId::SetupNoClosingQuote));
            const char e = v[i + 1];
            if (e == '"' || e == '\\') {
                out += e;
                i += 2;
            } else if (e == 'x' && i + 3 < v.size() && HexDigit(v[i + 2]) >= 0 &&
                       HexDigit(v[i + 3]) >= 0) {
                out += static_cast<char>(HexDigit(v[i + 2]) * 16 + HexDigit(v[i + 3]));
                i += 4;
            } else {
                Refuse(line, Say(TextId::SetupUnknownEscape, {std::string(1, e)}));
            }
            continue;
        }
        out += c;
        ++i;
    }
    if (i + 1 != v.size()) Refuse(line, Say(TextId::SetupTextAfterQuote));
    return out;
}

std::array<bool, kSlotCount> DecodeSlotList(const std::string& value, int line) {
    std::array<bool, kSlotCount> ticks{};
    if (Trim(value).empty()) return ticks;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = value.find(',', start);
        const std::string part = Trim(
            value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        int slot = 0;
        bool digits = !part.empty() && part.size() <= 2;
        for (char c : part) {
            if (c < '0' || c > '9') digits = false;
        }
        if (digits) slot = std::stoi(part);
        if (!digits || slot < 1 || slot > kSlotCount)
            Refuse(line, Say(TextId::SetupBadNoiseSlot, {Cut(part)}));
        ticks[static_cast<std::size_t>(slot - 1)] = true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return ticks;
}

std::string EncodeSlotList(const std::array<bool, kSlotCount>& ticks) {
    std::string out;
    for (int i = 0; i < kSlotCount; ++i) {
        if (!ticks[static_cast<std::size_t>(i)]) continue;
        if (!out.empty()) out += ',';
        out += std::to_string(i + 1);
    }
    return out;
}

// Where a key of a section goes.
struct Target {
    std::string* text = nullptr;
    std::array<bool, kSlotCount>* ticks = nullptr;
    bool zeroOrOne = false;  // a box ticked (1) or not (0)
};

struct SectionKeys {
    std::map<std::string, Target> keys;
    std::map<std::string, std::string> readOnly;  // key -> why it is not stored
};

std::map<std::string, SectionKeys> KeysOf(Setup& s) {
    std::map<std::string, SectionKeys> sections;
    SectionKeys& serial = sections["serial"];
    for (int i = 0; i < kPortBoxCount; ++i)
        serial.keys[kSerialKeys[i]].text = &s.serial[static_cast<std::size_t>(i)];
    SectionKeys& send = sections["send"];
    for (int i = 1; i <= kSlotCount; ++i)
        send.keys["slot" + std::to_string(i)].text = &s.slotTexts[static_cast<std::size_t>(i - 1)];
    send.keys["period"].text = &s.period;
    send.keys["noise_slots"].ticks = &s.noise;
    for (int entry = 1; entry <= kSignalEntryCount; ++entry) {
        SectionKeys& keys = sections[SectionOf(entry)];
        for (int c = 0; c < kParamBoxCount; ++c) {
            if (IsEditableParam(entry, c))
                keys.keys[KeyOf(c)].text =
                    &s.params[static_cast<std::size_t>(entry - 1)][static_cast<std::size_t>(c)];
            else
                keys.readOnly[KeyOf(c)] = "read-only";
        }
    }
    SectionKeys& frame = sections["frame"];
    for (const FrameSetupRow& row : kFrameSetupKeys) {
        Target& t = frame.keys[row.name];
        t.text = &FrameText(s, row.key);
        t.zeroOrOne = row.key == FrameSetupKey::Length;
    }
    return sections;
}

// The frame page's choice boxes show the window's words; a setup holds the
// names kiv-cli's options take. A text that is neither stays as it is, for
// the page's apply to refuse.
template <typename Table>
std::string NameOfChoice(const Table& table, const std::string& text) {
    for (const auto& k : table)
        if (text == k.label || text == k.name) return k.name;
    return text;
}

template <typename Table>
void PickChoice(ComboBox& box, const Table& table, const std::string& name) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (name == table[i].name || name == table[i].label) {
            box.Pick(static_cast<int>(i));
            return;
        }
    box.Type(name);
}

// The checksum box lists the kinds by name, with "无" for none.
std::string NameOfChecksum(const std::string& text) {
    return text == KindOf(Checksum::None).name || text == "无" ? "" : text;
}

// The byte order a checksum_order left empty stands for: the checksum's
// usual one, or the page's first entry for a checksum without one.
std::string OrderOf(const std::string& order, const std::string& checksum) {
    if (!order.empty()) return order;
    const std::optional<Checksum> kind = ChecksumNamed(checksum);
    if (kind && KindOf(*kind).width > 1) return KindOf(KindOf(*kind).defaultOrder).name;
    return KindOf(FrameFormat{}.checksumOrder).name;
}

bool FrameOn(const Setup& s) {
    const auto given = [&s](FrameSetupKey key) { return !Trim(FrameText(s, key)).empty(); };
    return given(FrameSetupKey::Header) || given(FrameSetupKey::Counter) ||
           FrameText(s, FrameSetupKey::Length) == "1" || given(FrameSetupKey::Checksum) ||
           given(FrameSetupKey::Trailer);
}

}  // namespace

std::string SetupRefusal::Describe() const {
    return Say(TextId::SetupLine, {std::to_string(line), reason});
}

bool IsEditableParam(int entry, int column) {
    return SignalVariableOf(entry).Editable(column);
}

Setup InitialSetup() {
    Setup s = SetupFromBoxes(FreshWindow());
    for (int i = 0; i < kPortBoxCount; ++i)
        s.serial[static_cast<std::size_t>(i)] = FreshWindow().Combo1(i).List.at(
            static_cast<std::size_t>(kPortStartPositions[static_cast<std::size_t>(i)]));
    return s;
}

std::variant<Setup, SetupRefusal> ParseSetup(const std::string& text) {
    Setup setup = InitialSetup();
    auto sections = KeysOf(setup);
    std::map<std::string, int> sectionLines;
    std::map<std::string, int> keyLines;  // "section.key" -> line
    std::string section;
    try {
        std::size_t at = 0;
        // A byte order mark, as some editors write it.
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) at = 3;
        int line = 0;
        while (at < text.size()) {
            ++line;
            const std::size_t end = text.find('\n', at);
            std::string row =
                text.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at = end == std::string::npos ? text.size() : end + 1;
            if (!row.empty() && row.back() == '\r') row.pop_back();

            for (std::size_t i = 0; i < row.size();) {
                const std::size_t n = Utf8SequenceAt(row, i);
                if (n == 0) Refuse(line, Say(TextId::SetupNotUtf8));
                if (row[i] != '\t' && IsControl(static_cast<unsigned char>(row[i])))
                    Refuse(line, Say(TextId::SetupControlCharacter));
                i += n;
            }
            const std::string trimmed = Trim(row);
            if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';') continue;

            if (trimmed.front() == '[') {
                if (trimmed.back() != ']') Refuse(line, Say(TextId::SetupSectionEnd));
                const std::string name = Trim(trimmed.substr(1, trimmed.size() - 2));
                if (!sections.count(name))
                    Refuse(line, Say(TextId::SetupUnknownSection, {Cut(name)}));
                if (sectionLines.count(name))
                    Refuse(line, Say(TextId::SetupSectionAgain,
                                     {name, std::to_string(sectionLines[name])}));
                sectionLines[name] = line;
                section = name;
                continue;
            }

            const std::size_t eq = row.find('=');
            if (eq == std::string::npos) Refuse(line, Say(TextId::SetupNoKeyValue));
            const std::string key = Trim(row.substr(0, eq));
            if (section.empty()) Refuse(line, Say(TextId::SetupKeyBeforeSection, {Cut(key)}));
            SectionKeys& keys = sections[section];
            if (keys.readOnly.count(key))
                Refuse(line, Say(TextId::SetupReadOnlyKey, {key, section}));
            const auto target = keys.keys.find(key);
            if (target == keys.keys.end())
                Refuse(line, Say(TextId::SetupUnknownKey, {Cut(key), section}));
            const std::string where = section + "." + key;
            if (keyLines.count(where))
                Refuse(line,
                       Say(TextId::SetupKeyAgain, {key, section, std::to_string(keyLines[where])}));
            keyLines[where] = line;
            const std::string value = DecodeValue(row.substr(eq + 1), line);
            if (target->second.zeroOrOne && value != "0" && value != "1")
                Refuse(line, Say(TextId::SetupNotZeroOrOne, {key, Cut(value)}));
            if (target->second.text != nullptr)
                *target->second.text = value;
            else
                *target->second.ticks = DecodeSlotList(value, line);
        }
    } catch (const Refused& r) {
        return r.refusal;
    }
    // A checksum without its byte order takes the kind's usual one.
    if (keyLines.count("frame.checksum") && !keyLines.count("frame.checksum_order"))
        FrameText(setup, FrameSetupKey::ChecksumOrder).clear();
    return setup;
}

std::string WriteSetup(const Setup& s, const std::string& writer) {
    std::string out = "# " + FreshWindow().Caption + " setup, written by " + writer + "\n";
    out += "[serial]\n";
    for (int i = 0; i < kPortBoxCount; ++i)
        out += std::string(kSerialKeys[i]) + "=" + Encode(s.serial[static_cast<std::size_t>(i)]) +
               "\n";
    out += "\n[send]\n";
    for (int i = 1; i <= kSlotCount; ++i)
        out += "slot" + std::to_string(i) + "=" +
               Encode(s.slotTexts[static_cast<std::size_t>(i - 1)]) + "\n";
    out += "period=" + Encode(s.period) + "\n";
    out += "noise_slots=" + EncodeSlotList(s.noise) + "\n";
    for (int entry = 1; entry <= kSignalEntryCount; ++entry) {
        out += "\n[" + SectionOf(entry) + "]\n";
        for (int c = 0; c < kParamBoxCount; ++c) {
            if (!IsEditableParam(entry, c)) continue;
            out +=
                KeyOf(c) + "=" +
                Encode(s.params[static_cast<std::size_t>(entry - 1)][static_cast<std::size_t>(c)]) +
                "\n";
        }
    }
    if (FrameOn(s)) {
        out += "\n[frame]\n";
        for (const FrameSetupRow& row : kFrameSetupKeys) {
            std::string text = FrameText(s, row.key);
            if (row.key == FrameSetupKey::ChecksumOrder)
                text = OrderOf(text, FrameText(s, FrameSetupKey::Checksum));
            out += std::string(row.name) + "=" + Encode(text) + "\n";
        }
    }
    return out;
}

Setup SetupFromBoxes(const Model& w) {
    Setup s;
    for (int i = 0; i < kPortBoxCount; ++i)
        s.serial[static_cast<std::size_t>(i)] = w.Combo1(i).Text;
    for (int i = 1; i <= kSlotCount; ++i) {
        s.slotTexts[static_cast<std::size_t>(i - 1)] = w.sendText1(i).Text;
        s.noise[static_cast<std::size_t>(i - 1)] = w.Check2(i).Value != 0;
    }
    s.period = w.autosendtext1.Text;
    for (int entry = 1; entry <= kSignalEntryCount; ++entry)
        for (int c = 0; c < kParamBoxCount; ++c)
            s.params[static_cast<std::size_t>(entry - 1)][static_cast<std::size_t>(c)] =
                IsEditableParam(entry, c) ? BoxOf(w, entry, c).Text
                                          : BoxOf(FreshWindow(), entry, c).Text;
    s.frame = FrameTextsFromBoxes(w);
    return s;
}

void PutSetupInBoxes(Model& w, const Setup& s) {
    for (int i = 0; i < kPortBoxCount; ++i) {
        ComboBox& box = w.Combo1(i);
        const std::string& text = s.serial[static_cast<std::size_t>(i)];
        const auto it = std::find(box.List.begin(), box.List.end(), text);
        if (it != box.List.end())
            box.Pick(static_cast<int>(it - box.List.begin()));
        else
            box.Type(text);
    }
    for (int i = 1; i <= kSlotCount; ++i) {
        w.sendText1(i).Text = s.slotTexts[static_cast<std::size_t>(i - 1)];
        w.Check2(i).Value = s.noise[static_cast<std::size_t>(i - 1)] ? 1 : 0;
    }
    w.autosendtext1.Text = s.period;
    for (int entry = 1; entry <= kSignalEntryCount; ++entry)
        for (int c = 0; c < kParamBoxCount; ++c)
            if (IsEditableParam(entry, c))
                BoxOf(w, entry, c).Text =
                    s.params[static_cast<std::size_t>(entry - 1)][static_cast<std::size_t>(c)];
    PutFrameTextsInBoxes(w, s.frame);
}

std::array<std::string, 7> FrameTextsFromBoxes(const Model& w) {
    Setup s;
    FrameText(s, FrameSetupKey::Header) = w.frameHeader.Text;
    FrameText(s, FrameSetupKey::Counter) = NameOfChoice(kCounterKinds, w.frameCounter.Text);
    FrameText(s, FrameSetupKey::Length) = w.frameLengthByte.Value == 1 ? "1" : "0";
    FrameText(s, FrameSetupKey::Checksum) = NameOfChecksum(w.frameChecksum.Text);
    FrameText(s, FrameSetupKey::ChecksumOrder) =
        NameOfChoice(kByteOrders, w.frameChecksumOrder.Text);
    FrameText(s, FrameSetupKey::ChecksumFrom) =
        NameOfChoice(kChecksumFroms, w.frameChecksumFrom.Text);
    FrameText(s, FrameSetupKey::Trailer) = w.frameTrailer.Text;
    return s.frame;
}

void PutFrameTextsInBoxes(Model& w, const std::array<std::string, 7>& frame) {
    Setup s;
    s.frame = frame;
    w.frameHeader.Text = FrameText(s, FrameSetupKey::Header);
    PickChoice(w.frameCounter, kCounterKinds, FrameText(s, FrameSetupKey::Counter));
    w.frameLengthByte.Value = FrameText(s, FrameSetupKey::Length) == "1" ? 1 : 0;
    const std::string& checksum = FrameText(s, FrameSetupKey::Checksum);
    const auto listed = std::find(w.frameChecksum.List.begin(), w.frameChecksum.List.end(),
                                  NameOfChecksum(checksum).empty() ? "无" : checksum);
    if (listed != w.frameChecksum.List.end())
        w.frameChecksum.Pick(static_cast<int>(listed - w.frameChecksum.List.begin()));
    else
        w.frameChecksum.Type(checksum);
    PickChoice(w.frameChecksumOrder, kByteOrders,
               OrderOf(FrameText(s, FrameSetupKey::ChecksumOrder), checksum));
    PickChoice(w.frameChecksumFrom, kChecksumFroms, FrameText(s, FrameSetupKey::ChecksumFrom));
    w.frameTrailer.Text = FrameText(s, FrameSetupKey::Trailer);
}

}  // namespace kiv
