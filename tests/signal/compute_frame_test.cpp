#include "signal/compute_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "app/startup.h"
#include "fakes.h"
#include "signal/waveforms.h"

namespace kiv {
namespace {

// The pure composition with the start-up parameters and no noise.
struct Core {
    Core() {
        testing::Rig rig;
        StartUp(rig.w);
        params = rig.w.signalParams.values;
    }
    void Plan(const std::vector<std::string>& slots, std::int32_t period) {
        plan = slots;
        this->period = period;
    }
    SignalParams& Param(int entry) { return params.at(static_cast<std::size_t>(entry - 1)); }
    ComposedFrame Compose(std::int32_t n) {
        FrameInputs in{plan, params};
        in.noise = noise;
        in.previous = previous;
        in.count = n;
        in.period = period;
        in.pi = PiSingle();
        return ComposeFrame(in, random);
    }
    std::vector<int> At(std::int32_t n) {
        const ComposedFrame frame = Compose(n);
        if (frame.error) throw *frame.error;
        return {frame.bytes.begin(), frame.bytes.end()};
    }
    ErrorKind ErrorAt(std::int32_t n) {
        const ComposedFrame frame = Compose(n);
        if (!frame.error) ADD_FAILURE() << "no error at n=" << n;
        return frame.error ? frame.error->kind() : ErrorKind::Port;
    }
    std::vector<std::string> plan;
    std::array<SignalParams, 10> params{};
    std::array<bool, 10> noise{};
    std::array<std::uint8_t, 10> previous{};
    std::int32_t period = 0;
    testing::FakeRandom random;
};

// The model adapter: the same composition on the window's fields.
struct Frames : testing::Rig {
    Frames() { StartUp(w); }
    void Plan(const std::vector<std::string>& slots, std::int32_t period) {
        for (std::size_t i = 0; i < slots.size(); ++i)
            w.slotText(static_cast<int>(i) + 1) = slots[i];
        w.slotCount = static_cast<std::int32_t>(slots.size());
        w.sendPeriod = period;
    }
    std::vector<int> At(std::int32_t n) {
        w.sendCount = n;
        ComputeFrame(w);
        std::vector<int> out;
        for (int i = 1; i <= w.slotCount; ++i) out.push_back(w.frameBytes(i));
        return out;
    }
    ErrorKind ErrorAt(std::int32_t n) {
        try {
            At(n);
        } catch (const KivError& e) {
            return e.kind();
        }
        ADD_FAILURE() << "no error at n=" << n;
        return ErrorKind::Port;
    }
};

TEST(ComputeFrame, PiSingleHasItsBitPattern) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(PiSingle()), 0x40490FDAu);
    EXPECT_DOUBLE_EQ(static_cast<double>(PiSingle()), 3.1415925025939941);
}

TEST(ComputeFrame, ExampleFrameOfTheInstructions) {
    Core f;
    f.Plan({"5", "6", "sinx1", "sinx2"}, 10);
    const std::vector<std::vector<int>> expected = {
        {5, 6, 130, 140}, {5, 6, 148, 145}, {5, 6, 159, 150},
        {5, 6, 159, 155}, {5, 6, 148, 159}, {5, 6, 130, 164},
    };
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(f.At(n), expected[static_cast<std::size_t>(n)]) << "n=" << n;
    const int sinx1More[] = {112, 101, 101, 112, 130};
    for (int n = 6; n <= 10; ++n) EXPECT_EQ(f.At(n)[2], sinx1More[n - 6]) << "n=" << n;
}

TEST(ComputeFrame, RectangularSixHighFourLow) {
    Core f;
    f.Plan({"squx1"}, 10);
    for (int n = 0; n < 30; ++n) EXPECT_EQ(f.At(n)[0], n % 10 <= 5 ? 255 : 0) << "n=" << n;
}

TEST(ComputeFrame, SawtoothRepeatsEveryFifteenFrames) {
    Core f;
    f.Plan({"trix1"}, 10);
    const int expected[15] = {100, 112, 124, 136, 148, 160, 148, 136,
                              124, 112, 100, 100, 100, 100, 100};
    for (int n = 0; n < 45; ++n) EXPECT_EQ(f.At(n)[0], expected[n % 15]) << "n=" << n;
}

// Rise and fall of different lengths, worked out by hand from the rules:
// rise a0 + am*p/t1 up to p = t1, fall a0 + am - (p - t1)*am/t2 up to
// p = t1 + t2, then a0 to the end of the cycle; halves round to even.
TEST(ComputeFrame, SawtoothRisesOverT1AndFallsOverT2) {
    const struct {
        const char* slot;
        int entry;
        SignalParams params;     // t1, t2, t3, am, a0, cycle
        std::vector<int> cycle;  // n = 0, 1, ... at T = 10, then it repeats
    } cases[] = {
        // Quick rise, slower fall: p 50 falls by 10*60/20 = 30.
        {"trix1", 7, {40, 20, 30, 60, 100, 90}, {100, 115, 130, 145, 160, 130, 100, 100, 100}},
        // Slow rise, quick fall: 12.5 steps on the way down, 61 - 12.5 = 48.5
        // and 61 - 37.5 = 23.5 rounding to the even 48 and 24.
        {"trix2", 8, {20, 40, 10, 50, 11, 70}, {11, 36, 61, 48, 36, 24, 11}},
        // The whole cycle is rise and fall, no rest; 27.5 rounds to 28.
        {"trix3", 9, {20, 70, 0, 35, 10, 90}, {10, 28, 45, 40, 35, 30, 25, 20, 15}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slot);
        Core f;
        f.Plan({c.slot}, 10);
        f.Param(c.entry) = c.params;
        const int length = static_cast<int>(c.cycle.size());
        for (int n = 0; n < 2 * length; ++n)
            EXPECT_EQ(f.At(n)[0], c.cycle[static_cast<std::size_t>(n % length)]) << "n=" << n;
    }
}

TEST(ComputeFrame, HalvesRoundToEven) {
    Core f;
    f.Plan({"sinx1", "2.5", "3.5", "130.5", "131.5"}, 10);
    f.Param(1) = {100, 0, 0, 1, 0, 100};  // 0.5 at t = 0
    EXPECT_EQ(f.At(0), (std::vector<int>{0, 2, 4, 130, 132}));
    f.Param(1).am = 3;  // 1.5 at t = 0
    EXPECT_EQ(f.At(0)[0], 2);
}

TEST(ComputeFrameAdapter, NamesAreLowerCasedAndStoredBack) {
    Frames f;
    f.Plan({"SINX1", "TriX1", " 12 "}, 10);
    EXPECT_EQ(f.At(0), (std::vector<int>{130, 100, 12}));
    EXPECT_EQ(f.w.slotText(1), "sinx1");
    EXPECT_EQ(f.w.slotText(2), "trix1");
    EXPECT_EQ(f.w.slotText(3), " 12 ");  // constants keep their text
}

TEST(ComputeFrame, ZeroAndNegativePeriodsSampleAtTheirOwnTimes) {
    Core f;
    f.Plan({"sinx1", "squx1", "trix1"}, 0);
    for (int n : {0, 1, 500})
        EXPECT_EQ(f.At(n), (std::vector<int>{130, 255, 100})) << "T=0 n=" << n;

    // A negative period: the sine falls first, the rectangle stays high.
    f.Plan({"sinx1", "squx1"}, -10);
    EXPECT_EQ(f.At(1)[0], 112);
    for (int n = 0; n < 20; ++n) EXPECT_EQ(f.At(n)[1], 255);
    // The sawtooth rise goes below a0 and fails once a value rounds below 0.
    f.Plan({"trix1"}, -10);
    EXPECT_EQ(f.At(1)[0], 88);
    f.Param(7).a0 = 0;
    EXPECT_EQ(f.ErrorAt(1), ErrorKind::Overflow);
}

TEST(ComputeFrame, EachWaveformRaisesItsOwnErrorKind) {
    const struct {
        const char* slot;
        int entry;
        SignalParams params;
        std::int32_t period, n;
        ErrorKind kind;
    } cases[] = {
        {"sinx1", 1, {0, 0, 0, 60, 100, 0}, 10, 0, ErrorKind::FloatingPoint},
        {"sinx1", 1, {0, 0, 0, 60, 100, 0}, 10, 3, ErrorKind::FloatingPoint},
        {"squx1", 4, {50, 50, 0, 255, 0, 100}, 3000, 715828, ErrorKind::Overflow},
        {"trix1", 7, {50, 50, 50, 60, 100, 150}, 3000, 715828, ErrorKind::Overflow},
        {"squx1", 4, {0, 0, 0, 255, 0, 0}, 10, 1, ErrorKind::DivisionByZero},
        {"trix1", 7, {0, 5, 5, 60, 100, 10}, 10, 0, ErrorKind::FloatingPoint},
        {"trix1", 7, {2000000000, 1, 0, 255, 0, 2000000001}, 100000, 10000, ErrorKind::Overflow},
        {"squx1", 4, {50, 50, 0, 255, 10, 100}, 10, 0, ErrorKind::Overflow},  // 265 at the high
                                                                              // level
        {"sinx1", 1, {100, 0, 0, 255, 10, 100}, 5, 5, ErrorKind::Overflow},   // 265 at the top
    };
    for (const auto& c : cases) {
        Core f;
        f.Plan({c.slot}, c.period);
        f.Param(c.entry) = c.params;
        EXPECT_EQ(f.ErrorAt(c.n), c.kind) << c.slot << " n=" << c.n;
    }
}

TEST(ComputeFrame, OverflowAtTheFirstProductBeyondTheRange) {
    Core f;
    f.Plan({"sinx1", "5", "squx1"}, 3000);
    EXPECT_NO_THROW(f.At(715827));
    EXPECT_EQ(f.ErrorAt(715828), ErrorKind::Overflow);
    f.Plan({"sinx1", "5"}, 3000);
    EXPECT_NO_THROW(f.At(999999));
}

TEST(ComputeFrameAdapter, AnErrorKeepsEarlierNewBytesAndLaterOldOnes) {
    Frames f;
    f.Plan({"1", "2", "3", "4"}, 10);
    f.At(0);
    f.Plan({"11", "12", "squx1", "14"}, 10);
    f.w.signalParams(4).cycle = 0;
    EXPECT_EQ(f.ErrorAt(0), ErrorKind::DivisionByZero);
    EXPECT_EQ(f.w.frameBytes(1), 11);
    EXPECT_EQ(f.w.frameBytes(2), 12);
    EXPECT_EQ(f.w.frameBytes(3), 3);
    EXPECT_EQ(f.w.frameBytes(4), 4);
}

TEST(ComputeFrameAdapter, OnlySlotsUpToSlotCountAreTouched) {
    Frames f;
    f.Plan({"9", "9", "9"}, 10);
    f.At(0);
    f.w.Check1(3).Value = 1;
    f.Plan({"7"}, 10);
    EXPECT_EQ(f.At(0), std::vector<int>{7});
    EXPECT_EQ(f.w.frameBytes(2), 9);
    EXPECT_EQ(f.w.frameBytes(3), 9);
    EXPECT_EQ(f.random.draws, 0);  // the ticked box lies beyond the frame
    f.Plan({}, 10);
    EXPECT_NO_THROW(f.At(0));
    EXPECT_EQ(f.w.frameBytes(1), 7);
}

TEST(ComputeFrame, NegativeCycleActsLikeItsMagnitude) {
    Core f;
    f.Plan({"squx1"}, 10);
    f.Param(4) = {50, 50, 0, 255, 0, -100};
    for (int n = 0; n < 20; ++n) EXPECT_EQ(f.At(n)[0], n % 10 <= 5 ? 255 : 0) << "n=" << n;
}

TEST(ComposeFrame, AFailingSlotEndsTheFrameWithTheBytesBeforeIt) {
    Core f;
    f.Plan({"11", "12", "squx1", "14"}, 10);
    f.Param(4).cycle = 0;
    f.noise = {false, true, false, true};
    const ComposedFrame frame = f.Compose(0);
    ASSERT_TRUE(frame.error);
    EXPECT_EQ(frame.error->kind(), ErrorKind::DivisionByZero);
    EXPECT_EQ(frame.failedSlot, 3);
    EXPECT_EQ(frame.bytes.size(), 2u);
    EXPECT_EQ(frame.bytes[0], 11);
    EXPECT_EQ(f.random.draws, 1);  // slot 4's noise is never drawn
}

TEST(ComposeFrame, ASlotNamingNothingKeepsItsPreviousByteAndTakesNoise) {
    Core f;
    f.Plan({"sinx4", "noise", "7"}, 10);
    f.previous = {40, 50, 60};
    f.noise = {true};
    f.Param(kNoiseEntry).am = 10;
    f.random.values = {0.0f};  // the highest offset, +5
    EXPECT_EQ(f.At(0), (std::vector<int>{45, 50, 7}));
}

}  // namespace
}  // namespace kiv
