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
    if (parts[1] == "n" || parts[1] == "N") {
        s.parity = Parity::None;
    } else if (parts[1] == "o" || parts[1] == "O") {
        s.parity = Parity::Odd;
    } else if (parts[1] == "e" || parts[1] == "E") {
        s.parity = Parity::Even;
    } else {
        return std::nullopt;
    }
    s.baud = *baud;
    s.dataBits = *data;
    s.stopBits = *stop;
    return s;
}

}  // namespace kiv
