#include "gui/line_chart.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScreen>
#include <QTest>
#include <cmath>
#include <vector>

namespace kiv {
namespace {

ChartFrame Frame(std::uint64_t count, double ms, std::vector<std::uint8_t> bytes) {
    ChartFrame f;
    f.count = count;
    f.ms = ms;
    f.length = static_cast<std::uint8_t>(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) f.bytes[i] = bytes[i];
    return f;
}

// A run of frames every periodMs whose bytes move, so that traces cross
// columns both ways; with a plan change (fewer bytes) half-way.
std::vector<ChartFrame> MovingRun(int frames, double periodMs) {
    std::vector<ChartFrame> run;
    for (int i = 0; i < frames; ++i) {
        const bool secondPlan = i >= frames / 2;
        std::vector<std::uint8_t> bytes;
        const int n = secondPlan ? 3 : 10;
        for (int k = 0; k < n; ++k) bytes.push_back(static_cast<std::uint8_t>((i * (k + 3)) % 256));
        run.push_back(Frame(static_cast<std::uint64_t>(i + 1), i * periodMs, bytes));
    }
    return run;
}

struct DrawCase {
    const char* name;
    int spanSeconds;
    int frames;
    double periodMs;
    int framesPerRefresh;  // how many arrive between two looks
};

const DrawCase kDrawCases[] = {
    {"1 s span, 1 ms frames, 33 per look", 1, 3000, 1.0, 33},
    {"10 s span, 1 ms frames, uneven looks", 10, 12000, 1.0, 97},
    {"60 s span, 1 ms frames", 60, 20000, 1.0, 500},
    {"1 s span, 50 ms frames, one per look", 1, 80, 50.0, 1},
    {"10 s span, 700 ms frames cross columns", 10, 40, 700.0, 3},
    {"more than a span per look", 1, 3000, 1.0, 1500},
};

// The picture drawn bit by bit, as the page looks 30 times a second, is the
// picture drawn at once from the same frames: nothing drawn incrementally
// is lost, doubled or misplaced when the chart scrolls.
TEST(LineChartTest, IncrementalPictureEqualsPictureDrawnAtOnce) {
    for (const DrawCase& c : kDrawCases) {
        SCOPED_TRACE(c.name);
        LineChart stepwise;
        LineChart atOnce;
        for (LineChart* chart : {&stepwise, &atOnce}) {
            chart->resize(400, 150);
            chart->setSpanSeconds(c.spanSeconds);
            chart->rebuild();
        }
        const std::vector<ChartFrame> run = MovingRun(c.frames, c.periodMs);
        for (int i = 0; i < c.frames; ++i) {
            if (i == c.frames / 2) {
                stepwise.addMark(run[static_cast<std::size_t>(i)].ms - 0.5);
                atOnce.addMark(run[static_cast<std::size_t>(i)].ms - 0.5);
            }
            stepwise.append(run[static_cast<std::size_t>(i)]);
            atOnce.append(run[static_cast<std::size_t>(i)]);
            if ((i + 1) % c.framesPerRefresh == 0) stepwise.refresh();
        }
        stepwise.refresh();
        atOnce.rebuild();
        ASSERT_FALSE(atOnce.picture().isNull());
        EXPECT_EQ(stepwise.picture(), atOnce.picture());
        // Something was drawn: traces of both plans and the mark.
        int coloured = 0;
        for (int y = 0; y < atOnce.picture().height(); ++y)
            for (int x = 0; x < atOnce.picture().width(); ++x)
                coloured += qAlpha(atOnce.picture().pixel(x, y)) != 0;
        EXPECT_GT(coloured, atOnce.picture().height());
    }
}

// On screen the chart is scrolled and only new columns are painted; what
// the screen then shows is what a paint of the whole chart gives.
TEST(LineChartTest, ScrolledScreenEqualsAWholePaint) {
    for (const DrawCase& c : kDrawCases) {
        SCOPED_TRACE(c.name);
        LineChart chart;
        chart.resize(400, 150);
        chart.setSpanSeconds(c.spanSeconds);
        chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
        QCoreApplication::processEvents();
        const std::vector<ChartFrame> run = MovingRun(c.frames, c.periodMs);
        int looks = 0;
        for (int i = 0; i < c.frames; ++i) {
            if (i == c.frames / 2) chart.addMark(run[static_cast<std::size_t>(i)].ms - 0.5);
            chart.append(run[static_cast<std::size_t>(i)]);
            if ((i + 1) % c.framesPerRefresh == 0 || i + 1 == c.frames) {
                chart.refresh();
                QCoreApplication::processEvents();
                ++looks;
            }
        }
        const QImage screen = chart.screen()
                                  ->grabWindow(chart.winId())
                                  .toImage()
                                  .convertToFormat(QImage::Format_RGB32);
        const QImage whole = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(screen.size(), whole.size());
        EXPECT_EQ(screen, whole) << "after " << looks << " looks";
    }
}

// The store keeps the newest frames in order; the oldest go first.
TEST(LineChartTest, StoreKeepsTheNewestFramesInOrder) {
    struct Case {
        const char* name;
        std::size_t appended;
    };
    const Case cases[] = {
        {"empty", 0},
        {"one", 1},
        {"full", LineChart::kCapacity},
        {"one over", LineChart::kCapacity + 1},
        {"wrapped twice and some", 2 * LineChart::kCapacity + 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LineChart chart;
        for (std::size_t i = 0; i < c.appended; ++i)
            chart.append(Frame(i + 1, static_cast<double>(i), {static_cast<std::uint8_t>(i)}));
        const std::vector<ChartFrame> kept = chart.frames();
        const std::size_t expected = std::min(c.appended, LineChart::kCapacity);
        ASSERT_EQ(kept.size(), expected);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            const std::uint64_t count = c.appended - expected + i + 1;
            ASSERT_EQ(kept[i].count, count) << i;
            ASSERT_EQ(kept[i].bytes[0], static_cast<std::uint8_t>(count - 1)) << i;
        }
        chart.clear();
        EXPECT_TRUE(chart.frames().empty());
    }
}

// The pointer reads out the frame sent at the time under it, in a frozen
// chart too, while frames keep being stored.
TEST(LineChartTest, PointerFindsTheFrameUnderIt) {
    LineChart chart;
    chart.resize(424, 150);  // a plot of 330 columns
    chart.setSpanSeconds(1);
    chart.rebuild();
    const int columns = chart.plotRect().width();
    ASSERT_GT(columns, 100);
    const double msPerColumn = 1000.0 / columns;
    // Frames every 10 ms for 2 s: the chart shows the second second.
    for (int i = 0; i < 200; ++i) chart.append(Frame(i + 1, i * 10.0, {1, 2, 255}));
    chart.refresh();
    chart.setFrozen(true);
    for (int i = 200; i < 400; ++i) chart.append(Frame(i + 1, i * 10.0, {1, 2, 255}));
    chart.refresh();

    const double rightMs = 1990.0;
    struct Case {
        const char* name;
        double ms;  // time under the pointer
        std::uint64_t count;
    };
    const Case cases[] = {
        {"the newest frame", rightMs, 200},
        {"a frame in the middle", 1500.0, 151},
        {"the oldest frame shown", rightMs - 1000.0 + 2 * msPerColumn, 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int right = chart.plotRect().right();
        const int x = right - static_cast<int>(std::floor(rightMs / msPerColumn) -
                                               std::floor(c.ms / msPerColumn));
        const auto frame = chart.frameAt(x);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->count, c.count);
    }
    EXPECT_FALSE(chart.frameAt(chart.plotRect().left() - 1).has_value());
    EXPECT_FALSE(chart.frameAt(chart.plotRect().right() + 1).has_value());
    // Stored underneath while frozen.
    EXPECT_EQ(chart.frames().back().count, 400u);
}

// The rows of `image` within `rows` where colour `c` shows, top first.
std::vector<int> RowsWith(const QImage& image, QRgb c, int left = 0) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = left; x < image.width(); ++x) {
            if ((image.pixel(x, y) | 0xff000000u) == (c | 0xff000000u) &&
                qAlpha(image.pixel(x, y)) != 0) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

// Every slot's trace stands in a band of rows of its own, the first slot's
// at the top, and a trace at the top or bottom level is not hidden under
// the plot's edge: on screen each trace shows, apart from every other.
TEST(LineChartTest, EachSlotKeepsToALaneOfItsOwn) {
    const struct {
        const char* name;
        int slotCount;
        int height;
        std::uint8_t level;
    } cases[] = {
        {"one slot at 255", 1, 150, 255},
        {"one slot at 0", 1, 150, 0},
        {"three slots at 255", 3, 150, 255},
        {"ten slots at 0", 10, 150, 0},
        {"ten slots at 255, a low chart", 10, 90, 255},
        {"ten slots at 128, a tall chart", 10, 600, 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LineChart chart;
        QStringList labels;
        for (int k = 1; k <= c.slotCount; ++k) labels << QStringLiteral("%1: x").arg(k);
        chart.setLabels(labels);
        chart.resize(400, c.height);
        chart.setSpanSeconds(1);
        chart.rebuild();
        for (int i = 0; i < 300; ++i)
            chart.append(Frame(i + 1, i * 2.0, std::vector<std::uint8_t>(c.slotCount, c.level)));
        chart.refresh();
        const QImage shown = chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect plot = chart.plotRect();
        const QImage inPlot = shown.copy(plot);
        int lowestSoFar = -1;
        for (int k = 0; k < c.slotCount; ++k) {
            SCOPED_TRACE(k + 1);
            const std::vector<int> rows = RowsWith(inPlot, LineChart::TraceColour(k), 1);
            ASSERT_FALSE(rows.empty()) << "the trace is not shown";
            EXPECT_GT(rows.front(), lowestSoFar) << "the trace shares rows with the one above";
            EXPECT_GT(rows.front(), 0) << "the trace lies on the plot's top edge";
            EXPECT_LT(rows.back(), inPlot.height() - 1) << "the trace lies on the bottom edge";
            lowestSoFar = rows.back();
        }
    }
}

// A square wave of 1 ms frames: where many of its periods fall into one
// column, the trace is a line with its range as a pale band around it,
// not a lane filled solid; where a column holds part of one level only,
// the wave is drawn at its two levels.
TEST(LineChartTest, ASquareWaveStaysReadableAtEverySpan) {
    const struct {
        const char* name;
        int spanSeconds;
        int halfPeriodFrames;  // frames at each level
        bool manyPerColumn;
    } cases[] = {
        {"10 s span, 100 Hz wave", 10, 5, true},     {"60 s span, 100 Hz wave", 60, 5, true},
        {"60 s span, 10 Hz wave", 60, 50, true},     {"1 s span, 2 Hz wave", 1, 250, false},
        {"10 s span, 0.5 Hz wave", 10, 1000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LineChart chart;
        chart.setLabels({QStringLiteral("1: squx1")});
        chart.resize(400, 150);
        chart.setSpanSeconds(c.spanSeconds);
        chart.rebuild();
        const int frames = c.spanSeconds * 1000 + 500;
        for (int i = 0; i < frames; ++i) {
            const bool high = (i / c.halfPeriodFrames) % 2 == 0;
            chart.append(Frame(i + 1, i, {static_cast<std::uint8_t>(high ? 255 : 0)}));
            if (i % 97 == 0) chart.refresh();
        }
        chart.refresh();
        const QImage& picture = chart.picture();
        const QRgb line = LineChart::TraceColour(0);
        const QRgb band = LineChart::BandColour(0);
        // The columns with frames in them all along: the right half.
        int fullest = 0;
        int bandColumns = 0;
        int topRow = picture.height();
        int bottomRow = -1;
        for (int x = picture.width() / 2; x < picture.width(); ++x) {
            int lineRows = 0;
            bool banded = false;
            for (int y = 0; y < picture.height(); ++y) {
                const QRgb p = picture.pixel(x, y);
                if (p == line) {
                    ++lineRows;
                    topRow = std::min(topRow, y);
                    bottomRow = std::max(bottomRow, y);
                }
                banded = banded || p == band;
            }
            fullest = std::max(fullest, lineRows);
            bandColumns += banded;
        }
        const int lane = picture.height();
        if (c.manyPerColumn) {
            EXPECT_LE(fullest, lane / 10) << "the lane is filled";
            EXPECT_GT(bandColumns, picture.width() / 4) << "the wave's range is not shown";
        } else {
            // Both levels drawn as the line, the top and the bottom of the lane.
            EXPECT_LT(topRow, lane / 10);
            EXPECT_GT(bottomRow, lane - lane / 10);
        }
    }
}

ChartFrame Recorded(ChartFrame frame, std::uint64_t number, double ms) {
    frame.recorded = number;
    frame.recordedMs = ms;
    return frame;
}

TEST(LineChartTest, DescribesAFrameInDecimalAndHex) {
    const struct {
        ChartFrame frame;
        const char* text;
    } cases[] = {
        {Frame(1, 0, {0}), "第 1 帧  0.000 s  0  |  00"},
        {Frame(12345, 61234.5, {5, 6, 160, 255}),
         "第 12345 帧  61.234 s  5 6 160 255  |  05 06 A0 FF"},
        {Frame(7, 1.0, {}), "第 7 帧  0.001 s    |  "},
        // A frame of the recording under way names its row there as well.
        {Recorded(Frame(28294, 35011.2, {3}), 22978, 29635.548),
         "第 28294 帧  35.011 s  （记录第 22978 帧 29635.548 ms）  3  |  03"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LineChart::Describe(c.frame), QString::fromUtf8(c.text));
    }
}

}  // namespace
}  // namespace kiv
