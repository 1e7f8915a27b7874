#include "signal/numbers.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "model/errors.h"
#include "model/texts.h"

namespace kiv {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Strips the blanks around the text and checks it against the reading rule.
// Returns the numeric part (sign included) or nothing.
std::optional<std::string_view> Match(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    std::string_view s = text.substr(b, e - b);
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++intDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && IsDigit(s[i])) ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return s;
}

// Where the first significant digit of an unsigned number stands, as a power
// of ten: 0 for the units, 2 for "123", -3 for "0.00123", -1 for "1e-1".
// Only its sign matters, so the exponent saturates instead of overflowing.
long long LeadingDigitPower(std::string_view s) {
    const std::size_t e = s.find_first_of("eE");
    const std::string_view mantissa = s.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = s.substr(e + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '+' || digits.front() == '-'))
            digits.remove_prefix(1);
        for (char c : digits) exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL);
        if (negative) exponent = -exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_not_of("0.");
    // All zeros never leaves the range; say "units" for them.
    if (first == std::string_view::npos) return 0;
    const long long place = first < point ? static_cast<long long>(point - first) - 1
                                          : -static_cast<long long>(first - point);
    return place + exponent;
}

}  // namespace

std::optional<double> ReadNumber(std::string_view text) {
    auto m = Match(text);
    if (!m) return std::nullopt;
    std::string_view s = *m;
    bool negative = false;
    if (s.front() == '+' || s.front() == '-') {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on a range error: tell a huge
        // magnitude from a tiny one by where its first significant digit
        // stands. The exponent's sign alone is not enough: "0.000...1" with
        // hundreds of zeros is tiny without one, and a long run of digits
        // before "e-10" is huge with a negative one.
        value = LeadingDigitPower(s) >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (ec != std::errc() || ptr != s.data() + s.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

bool IsNumber(std::string_view text) {
    return Match(text).has_value();
}

double RoundHalfEven(double v) {
    // The program never changes the rounding mode, so nearbyint rounds to
    // nearest with ties to even.
    return std::nearbyint(v);
}

namespace {
template <typename T>
T RealToIntegral(double v, TextId what) {
    if (!std::isfinite(v)) Raise(ErrorKind::FloatingPoint, Say(TextId::NotFiniteFor, {Say(what)}));
    double r = RoundHalfEven(v);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        Raise(ErrorKind::Overflow, Say(TextId::OutOfRangeFor, {Say(what)}));
    }
    return static_cast<T>(r);
}
}  // namespace

std::int32_t RealToInt32(double v) {
    return RealToIntegral<std::int32_t>(v, TextId::A32BitInteger);
}
std::int16_t RealToInt16(double v) {
    return RealToIntegral<std::int16_t>(v, TextId::A16BitInteger);
}
std::uint8_t RealToByte(double v) {
    return RealToIntegral<std::uint8_t>(v, TextId::AByte);
}

double ToReal(std::string_view text) {
    auto v = ReadNumber(text);
    if (!v) Raise(ErrorKind::NotANumber, Say(TextId::NotANumber, {text.substr(0, 40)}));
    if (!std::isfinite(*v)) Raise(ErrorKind::Overflow, Say(TextId::NumberTooLarge));
    return *v;
}

std::int32_t ToInteger(std::string_view text) {
    return RealToInt32(ToReal(text));
}
std::uint8_t ToByte(std::string_view text) {
    return RealToByte(ToReal(text));
}
std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r)) Raise(ErrorKind::Overflow, Say(TextId::AdditionOverflow));
    return r;
}

std::int32_t CheckedSub(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r))
        Raise(ErrorKind::Overflow, Say(TextId::SubtractionOverflow));
    return r;
}

std::int32_t CheckedMul(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_mul_overflow(a, b, &r))
        Raise(ErrorKind::Overflow, Say(TextId::MultiplicationOverflow));
    return r;
}

std::int32_t CheckedMod(std::int32_t a, std::int32_t b) {
    if (b == 0) Raise(ErrorKind::DivisionByZero, Say(TextId::RemainderByZero));
    // INT32_MIN % -1 is undefined in C++ although its value is 0.
    if (b == -1) return 0;
    return a % b;
}

std::uint8_t IntToByte(std::int64_t v) {
    if (v < 0 || v > 255)
        Raise(ErrorKind::Overflow, Say(TextId::OutOfRangeFor, {Say(TextId::AByte)}));
    return static_cast<std::uint8_t>(v);
}

double CheckReal(double v) {
    if (!std::isfinite(v)) Raise(ErrorKind::FloatingPoint, Say(TextId::FloatingPointFault));
    return v;
}

}  // namespace kiv
