// ComposeFrame and its model adapter ComputeFrame over any stored plan,
// parameters, period, count, noise ticks and random draws. The pure core
// gives the bytes of the slots before the first failing one and that slot's
// error; the adapter fills frameBytes(1..slotCount) or raises that error,
// the slots before the failing one holding their new bytes and the failing
// and later slots their old ones. Each byte is checked against a 64-bit
// reference of the waveform rules, and the per-slot functions of
// waveforms.h against the same reference, so that a mismatch names the
// layer at fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "box_texts.h"
#include "fakes.h"
#include "reference.h"
#include "signal/compute_frame.h"
#include "signal/waveforms.h"

namespace kiv::fuzz {
namespace {

using Sample = RefResult;  // value 0..255, or the error kind

Sample Byte(std::int64_t v) {
    if (v < 0 || v > 255) return Sample::Fail(ErrorKind::Overflow);
    return Sample{std::nullopt, v, 0.0};
}

Sample RealByte(double v) {
    if (!std::isfinite(v)) return Sample::Fail(ErrorKind::FloatingPoint);
    return RefRealToRange(v, 0, 255);
}

bool OutsideInt32(std::int64_t v) {
    return v < kInt32Min || v > kInt32Max;
}

Sample RefSine(const SignalParams& p, std::int64_t n, std::int64_t T) {
    const double w = 2.0 * static_cast<double>(std::bit_cast<float>(std::uint32_t{0x40490FDA}));
    const double x =
        ((w * static_cast<double>(n)) * static_cast<double>(T)) / static_cast<double>(p.t1);
    if (!std::isfinite(x)) return Sample::Fail(ErrorKind::FloatingPoint);
    return RealByte((static_cast<double>(p.am) * 0.5) * (std::sin(x) + 1.0) +
                    static_cast<double>(p.a0));
}

// The phase of a rectangular or sawtooth slot, or the error on the way to it.
Sample RefPhase(const SignalParams& p, std::int64_t n, std::int64_t T) {
    const std::int64_t time = n * T;
    if (OutsideInt32(time)) return Sample::Fail(ErrorKind::Overflow);
    if (p.cycle == 0) return Sample::Fail(ErrorKind::DivisionByZero);
    return Sample{std::nullopt, time % p.cycle, 0.0};
}

Sample RefRectangular(const SignalParams& p, std::int64_t n, std::int64_t T) {
    const Sample phase = RefPhase(p, n, T);
    if (!phase.ok()) return phase;
    if (phase.value <= p.t1) {
        const std::int64_t high = std::int64_t{p.am} + p.a0;
        if (OutsideInt32(high)) return Sample::Fail(ErrorKind::Overflow);
        return Byte(high);
    }
    return Byte(p.a0);
}

Sample RefSawtooth(const SignalParams& p, std::int64_t n, std::int64_t T) {
    const Sample phase = RefPhase(p, n, T);
    if (!phase.ok()) return phase;
    const std::int64_t q = phase.value;
    if (q <= p.t1) {
        const std::int64_t rise = std::int64_t{p.am} * q;
        if (OutsideInt32(rise)) return Sample::Fail(ErrorKind::Overflow);
        return RealByte(static_cast<double>(rise) / static_cast<double>(p.t1) +
                        static_cast<double>(p.a0));
    }
    if (q <= std::int64_t{p.t1} + p.t2) {
        const std::int64_t top = std::int64_t{p.a0} + p.am;
        const std::int64_t since = q - p.t1;
        const std::int64_t fall = since * p.am;
        if (OutsideInt32(top) || OutsideInt32(since) || OutsideInt32(fall)) {
            return Sample::Fail(ErrorKind::Overflow);
        }
        return RealByte(static_cast<double>(top) -
                        static_cast<double>(fall) / static_cast<double>(p.t2));
    }
    return Byte(p.a0);
}

template <typename Call>
Sample Run(Call call) {
    try {
        return Sample{std::nullopt, static_cast<std::int64_t>(call()), 0.0};
    } catch (const KivError& e) {
        return Sample::Fail(e.kind());
    }
}

std::string Describe(const Sample& s) {
    return s.ok() ? "byte " + std::to_string(s.value)
                  : "error " + std::to_string(static_cast<int>(*s.error));
}

std::string Describe(const SignalParams& p) {
    return "{t1 " + std::to_string(p.t1) + ", t2 " + std::to_string(p.t2) + ", t3 " +
           std::to_string(p.t3) + ", am " + std::to_string(p.am) + ", a0 " + std::to_string(p.a0) +
           ", cycle " + std::to_string(p.cycle) + "}";
}

std::int32_t ConsumeTime(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(-5, 3000)
                            : in.ConsumeIntegral<std::int32_t>();
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    FuzzedDataProvider in(data, size);
    testing::Rig rig;
    Model& w = rig.w;
    w.PI_SINGLE = PiSingle();

    // The frame's time first: the parameters below are often placed around
    // the phase it gives, where the waveforms change case.
    w.sendCount = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(0, 300)
                                   : in.ConsumeIntegralInRange<std::int32_t>(0, 999999);
    w.sendPeriod = in.ConsumeBool() ? in.ConsumeIntegralInRange<std::int32_t>(-20, 5000)
                                    : in.ConsumeIntegral<std::int32_t>();
    w.slotCount = in.ConsumeIntegralInRange<std::int32_t>(0, 10);
    const auto ticks = in.ConsumeIntegral<std::uint16_t>();
    for (int i = 1; i <= kSlotCount; ++i) {
        w.Check1(i).Value = static_cast<int>((ticks >> i) & 1U);
        w.frameBytes(i) = in.ConsumeIntegral<std::uint8_t>();
        float r = in.ConsumeProbability<float>();
        if (r >= 1.0f) r = std::nextafter(1.0f, 0.0f);
        rig.random.values.push_back(r);
    }
    BoxTexts texts(in);
    for (int i = 1; i <= kSlotCount; ++i) {
        w.slotText(i) = texts.Next(
            std::string(kSignalVariables.at(in.ConsumeIntegralInRange<std::size_t>(0, 8)).name));
    }
    const std::int64_t time = std::int64_t{w.sendCount} * w.sendPeriod;
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        SignalParams& p = w.signalParams(i);
        switch (in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: {  // t1 and t1 + t2 next to the frame's phase
                const std::int64_t cycle =
                    in.ConsumeIntegralInRange<std::int64_t>(1, 3000) * (in.ConsumeBool() ? 1 : -1);
                const std::int64_t phase = OutsideInt32(time) ? 0 : time % cycle;
                const std::int64_t t1 = phase + in.ConsumeIntegralInRange<std::int64_t>(-2, 2);
                const std::int64_t t2 =
                    in.ConsumeBool() ? phase - t1 + in.ConsumeIntegralInRange<std::int64_t>(-2, 2)
                                     : in.ConsumeIntegralInRange<std::int64_t>(0, 3000);
                p.t1 = static_cast<std::int32_t>(t1);
                p.t2 = static_cast<std::int32_t>(t2);
                p.t3 = static_cast<std::int32_t>(cycle - t1 - t2);
                p.cycle = static_cast<std::int32_t>(cycle);
                break;
            }
            case 1: {
                p.t1 = ConsumeTime(in);
                p.t2 = ConsumeTime(in);
                p.t3 = ConsumeTime(in);
                const std::int64_t cycle = std::int64_t{p.t1} + p.t2 + p.t3;
                p.cycle = OutsideInt32(cycle) ? in.ConsumeIntegral<std::int32_t>()
                                              : static_cast<std::int32_t>(cycle);
                break;
            }
            default:
                p.t1 = in.ConsumeIntegral<std::int32_t>();
                p.t2 = in.ConsumeIntegral<std::int32_t>();
                p.t3 = in.ConsumeIntegral<std::int32_t>();
                p.cycle = in.ConsumeIntegral<std::int32_t>();
                break;
        }
        if (in.ConsumeIntegralInRange<int>(0, 3) != 0) {  // levels as an apply stores them
            p.am = in.ConsumeIntegralInRange<std::int32_t>(0, 255);
            p.a0 = in.ConsumeIntegralInRange<std::int32_t>(0, 255 - p.am);
        } else {
            p.am = in.ConsumeIntegral<std::int32_t>();
            p.a0 = in.ConsumeIntegral<std::int32_t>();
        }
    }

    // The expected frame, slot by slot, until the first error.
    const std::array<float, 10> draws = [&] {
        std::array<float, 10> d{};
        for (std::size_t k = 0; k < 10; ++k) d[k] = rig.random.values[k];
        return d;
    }();
    auto bytes = w.frameBytes;
    auto slotTexts = w.slotText;
    const auto bytesBefore = w.frameBytes;
    const auto textsBefore = w.slotText;
    std::optional<ErrorKind> error;
    int failedSlot = 0;
    int drawsUsed = 0;
    const std::int64_t n = w.sendCount, T = w.sendPeriod;
    for (int i = 1; i <= w.slotCount && !error; ++i) {
        const std::string text = w.slotText(i);
        Sample value{std::nullopt, bytes(i), 0.0};
        if (RefIsNumber(text)) {
            value = RefTextToRange(text, 0, 255);
        } else {
            slotTexts(i) = RefLower(text);
            const int entry = RefSignalEntry(slotTexts(i));
            if (entry != 0) {
                const SignalParams& p = w.signalParams(entry);
                Sample pure;
                if (entry <= 3) {
                    value = RefSine(p, n, T);
                    pure = Run([&] {
                        return SineSample(p, static_cast<std::int32_t>(n),
                                          static_cast<std::int32_t>(T), w.PI_SINGLE);
                    });
                } else if (entry <= 6) {
                    value = RefRectangular(p, n, T);
                    pure = Run([&] {
                        return RectangularSample(p, static_cast<std::int32_t>(n),
                                                 static_cast<std::int32_t>(T));
                    });
                } else {
                    value = RefSawtooth(p, n, T);
                    pure = Run([&] {
                        return SawtoothSample(p, static_cast<std::int32_t>(n),
                                              static_cast<std::int32_t>(T));
                    });
                }
                FUZZ_CHECK(pure.error == value.error && (!value.ok() || pure.value == value.value),
                           "waveform of entry " + std::to_string(entry) + " " + Describe(p) +
                               " at n " + std::to_string(n) + ", T " + std::to_string(T) +
                               ": expected " + Describe(value) + ", got " + Describe(pure));
            }
        }
        if (value.ok() && w.Check1(i).Value == 1) {
            const std::int64_t A = w.signalParams(kNoiseEntry).am;
            const float r = draws[static_cast<std::size_t>(drawsUsed++)];
            const double d =
                static_cast<double>(A) * 0.5 - static_cast<double>(r) * static_cast<double>(A);
            const Sample offset = std::isfinite(d) ? RefRealToRange(d, -32768, 32767)
                                                   : Sample::Fail(ErrorKind::FloatingPoint);
            if (offset.ok()) {
                const std::int64_t s = value.value + offset.value;
                value.value = s >= 255 ? 255 : s <= 0 ? 0 : s;
            } else {
                value = offset;
            }
        }
        if (value.ok()) {
            bytes(i) = static_cast<std::uint8_t>(value.value);
        } else {
            error = value.error;
            failedSlot = i;
        }
    }

    // The pure composition first, on its own copy of the draws.
    FrameInputs inputs{std::span<const std::string>(w.slotText.values)
                           .first(static_cast<std::size_t>(w.slotCount)),
                       std::span<const SignalParams, 10>(w.signalParams.values)};
    for (int i = 1; i <= kSlotCount; ++i) inputs.noise.at(i - 1U) = w.Check1(i).Value == 1;
    inputs.previous = w.frameBytes.values;
    inputs.count = w.sendCount;
    inputs.period = w.sendPeriod;
    inputs.pi = w.PI_SINGLE;
    testing::FakeRandom coreRandom;
    coreRandom.values.assign(draws.begin(), draws.end());
    const ComposedFrame composed = ComposeFrame(inputs, coreRandom);
    const std::optional<ErrorKind> coreError =
        composed.error ? std::optional(composed.error->kind()) : std::nullopt;
    FUZZ_CHECK(coreError == error && composed.failedSlot == failedSlot,
               "the pure composition failed at slot " + std::to_string(composed.failedSlot) +
                   ", expected slot " + std::to_string(failedSlot));
    const std::size_t composedSlots = error ? failedSlot - 1U : w.slotCount;
    FUZZ_CHECK(composed.bytes.size() == composedSlots,
               "the pure composition gave " + std::to_string(composed.bytes.size()) + " bytes");
    for (std::size_t k = 0; k < composed.bytes.size(); ++k)
        FUZZ_CHECK(composed.bytes[k] == bytes(static_cast<int>(k) + 1),
                   "the pure composition's byte " + std::to_string(k + 1));
    FUZZ_CHECK(coreRandom.draws == drawsUsed,
               "the pure composition drew " + std::to_string(coreRandom.draws) + " times");

    // Then the model adapter around it.
    std::optional<ErrorKind> raised;
    try {
        ComputeFrame(w);
    } catch (const KivError& e) {
        raised = e.kind();
    }

    std::string plan = "plan";
    for (int i = 1; i <= w.slotCount; ++i) plan += " " + Show(textsBefore(i));
    plan += " n " + std::to_string(n) + " T " + std::to_string(T);
    FUZZ_CHECK(raised == error,
               "error kind " + (raised ? std::to_string(static_cast<int>(*raised)) : "none") +
                   ", expected " + (error ? std::to_string(static_cast<int>(*error)) : "none") +
                   " at slot " + std::to_string(failedSlot) + " for " + plan);
    FUZZ_CHECK(!raised || *raised == ErrorKind::Overflow || *raised == ErrorKind::DivisionByZero ||
                   *raised == ErrorKind::FloatingPoint,
               "an undocumented error kind");
    for (int i = 1; i <= kSlotCount; ++i) {
        const bool computed = i <= w.slotCount && (!error || i < failedSlot);
        FUZZ_CHECK(w.frameBytes(i) == (computed ? bytes(i) : bytesBefore(i)),
                   "frameBytes(" + std::to_string(i) + ") is " + std::to_string(w.frameBytes(i)) +
                       ", expected " + std::to_string(computed ? bytes(i) : bytesBefore(i)) +
                       " for " + plan);
        const bool visited = i <= w.slotCount && (!error || i <= failedSlot);
        FUZZ_CHECK(w.slotText(i) == (visited ? slotTexts(i) : textsBefore(i)),
                   "slotText(" + std::to_string(i) + ") is " + Show(w.slotText(i)));
    }
    FUZZ_CHECK(rig.random.draws == drawsUsed, "random draws " + std::to_string(rig.random.draws) +
                                                  ", expected " + std::to_string(drawsUsed));
    return 0;
}
