#include "cli/cli_value_rules.h"

#include <charconv>

#include "model/errors.h"
#include "model/frame_format.h"
#include "model/one_line.h"
#include "sending/send_content.h"
#include "signal/numbers.h"

namespace kiv {

std::optional<long> WholeNumber(const std::string& text, long lo, long hi) {
    long v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi)
        return std::nullopt;
    return v;
}

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

}  // namespace kiv
