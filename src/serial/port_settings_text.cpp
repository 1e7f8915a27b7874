#include "serial/port_settings_text.h"

#include <charconv>
#include <vector>

namespace kiv {
namespace {

std::optional<int> WholeNumber(const std::string& s, int lo, int hi) {
    if (s.empty() || s.size() > 9) return std::nullopt;
    int v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size() || v < lo || v > hi) return std::nullopt;
    return v;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const std::string& text) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == ',') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    if (parts.size() != 4) return std::nullopt;

    LineSettings s;
    auto baud = WholeNumber(parts[0], 1, 4000000);
    auto data = WholeNumber(parts[2], 5, 8);
    auto stop = WholeNumber(parts[3], 1, 2);
    if (!baud || !data || !stop) return std::nullopt;
    // The letter in either case.
    char letter = parts[1].size() == 1 ? parts[1][0] : '\0';
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
    const ParityName* parity = FindParityLetter(letter);
    if (parity == nullptr) return std::nullopt;
    s.parity = parity->parity;
    s.baud = *baud;
    s.dataBits = *data;
    s.stopBits = *stop;
    return s;
}

}  // namespace kiv
