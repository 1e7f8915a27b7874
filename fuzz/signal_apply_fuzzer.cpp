// The signal pages' apply (ApplySignalSettings) with any text in each of the
// fifty parameter boxes, over any earlier store. Afterwards either all ten
// entries hold the boxes' values and satisfy the level and cycle rules, or
// the signal message was shown once and the store is what a failure leaves:
// unchanged after a rejected box, partly written after a cycle overflow.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <string>

#include "box_texts.h"
#include "fakes.h"
#include "reference.h"
#include "signal/signal_params.h"

namespace kiv::fuzz {
namespace {

constexpr const char* kMessage = "信号设置错误，请修改！";
constexpr const char* kTitle = "信号设置信息";

TextBox& Box(Model& w, int column, int i) {
    switch (column) {
        case 0:
            return w.fuction_t1(i);
        case 1:
            return w.fuction_t2(i);
        case 2:
            return w.fuction_t3(i);
        case 3:
            return w.fuction_am(i);
        default:
            return w.fuction_a0(i);
    }
}

std::string Describe(const SignalParams& p) {
    return "{t1 " + std::to_string(p.t1) + ", t2 " + std::to_string(p.t2) + ", t3 " +
           std::to_string(p.t3) + ", am " + std::to_string(p.am) + ", a0 " + std::to_string(p.a0) +
           ", cycle " + std::to_string(p.cycle) + "}";
}

struct Expected {
    bool message = false;
    std::array<SignalParams, 11> store{};  // 1-based
};

// What the apply should leave, worked out from the texts alone.
Expected Reference(Model& w, const std::array<SignalParams, 11>& before) {
    Expected e;
    e.store = before;
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        for (int c = 0; c < 3; ++c) {
            if (!RefTextToRange(Box(w, c, i).Text, kInt32Min, kInt32Max).ok()) {
                e.message = true;
                return e;
            }
        }
        const RefResult am = RefTextToRange(Box(w, 3, i).Text, 0, 255);
        const RefResult a0 = RefTextToRange(Box(w, 4, i).Text, 0, 255);
        if (!am.ok() || !a0.ok()) {
            e.message = true;
            return e;
        }
        // The sum uses am as typed, before rounding.
        const double sum = RefTextToReal(Box(w, 3, i).Text).real + static_cast<double>(a0.value);
        if (!RefRealToRange(sum, 0, 255).ok()) {
            e.message = true;
            return e;
        }
    }
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        SignalParams& p = e.store[static_cast<std::size_t>(i)];
        p.t1 = static_cast<std::int32_t>(
            RefTextToRange(Box(w, 0, i).Text, kInt32Min, kInt32Max).value);
        p.t2 = static_cast<std::int32_t>(
            RefTextToRange(Box(w, 1, i).Text, kInt32Min, kInt32Max).value);
        p.t3 = static_cast<std::int32_t>(
            RefTextToRange(Box(w, 2, i).Text, kInt32Min, kInt32Max).value);
        p.am = static_cast<std::int32_t>(RefTextToRange(Box(w, 3, i).Text, 0, 255).value);
        p.a0 = static_cast<std::int32_t>(RefTextToRange(Box(w, 4, i).Text, 0, 255).value);
        const std::int64_t partial = std::int64_t{p.t1} + p.t2;
        const std::int64_t cycle = partial + p.t3;
        if (partial < kInt32Min || partial > kInt32Max || cycle < kInt32Min || cycle > kInt32Max) {
            e.message = true;  // this entry keeps its earlier cycle
            return e;
        }
        p.cycle = static_cast<std::int32_t>(cycle);
    }
    return e;
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    FuzzedDataProvider in(data, size);
    testing::Rig rig;
    Model& w = rig.w;

    // The store an earlier apply left, or any values at all.
    if (in.ConsumeBool()) {
        for (int i = 1; i <= kSignalEntryCount; ++i) {
            SignalParams& p = w.signalParams(i);
            p = {in.ConsumeIntegral<std::int32_t>(), in.ConsumeIntegral<std::int32_t>(),
                 in.ConsumeIntegral<std::int32_t>(), in.ConsumeIntegral<std::int32_t>(),
                 in.ConsumeIntegral<std::int32_t>(), in.ConsumeIntegral<std::int32_t>()};
        }
    } else {
        ApplySignalSettings(w);
        FUZZ_CHECK(rig.box.shown.empty(), "the window's own texts were rejected");
    }

    BoxTexts texts(in);
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        for (int c = 0; c < 5; ++c) Box(w, c, i).Text = texts.Next(Box(w, c, i).Text);
        if (in.ConsumeIntegralInRange<int>(0, 3) == 3) {
            // Levels on the edge of am + a0 <= 255, am with a fraction.
            const int k = in.ConsumeIntegralInRange<int>(0, 255);
            const char* const fractions[] = {"", ".5", ".4999999", ".5000001", ".25"};
            Box(w, 3, i).Text = std::to_string(k) + fractions[in.ConsumeIntegralInRange<int>(0, 4)];
            Box(w, 4, i).Text = std::to_string(255 - k + in.ConsumeIntegralInRange<int>(-1, 1));
        }
    }
    std::array<std::string, 50> typed;
    std::array<SignalParams, 11> before{};
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        before[static_cast<std::size_t>(i)] = w.signalParams(i);
        for (int c = 0; c < 5; ++c)
            typed[static_cast<std::size_t>((i - 1) * 5 + c)] = Box(w, c, i).Text;
    }
    const Expected expected = Reference(w, before);
    const auto frameBefore = w.frameBytes;

    ApplySignalSettings(w);

    if (expected.message) {
        FUZZ_CHECK(rig.box.shown.size() == 1, "the signal message should be shown once");
        FUZZ_CHECK(rig.box.shown[0].text == kMessage && rig.box.shown[0].title == kTitle &&
                       rig.box.shown[0].style == 22,
                   "wrong message: " + rig.box.shown[0].text);
    } else {
        FUZZ_CHECK(rig.box.shown.empty(), "a message on a good page: entry 1 t1 " +
                                              Show(w.fuction_t1(1).Text) + " am " +
                                              Show(w.fuction_am(1).Text));
    }
    for (int i = 1; i <= kSignalEntryCount; ++i) {
        const SignalParams& got = w.signalParams(i);
        const SignalParams& want = expected.store[static_cast<std::size_t>(i)];
        std::string texts;
        for (int c = 0; c < 5; ++c) texts += " " + Show(Box(w, c, i).Text);
        FUZZ_CHECK(got == want, "entry " + std::to_string(i) + " from" + texts + ": expected " +
                                    Describe(want) + ", got " + Describe(got));
        if (!expected.message) {
            FUZZ_CHECK(got.am >= 0 && got.a0 >= 0 && got.am + got.a0 <= 255,
                       "levels out of range in entry " + std::to_string(i) + ": " + Describe(got));
            FUZZ_CHECK(std::int64_t{got.cycle} == std::int64_t{got.t1} + got.t2 + got.t3,
                       "cycle is not t1 + t2 + t3 in entry " + std::to_string(i));
        }
        for (int c = 0; c < 5; ++c) {
            FUZZ_CHECK(Box(w, c, i).Text == typed[static_cast<std::size_t>((i - 1) * 5 + c)],
                       "the apply changed a box's text");
        }
    }
    FUZZ_CHECK(w.frameBytes == frameBefore && w.slotCount == 0 && rig.port.calls.empty(),
               "the apply touched state beyond the store");
    return 0;
}
