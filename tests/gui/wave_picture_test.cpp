#include "gui/wave_picture.h"

#include <gtest/gtest.h>

namespace kiv {
namespace {

struct SegmentCase {
    const char* what;
    WaveKind kind;
    SignalParams params;
    std::vector<WaveSegment> expected;
};

// The picture's period, worked out by hand from the times and levels.
TEST(WavePictureTest, PeriodSegmentsFollowTheStoredParameters) {
    const SegmentCase cases[] = {
        {"sine starts at the top",
         WaveKind::Sine,
         {100, 0, 0, 60, 100, 100},
         {{"t1", 100, 160, 160}}},
        {"rectangle high then low",
         WaveKind::Rectangular,
         {50, 30, 0, 255, 0, 80},
         {{"t1", 50, 255, 255}, {"t2", 30, 0, 0}}},
        {"sawtooth rise, fall, rest",
         WaveKind::Sawtooth,
         {300, 300, 400, 100, 100, 1000},
         {{"t1", 300, 100, 200}, {"t2", 300, 200, 100}, {"t3", 400, 100, 100}}},
        {"sawtooth without rest",
         WaveKind::Sawtooth,
         {10, 20, 0, 5, 0, 30},
         {{"t1", 10, 0, 5}, {"t2", 20, 5, 0}, {"t3", 0, 0, 0}}},
        {"sine of period 0", WaveKind::Sine, {0, 0, 0, 60, 100, 0}, {}},
        {"rectangle with negative high time", WaveKind::Rectangular, {-5, 50, 0, 255, 0, 45}, {}},
        {"sawtooth with negative rest", WaveKind::Sawtooth, {-10, 5, 5, 10, 0, 0}, {}},
        {"noise has no period", WaveKind::Noise, {0, 0, 0, 10, 0, 0}, {}},
    };
    for (const SegmentCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<WaveSegment> got = PeriodSegments(c.kind, c.params);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_STREQ(got[i].label, c.expected[i].label);
            EXPECT_EQ(got[i].duration, c.expected[i].duration);
            EXPECT_EQ(got[i].from, c.expected[i].from);
            EXPECT_EQ(got[i].to, c.expected[i].to);
        }
    }
}

}  // namespace
}  // namespace kiv
