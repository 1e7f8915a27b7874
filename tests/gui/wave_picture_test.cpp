#include "gui/wave_picture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kiv {
namespace {

struct SegmentCase {
    const char* what;
    Waveform waveform;
    SignalParams params;
    std::vector<WaveSegment> expected;
};

// The picture's period, worked out by hand from the times and levels.
TEST(WavePictureTest, PeriodSegmentsFollowTheStoredParameters) {
    const SegmentCase cases[] = {
        {"sine starts at the top",
         Waveform::Sine,
         {100, 0, 0, 60, 100, 100},
         {{"t1", 100, 160, 160}}},
        {"rectangle high then low",
         Waveform::Rectangular,
         {50, 30, 0, 255, 0, 80},
         {{"t1", 50, 255, 255}, {"t2", 30, 0, 0}}},
        {"sawtooth rise, fall, rest",
         Waveform::Sawtooth,
         {300, 300, 400, 100, 100, 1000},
         {{"t1", 300, 100, 200}, {"t2", 300, 200, 100}, {"t3", 400, 100, 100}}},
        {"sawtooth without rest",
         Waveform::Sawtooth,
         {10, 20, 0, 5, 0, 30},
         {{"t1", 10, 0, 5}, {"t2", 20, 5, 0}, {"t3", 0, 0, 0}}},
        {"sine of period 0", Waveform::Sine, {0, 0, 0, 60, 100, 0}, {}},
        {"rectangle with negative high time", Waveform::Rectangular, {-5, 50, 0, 255, 0, 45}, {}},
        {"sawtooth with negative rest", Waveform::Sawtooth, {-10, 5, 5, 10, 0, 0}, {}},
        {"noise has no period", Waveform::Noise, {0, 0, 0, 10, 0, 0}, {}},
    };
    for (const SegmentCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<WaveSegment> got = PeriodSegments(c.waveform, c.params);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_STREQ(got[i].label, c.expected[i].label);
            EXPECT_EQ(got[i].duration, c.expected[i].duration);
            EXPECT_EQ(got[i].from, c.expected[i].from);
            EXPECT_EQ(got[i].to, c.expected[i].to);
        }
    }
}

// A wave's row names its page, and what its rows hold decides what its picture draws: a segment of
// the period for each time the user sets there, named after that time's box, and levels only where
// there is an offset. Worked out by hand from the boxes each page locks.
TEST(WavePictureTest, EachWavesRowDecidesItsSegmentsAndLevels) {
    struct WaveCase {
        Waveform waveform;
        int page;
        std::vector<std::string> times;
        bool hasOffset;
        int firstEntry;
        int lastEntry;
    };
    const WaveCase cases[] = {
        {Waveform::Sine, tab::kSine, {"t1"}, true, 1, 3},
        {Waveform::Rectangular, tab::kRectangular, {"t1", "t2"}, true, 4, 6},
        {Waveform::Sawtooth, tab::kSawtooth, {"t1", "t2", "t3"}, true, 7, 9},
        {Waveform::Noise, tab::kNoise, {}, false, 10, 10},
        {Waveform::None, tab::kSend, {}, false, 0, 0},
    };
    // Times every wave can draw a period from.
    const SignalParams drawable{10, 10, 10, 50, 20, 60};
    for (const WaveCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.waveform));
        const WaveRow wave = WaveOf(c.waveform);
        EXPECT_EQ(wave.page, c.page);
        EXPECT_EQ(wave.TimeCount(), static_cast<int>(c.times.size()));
        EXPECT_EQ(wave.HasOffset(), c.hasOffset);
        EXPECT_EQ(FirstEntryOf(c.waveform), c.firstEntry);
        EXPECT_EQ(LastEntryOf(c.waveform), c.lastEntry);
        std::vector<std::string> labels;
        for (const WaveSegment& seg : PeriodSegments(c.waveform, drawable))
            labels.emplace_back(seg.label);
        EXPECT_EQ(labels, c.times);
        // Every row of the wave's page reads the same boxes as the wave.
        for (int entry = c.firstEntry; entry >= 1 && entry <= c.lastEntry; ++entry)
            for (int box = 0; box < kParamBoxCount; ++box)
                EXPECT_EQ(SignalVariableOf(entry).Editable(box), wave.Editable(box))
                    << entry << " " << box;
    }
}

}  // namespace
}  // namespace kiv
