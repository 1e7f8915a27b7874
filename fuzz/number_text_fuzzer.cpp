// The number reading rule and the text conversions, on any text: accepted
// exactly when the rule says, and an accepted text reads, rounds and
// range-checks as the independent reference does.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "reference.h"
#include "signal/numbers.h"

namespace kiv::fuzz {
namespace {

template <typename Call>
RefResult Run(Call call) {
    try {
        return RefResult{std::nullopt, static_cast<std::int64_t>(call()), 0.0};
    } catch (const KivError& e) {
        return RefResult::Fail(e.kind());
    }
}

std::string Describe(const RefResult& r) {
    if (!r.ok()) return "error " + std::to_string(static_cast<int>(*r.error));
    return "value " + std::to_string(r.value);
}

void CheckSame(std::string_view text, const char* what, const RefResult& got,
               const RefResult& expected) {
    const bool same = got.error == expected.error && (!got.ok() || got.value == expected.value);
    FUZZ_CHECK(same, std::string(what) + " of " + Show(text) + ": expected " + Describe(expected) +
                         ", got " + Describe(got));
}

bool SameDouble(double a, double b) {
    // -0 and +0 are told apart too: "-0" reads as minus zero.
    return a == b && std::signbit(a) == std::signbit(b);
}

void CheckText(std::string_view text) {
    const bool number = RefIsNumber(text);
    FUZZ_CHECK(IsNumber(text) == number,
               "IsNumber(" + Show(text) + ") should be " + (number ? "true" : "false"));

    const std::optional<double> read = ReadNumber(text);
    FUZZ_CHECK(read.has_value() == number,
               "ReadNumber(" + Show(text) + ") should " + (number ? "" : "not ") + "give a value");
    if (number) {
        const double expected = RefValue(text);
        FUZZ_CHECK(SameDouble(*read, expected), "ReadNumber(" + Show(text) + "): expected " +
                                                    std::to_string(expected) + " got " +
                                                    std::to_string(*read));
    }

    const RefResult real = RefTextToReal(text);
    try {
        const double v = ToReal(text);
        FUZZ_CHECK(real.ok() && SameDouble(v, real.real),
                   "ToReal(" + Show(text) + ") gave " + std::to_string(v) + ", expected " +
                       (real.ok() ? std::to_string(real.real) : "an error"));
    } catch (const KivError& e) {
        FUZZ_CHECK(real.error == e.kind(), "ToReal(" + Show(text) + ") raised kind " +
                                               std::to_string(static_cast<int>(e.kind())));
    }

    CheckSame(text, "ToInteger", Run([&] { return ToInteger(text); }),
              RefTextToRange(text, kInt32Min, kInt32Max));
    // The 16-bit conversion the sawtooth's rounding uses, from the text's value.
    CheckSame(text, "RealToInt16", Run([&] { return RealToInt16(ToReal(text)); }),
              RefTextToRange(text, -32768, 32767));
    CheckSame(text, "ToByte", Run([&] { return ToByte(text); }), RefTextToRange(text, 0, 255));
}

// The input with one of its characters repeated many times: digit runs
// longer than a double can hold are a few bytes away for the mutator
// instead of hundreds.
std::string Stretched(std::string_view input) {
    const auto times = static_cast<std::size_t>(static_cast<unsigned char>(input.back())) * 8;
    const auto at = static_cast<std::size_t>(static_cast<unsigned char>(input[input.size() - 2]));
    const std::string_view text = input.substr(0, input.size() - 2);
    if (text.empty()) return std::string();
    const std::size_t pos = at % text.size();
    std::string out(text.substr(0, pos));
    out.append(times, text[pos]);
    out += text.substr(pos);
    return out;
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv::fuzz;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckText(input);
    if (size >= 3) CheckText(Stretched(input));
    return 0;
}
