#include "reference.h"

#include <locale.h>
#include <regex.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kiv::fuzz {
namespace {

// glibc's matcher does not recurse per character, so texts of a megabyte
// are fine (libstdc++'s std::regex would overflow the stack on long digit
// runs). Digits are spelled out so that no locale can widen the class.
const char* const kNumberPattern =
    "^[ \t]*[+-]?([0123456789]+[.]?[0123456789]*|[.][0123456789]+)"
    "([eE][+-]?[0123456789]+)?[ \t]*$";

const regex_t& NumberRegex() {
    static regex_t compiled = [] {
        regex_t r;
        if (regcomp(&r, kNumberPattern, REG_EXTENDED | REG_NOSUB) != 0) {
            std::fprintf(stderr, "cannot compile the number pattern\n");
            std::abort();
        }
        return r;
    }();
    return compiled;
}

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

}  // namespace

bool RefIsNumber(std::string_view text) {
    // regexec reads a C string; no number contains a NUL byte.
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) return false;
    const std::string s(text);
    return regexec(&NumberRegex(), s.c_str(), 0, nullptr, 0) == 0;
}

double RefValue(std::string_view text) {
    const std::string s(text);
    char* end = nullptr;
    const double v = strtod_l(s.c_str(), &end, CLocale());
    // strtod stops at the trailing blanks; anything else left over means the
    // pattern and strtod disagree about the text, which is a fault here.
    for (const char* p = end; *p != '\0'; ++p) {
        if (*p != ' ' && *p != '\t')
            Fail(__FILE__, __LINE__, "strtod stopped early in " + Show(text));
    }
    return v;
}

double RefRoundHalfEven(double v) {
    const double below = std::floor(v);
    const double fraction = v - below;
    if (fraction > 0.5) return below + 1.0;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

RefResult RefRealToRange(double v, std::int64_t lo, std::int64_t hi) {
    if (!std::isfinite(v)) return RefResult::Fail(ErrorKind::FloatingPoint);
    const double r = RefRoundHalfEven(v);
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
        return RefResult::Fail(ErrorKind::Overflow);
    }
    return RefResult{std::nullopt, static_cast<std::int64_t>(r), v};
}

RefResult RefTextToReal(std::string_view text) {
    if (!RefIsNumber(text)) return RefResult::Fail(ErrorKind::NotANumber);
    const double v = RefValue(text);
    if (!std::isfinite(v)) return RefResult::Fail(ErrorKind::Overflow);
    return RefResult{std::nullopt, 0, v};
}

RefResult RefTextToRange(std::string_view text, std::int64_t lo, std::int64_t hi) {
    const RefResult real = RefTextToReal(text);
    if (!real.ok()) return real;
    return RefRealToRange(real.real, lo, hi);
}

std::string RefLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return out;
}

int RefSignalEntry(std::string_view lower) {
    static const char* const kNames[9] = {"sinx1", "sinx2", "sinx3", "squx1", "squx2",
                                          "squx3", "trix1", "trix2", "trix3"};
    for (int i = 0; i < 9; ++i) {
        if (lower == kNames[i]) return i + 1;
    }
    return 0;
}

void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "\n*** invariant broken at %s:%d\n%s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string Show(std::string_view text) {
    std::string out = "\"";
    const std::size_t shown = std::min<std::size_t>(text.size(), 80);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    out += "\"";
    if (shown < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

}  // namespace kiv::fuzz
