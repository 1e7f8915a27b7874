#pragma once

// An independent statement of the program's number rules for the fuzz
// targets to judge the real code against: the reading rule as a POSIX
// extended regular expression, the value by strtod in the C locale, and
// rounding and range checks written without the program's helpers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/errors.h"

namespace kiv::fuzz {

// Whether the text is a number: blanks (space, tab) around, an optional sign,
// digits with an optional point and fraction (".5" and "5." count), an
// optional exponent e/E with an optional sign and digits.
bool RefIsNumber(std::string_view text);

// The value of a text that RefIsNumber accepts, by strtod in the C locale;
// +/- infinity when it is too large for a double.
double RefValue(std::string_view text);

// Nearest integer, halves to the even neighbour, by floor and comparison.
double RefRoundHalfEven(double v);

// What a conversion gives: a value, or the kind of error it raises.
struct RefResult {
    std::optional<ErrorKind> error;
    std::int64_t value = 0;
    double real = 0.0;  // for the real conversion

    static RefResult Fail(ErrorKind kind) { return RefResult{kind, 0, 0.0}; }
    bool ok() const { return !error.has_value(); }
};

// A real to an integer in lo..hi: not finite raises FloatingPoint, a rounded
// value outside the range raises Overflow.
RefResult RefRealToRange(double v, std::int64_t lo, std::int64_t hi);

// The text conversions: not a number raises NotANumber, a number too large
// for a double raises Overflow, then as RefRealToRange.
RefResult RefTextToReal(std::string_view text);
RefResult RefTextToRange(std::string_view text, std::int64_t lo, std::int64_t hi);

constexpr std::int64_t kInt32Min = -2147483648LL;
constexpr std::int64_t kInt32Max = 2147483647LL;

// ASCII lower case, other bytes unchanged.
std::string RefLower(std::string_view text);

// The entry 1..9 a lower-case slot text names, or 0.
int RefSignalEntry(std::string_view lower);

// Prints what went wrong and aborts, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const char* file, int line, const std::string& what);

// A short printable rendering of a text for failure messages.
std::string Show(std::string_view text);

}  // namespace kiv::fuzz

#define FUZZ_CHECK(cond, what)                                                 \
    do {                                                                       \
        if (!(cond)) ::kiv::fuzz::Fail(__FILE__, __LINE__, std::string(what)); \
    } while (0)
