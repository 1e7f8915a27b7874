#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "app/startup.h"
#include "fakes.h"
#include "signal/compute_frame.h"
#include "signal/noise_targets.h"
#include "signal/time_seeded_random.h"
#include "signal/waveforms.h"

namespace kiv {
namespace {

TEST(Noise, TheOffsetSpansHalfTheAmplitudeEachWayRoundingToEven) {
    const struct {
        std::int32_t A;
        float r;
        std::int32_t d;
    } cases[] = {
        {10, 0.0f, 5},  {10, 0.5f, 0},    {10, 0.05f, 4},  // 4.5 rounds to even 4
        {10, 0.15f, 3}, {10, 0.96f, -5},  {10, 0.9999999f, -5},
        {0, 0.3f, 0},   {255, 0.0f, 128}, {255, 0.9999999f, -127},  // 127.5 -> 128, -127.49 -> -127
        {1, 0.0f, 0},   {3, 0.0f, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoiseOffset(c.A, c.r), c.d) << "A=" << c.A << " r=" << c.r;
}

TEST(Noise, ClampsToTheByteRange) {
    EXPECT_EQ(AddNoise(250, 5), 255);
    EXPECT_EQ(AddNoise(250, 10), 255);
    EXPECT_EQ(AddNoise(3, -5), 0);
    EXPECT_EQ(AddNoise(3, 4), 7);
    EXPECT_EQ(AddNoise(0, 0), 0);
    EXPECT_EQ(AddNoise(255, -1), 254);
}

struct NoisyFrames : testing::Rig {
    NoisyFrames() {
        StartUp(w);
        w.sendPeriod = 10;
    }
};

TEST(Noise, ComputeFrameAddsNoiseOnTickedSlotsWithinTheBand) {
    NoisyFrames f;
    TimeSeededRandom real;
    f.w.random = &real;
    f.w.slotText(1) = "250";
    f.w.slotText(2) = "3";
    f.w.slotText(3) = "sinx1";
    f.w.slotText(4) = "100";
    f.w.slotCount = 4;
    for (int i = 1; i <= 3; ++i) f.w.Check1(i).Value = 1;
    for (int n = 0; n < 2000; ++n) {
        f.w.sendCount = n % 1000;
        ComputeFrame(f.w);
        EXPECT_GE(f.w.frameBytes(1), 245);
        EXPECT_LE(f.w.frameBytes(2), 8);
        EXPECT_EQ(f.w.frameBytes(4), 100);  // not ticked
    }
    // Amplitude 0 leaves every byte unchanged.
    f.w.signalParams(kNoiseEntry).am = 0;
    f.w.sendCount = 0;
    ComputeFrame(f.w);
    EXPECT_EQ(f.w.frameBytes(1), 250);
    EXPECT_EQ(f.w.frameBytes(2), 3);
    EXPECT_EQ(f.w.frameBytes(3), 130);
}

TEST(Noise, OneDrawPerNoisySlotInSlotOrder) {
    NoisyFrames f;
    for (int i = 1; i <= 3; ++i) f.w.slotText(i) = "100";
    f.w.slotCount = 3;
    f.w.Check1(1).Value = f.w.Check1(3).Value = 1;
    f.random.values = {0.0f, 0.99f};
    ComputeFrame(f.w);
    EXPECT_EQ(f.random.draws, 2);
    EXPECT_EQ(f.w.frameBytes(1), 105);
    EXPECT_EQ(f.w.frameBytes(2), 100);
    EXPECT_EQ(f.w.frameBytes(3), 95);
}

// With A = 10 the offsets -5..5 appear with the ends half as often as each
// inner value, and neighbouring draws are unrelated. Bounds are eight
// standard deviations wide: a correct source never fails them.
TEST(Noise, TimeSeededDrawsAreUniformAndUncorrelated) {
    TimeSeededRandom source;
    constexpr int kDraws = 110000;
    std::array<int, 11> counts{};
    std::vector<int> offsets;
    offsets.reserve(kDraws);
    for (int i = 0; i < kDraws; ++i) {
        const float r = source.Draw();
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        const int d = NoiseOffset(10, r);
        ASSERT_GE(d, -5);
        ASSERT_LE(d, 5);
        ++counts[static_cast<std::size_t>(d + 5)];
        offsets.push_back(d);
    }
    for (int d = -5; d <= 5; ++d) {
        const double p = (d == -5 || d == 5) ? 0.05 : 0.1;
        const double mean = kDraws * p, sd = std::sqrt(kDraws * p * (1 - p));
        EXPECT_NEAR(counts[static_cast<std::size_t>(d + 5)], mean, 8 * sd) << "offset " << d;
    }
    double m = 0;
    for (int d : offsets) m += d;
    m /= kDraws;
    double cov = 0, var = 0;
    for (int i = 0; i + 1 < kDraws; ++i) cov += (offsets[i] - m) * (offsets[i + 1] - m);
    for (int d : offsets) var += (d - m) * (d - m);
    EXPECT_NEAR(cov / var, 0.0, 8.0 / std::sqrt(kDraws));
}

TEST(Noise, NoisySlotsOfOneFrameGetDifferentOffsets) {
    NoisyFrames f;
    TimeSeededRandom real;
    f.w.random = &real;
    for (int i = 1; i <= kSlotCount; ++i) {
        f.w.slotText(i) = "128";
        f.w.Check1(i).Value = 1;
    }
    f.w.slotCount = 10;
    int allEqual = 0;
    for (int frame = 0; frame < 200; ++frame) {
        ComputeFrame(f.w);
        bool same = true;
        for (int i = 2; i <= kSlotCount; ++i) same = same && f.w.frameBytes(i) == f.w.frameBytes(1);
        allEqual += same;
    }
    // Ten independent offsets agree with probability below 1e-8.
    EXPECT_EQ(allEqual, 0);
}

TEST(NoiseTargets, RowsMirrorEachOther) {
    Model w;
    w.Check2(3).Value = 1;
    Check2_Click(w, 3);
    w.Check1(7).Value = 1;
    Check1_Click(w, 7);
    for (int j = 1; j <= kSlotCount; ++j) {
        const int expected = (j == 3 || j == 7) ? 1 : 0;
        EXPECT_EQ(w.Check1(j).Value, expected) << j;
        EXPECT_EQ(w.Check2(j).Value, expected) << j;
    }
    w.Check1(3).Value = 0;
    Check1_Click(w, 3);
    EXPECT_EQ(w.Check2(3).Value, 0);
    EXPECT_EQ(w.Check2(7).Value, 1);
}

}  // namespace
}  // namespace kiv
