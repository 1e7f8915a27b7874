#include "model/one_line.h"

#include <algorithm>
#include <cstdint>

#include "model/utf8.h"

namespace kiv {
namespace {

std::uint32_t CodePoint(const std::string& s, std::size_t i, std::size_t n) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    if (n == 1) return byte(0);
    std::uint32_t cp = byte(0) & (0xFFU >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) cp = cp << 6 | (byte(k) & 0x3FU);
    return cp;
}

// Characters a terminal acts on instead of showing: C0 and C1 controls
// (escape sequences start with them), line and paragraph separators, and
// the marks that reorder the text after them.
bool ActsOnTerminal(std::uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 ||
           (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

// Characters of a value shown in a message.
constexpr std::size_t kLongestShown = 60;

std::string Escaped(const std::string& text, std::size_t longest, bool inQuotes) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size(); ++shown) {
        if (shown == longest) {
            out += "...";
            break;
        }
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0 || ActsOnTerminal(CodePoint(text, i, n))) {
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k) {
                const auto c = static_cast<unsigned char>(text[i + k]);
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            i += std::max<std::size_t>(n, 1);
            continue;
        }
        if (inQuotes && (text[i] == '"' || text[i] == '\\')) out += '\\';
        out.append(text, i, n);
        i += n;
    }
    return out;
}

}  // namespace

std::string Quoted(const std::string& text) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // a literal added in front of a returned string.
    std::string out(1, '"');
    out += Escaped(text, kLongestShown, true);
    out += '"';
    return out;
}

std::string OneLine(const std::string& text) {
    return Escaped(text, std::string::npos, false);
}

std::string Shortened(const std::string& text) {
    return Escaped(text, kLongestShown, false);
}

}  // namespace kiv
