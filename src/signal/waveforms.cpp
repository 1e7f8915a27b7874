#include "signal/waveforms.h"

#include <bit>
#include <cmath>

#include "model/errors.h"
#include "signal/numbers.h"

namespace kiv {

float PiSingle() {
    return std::bit_cast<float>(std::uint32_t{0x40490FDA});
}

std::uint8_t SineSample(const SignalParams& p, std::int32_t n, std::int32_t T, float piSingle) {
    const double w = 2.0 * static_cast<double>(piSingle);
    const double x = CheckReal(((w * n) * T) / static_cast<double>(p.t1));
    const double v = CheckReal((p.am * 0.5) * (std::sin(x) + 1.0) + p.a0);
    return RealToByte(v);
}

namespace {
// The phase within the cycle: n x T as a 32-bit product, then the remainder
// of truncating division, so it carries the sign of n x T.
std::int32_t Phase(const SignalParams& p, std::int32_t n, std::int32_t T) {
    return CheckedMod(CheckedMul(n, T), p.cycle);
}
}  // namespace

std::uint8_t RectangularSample(const SignalParams& p, std::int32_t n, std::int32_t T) {
    const std::int32_t phase = Phase(p, n, T);
    if (phase <= p.t1) return IntToByte(CheckedAdd(p.am, p.a0));
    return IntToByte(p.a0);
}

std::uint8_t SawtoothSample(const SignalParams& p, std::int32_t n, std::int32_t T) {
    const std::int32_t phase = Phase(p, n, T);
    if (phase <= p.t1) {
        const double v = CheckReal(static_cast<double>(CheckedMul(p.am, phase)) / p.t1 + p.a0);
        return RealToByte(v);
    }
    // t1 + t2 is known not to overflow: the stored cycle contains it.
    if (phase <= static_cast<std::int64_t>(p.t1) + p.t2) {
        const std::int32_t top = CheckedAdd(p.a0, p.am);
        const std::int32_t fall = CheckedMul(CheckedSub(phase, p.t1), p.am);
        const double v = CheckReal(top - static_cast<double>(fall) / p.t2);
        return RealToByte(v);
    }
    return IntToByte(p.a0);
}

std::int32_t NoiseOffset(std::int32_t A, float r) {
    const double d = CheckReal((A * 0.5) - (static_cast<double>(r) * A));
    return RealToInt16(d);
}

std::uint8_t AddNoise(std::uint8_t value, std::int32_t d) {
    const std::int64_t s = static_cast<std::int64_t>(value) + d;
    if (s >= 255) return 255;
    if (s <= 0) return 0;
    return static_cast<std::uint8_t>(s);
}

}  // namespace kiv
