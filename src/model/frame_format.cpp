#include "model/frame_format.h"

namespace kiv {
namespace {

template <typename Table, typename Value>
const auto& Find(const Table& table, Value Table::value_type::*member, Value value) {
    for (const auto& k : table)
        if (k.*member == value) return k;
    return table.front();
}

// The kind of that exact name in one of the tables, whose rows all carry a
// `name`.
template <typename Table, typename Value>
std::optional<Value> Named(const Table& table, Value Table::value_type::*member,
                           std::string_view name) {
    for (const auto& k : table)
        if (name == k.name) return k.*member;
    return std::nullopt;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

}  // namespace

const CounterKind& KindOf(FrameCounter counter) {
    return Find(kCounterKinds, &CounterKind::counter, counter);
}
const ChecksumKind& KindOf(Checksum checksum) {
    return Find(kChecksumKinds, &ChecksumKind::checksum, checksum);
}
const ByteOrderKind& KindOf(ByteOrder order) {
    return Find(kByteOrders, &ByteOrderKind::order, order);
}
const ChecksumFromKind& KindOf(ChecksumFrom from) {
    return Find(kChecksumFroms, &ChecksumFromKind::from, from);
}

std::optional<FrameCounter> CounterNamed(std::string_view name) {
    return Named(kCounterKinds, &CounterKind::counter, name);
}
std::optional<Checksum> ChecksumNamed(std::string_view name) {
    return Named(kChecksumKinds, &ChecksumKind::checksum, name);
}
std::optional<ByteOrder> ByteOrderNamed(std::string_view name) {
    return Named(kByteOrders, &ByteOrderKind::order, name);
}
std::optional<ChecksumFrom> ChecksumFromNamed(std::string_view name) {
    return Named(kChecksumFroms, &ChecksumFromKind::from, name);
}

FrameParts PartsOf(const FrameFormat& format, int slotCount) {
    FrameParts parts;
    parts.header = static_cast<int>(format.header.size());
    parts.counter = KindOf(format.counter).width;
    parts.length = format.lengthByte ? 1 : 0;
    parts.slotBytes = slotCount;
    parts.checksum = KindOf(format.checksum).width;
    parts.trailer = static_cast<int>(format.trailer.size());
    return parts;
}

std::optional<std::vector<std::uint8_t>> ParseByteList(std::string_view text, std::string* why) {
    const auto refuse = [&](const char* rule) -> std::optional<std::vector<std::uint8_t>> {
        if (why != nullptr) *why = rule;
        return std::nullopt;
    };
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsSeparator(text[end])) ++end;
        std::string_view token = text.substr(i, end - i);
        i = end;
        if (token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X'))
            token.remove_prefix(2);
        if (token.empty() || token.size() > 2)
            return refuse(
                "must be hexadecimal bytes of one or two digits (AA 55, 0xAA,0x55), "
                "separated by blanks or commas");
        int value = 0;
        for (char c : token) {
            const int d = HexDigit(c);
            if (d < 0)
                return refuse(
                    "must be hexadecimal bytes of one or two digits (AA 55, 0xAA,0x55), "
                    "separated by blanks or commas");
            value = value * 16 + d;
        }
        if (bytes.size() == static_cast<std::size_t>(kMaxFixedBytes))
            return refuse("must hold at most 8 bytes");
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return bytes;
}

std::string ByteListText(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

}  // namespace kiv
