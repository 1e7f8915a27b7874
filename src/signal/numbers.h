#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Numbers typed by the user and the checked arithmetic every action relies on.
// One reading rule serves the whole program: blanks around, an optional sign,
// digits with an optional decimal point and fraction (".5" and "5." count),
// an optional exponent. Locale never changes the result.
namespace kiv {

// The value of the text, or nothing when the text is not a number.
// A number too large for a double reads as +/- infinity.
std::optional<double> ReadNumber(std::string_view text);
bool IsNumber(std::string_view text);

// Rounds to the nearest integer, halves to the even neighbour.
double RoundHalfEven(double v);

// Real to integer conversions: round halves to even, then range-check.
// NaN or infinity raise FloatingPoint; out of range raises Overflow.
std::int32_t RealToInt32(double v);
std::int16_t RealToInt16(double v);
std::uint8_t RealToByte(double v);

// Text conversions. A text that is not a number raises NotANumber.
double ToReal(std::string_view text);
std::int32_t ToInteger(std::string_view text);
std::uint8_t ToByte(std::string_view text);

// Checked 32-bit arithmetic.
std::int32_t CheckedAdd(std::int32_t a, std::int32_t b);
std::int32_t CheckedSub(std::int32_t a, std::int32_t b);
std::int32_t CheckedMul(std::int32_t a, std::int32_t b);
// Remainder of truncating division; the result has the sign of a.
std::int32_t CheckedMod(std::int32_t a, std::int32_t b);
// An integer to a byte: outside 0..255 raises Overflow.
std::uint8_t IntToByte(std::int64_t v);

// Raises FloatingPoint when v is not finite (an invalid operation, a division
// by zero or an overflow earlier in the computation); returns v otherwise.
double CheckReal(double v);

}  // namespace kiv
