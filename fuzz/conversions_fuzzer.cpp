// Real-to-integer conversions and the checked 32-bit arithmetic, on any
// operands: each result or error against 64-bit and floor-based references.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

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

RefResult Int32Result(std::int64_t exact) {
    if (exact < kInt32Min || exact > kInt32Max) return RefResult::Fail(ErrorKind::Overflow);
    return RefResult{std::nullopt, exact, 0.0};
}

void CheckSame(const std::string& what, const RefResult& got, const RefResult& expected) {
    const bool same = got.error == expected.error && (!got.ok() || got.value == expected.value);
    auto describe = [](const RefResult& r) {
        return r.ok() ? "value " + std::to_string(r.value)
                      : "error " + std::to_string(static_cast<int>(*r.error));
    };
    FUZZ_CHECK(same, what + ": expected " + describe(expected) + ", got " + describe(got));
}

// A double from the input: any bit pattern, or one near a rounding or range
// boundary, where conversions go wrong.
double ConsumeReal(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
        case 1:  // a half
            return static_cast<double>(in.ConsumeIntegral<std::int32_t>()) + 0.5;
        case 2: {  // one or a few units in the last place from an integer
            double v = static_cast<double>(in.ConsumeIntegral<std::int64_t>() >>
                                           in.ConsumeIntegralInRange<int>(0, 63));
            const int steps = in.ConsumeIntegralInRange<int>(-3, 3);
            for (int i = 0; i < std::abs(steps); ++i) {
                v = std::nextafter(v, steps > 0 ? HUGE_VAL : -HUGE_VAL);
            }
            return v;
        }
        default:
            return in.ConsumeFloatingPoint<double>();
    }
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    FuzzedDataProvider in(data, size);

    const double v = ConsumeReal(in);
    const std::string vs =
        std::to_string(v) + " (bits " + std::to_string(std::bit_cast<std::uint64_t>(v)) + ")";
    if (std::isfinite(v)) {
        const double r = RoundHalfEven(v);
        FUZZ_CHECK(r == RefRoundHalfEven(v), "RoundHalfEven(" + vs + ") gave " + std::to_string(r));
    }
    CheckSame("RealToInt32(" + vs + ")", Run([&] { return RealToInt32(v); }),
              RefRealToRange(v, kInt32Min, kInt32Max));
    CheckSame("RealToInt16(" + vs + ")", Run([&] { return RealToInt16(v); }),
              RefRealToRange(v, -32768, 32767));
    CheckSame("RealToByte(" + vs + ")", Run([&] { return RealToByte(v); }),
              RefRealToRange(v, 0, 255));
    {
        const RefResult got = Run([&] { return CheckReal(v) == v ? 1 : 0; });
        FUZZ_CHECK(
            std::isfinite(v) ? got.ok() && got.value == 1 : got.error == ErrorKind::FloatingPoint,
            "CheckReal(" + vs + ")");
    }

    const auto a = in.ConsumeIntegral<std::int32_t>();
    const auto b = in.ConsumeIntegral<std::int32_t>();
    const std::string ab = "(" + std::to_string(a) + ", " + std::to_string(b) + ")";
    const std::int64_t a64 = a, b64 = b;
    CheckSame("CheckedAdd" + ab, Run([&] { return CheckedAdd(a, b); }), Int32Result(a64 + b64));
    CheckSame("CheckedSub" + ab, Run([&] { return CheckedSub(a, b); }), Int32Result(a64 - b64));
    CheckSame("CheckedMul" + ab, Run([&] { return CheckedMul(a, b); }), Int32Result(a64 * b64));
    CheckSame("CheckedMod" + ab, Run([&] { return CheckedMod(a, b); }),
              b == 0 ? RefResult::Fail(ErrorKind::DivisionByZero) : Int32Result(a64 % b64));

    const auto wide = in.ConsumeIntegral<std::int64_t>() >> in.ConsumeIntegralInRange<int>(0, 63);
    CheckSame("IntToByte(" + std::to_string(wide) + ")", Run([&] { return IntToByte(wide); }),
              wide < 0 || wide > 255 ? RefResult::Fail(ErrorKind::Overflow)
                                     : RefResult{std::nullopt, wide, 0.0});
    return 0;
}
