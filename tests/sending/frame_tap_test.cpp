#include "sending/frame_tap.h"

#include <gtest/gtest.h>

#include "app/startup.h"
#include "fakes.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "sending/sent_frames.h"
#include "serial/port_open_close.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const SentFrame& f) {
    return Bytes(f.Bytes().begin(), f.Bytes().end());
}

// A ring of 4: numbers keep counting while the oldest frames drop out, and
// a frame is found by number or by time only while it is held.
TEST(SentFrames, HoldsTheNewestAndFindsThemByNumberAndTime) {
    const struct {
        int pushes;
        std::uint64_t oldest;
        std::size_t size;
        std::uint64_t find;  // a number to look up
        bool found;
        double at;               // frame i is sent at 10 x i ms
        std::uint64_t atNumber;  // 0: none
        std::size_t after;       // frames sent after `at`
    } cases[] = {
        {0, 1, 0, 1, false, 100.0, 0, 0},
        {1, 1, 1, 1, true, 10.0, 1, 0},
        {1, 1, 1, 2, false, 9.9, 0, 1},
        {3, 1, 3, 2, true, 25.0, 2, 1},
        {4, 1, 4, 4, true, 1000.0, 4, 0},
        {5, 2, 4, 1, false, 10.0, 0, 4},  // frame 1 dropped: nothing held that early
        {5, 2, 4, 2, true, 20.0, 2, 3},
        {9, 6, 4, 5, false, 59.0, 0, 4},
        {9, 6, 4, 9, true, 75.0, 7, 2},
        {9, 6, 4, 10, false, 0.0, 0, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.pushes << " pushes, find " << c.find);
        SentFrames ring(4);
        for (int i = 1; i <= c.pushes; ++i) {
            const std::uint8_t b[3] = {static_cast<std::uint8_t>(i), 7,
                                       static_cast<std::uint8_t>(i * 2)};
            ring.Push(10.0 * i, b);
        }
        EXPECT_EQ(ring.total(), static_cast<std::uint64_t>(c.pushes));
        EXPECT_EQ(ring.oldest(), c.oldest);
        EXPECT_EQ(ring.size(), c.size);
        const SentFrame* f = ring.Find(c.find);
        ASSERT_EQ(f != nullptr, c.found);
        if (f != nullptr) {
            EXPECT_EQ(f->number, c.find);
            EXPECT_EQ(Of(*f), (Bytes{static_cast<std::uint8_t>(c.find), 7,
                                     static_cast<std::uint8_t>(c.find * 2)}));
        }
        const SentFrame* at = ring.At(c.at);
        EXPECT_EQ(at ? at->number : 0, c.atNumber);
        EXPECT_EQ(ring.CountAfter(c.at), c.after);
    }
}

TEST(SentFrames, KeepsAtMostTheLongestFrameAndStartsOverWhenCleared) {
    SentFrames ring(2);
    Bytes longer(kMaxFrameBytes + 2);
    for (std::size_t i = 0; i < longer.size(); ++i) longer[i] = static_cast<std::uint8_t>(i + 1);
    EXPECT_EQ(Of(ring.Push(0.0, longer)), Bytes(longer.begin(), longer.begin() + kMaxFrameBytes));
    EXPECT_EQ(Of(ring.Push(1.0, {})), Bytes{});
    ring.Clear();
    EXPECT_TRUE(ring.empty());
    EXPECT_EQ(ring.Find(1), nullptr);
    EXPECT_EQ(ring.Push(2.0, longer).number, 1u);
}

// The monitor's last frame: the parts set apart in frame order, a part the
// format leaves out not shown, a frame cut by the port shown as far as it
// went.
TEST(SentFrames, AFrameShowsItsPartsApart) {
    FrameParts all;
    all.slotBytes = 3;
    FrameParts every;
    every.header = 2;
    every.counter = 1;
    every.length = 1;
    every.slotBytes = 2;
    every.checksum = 2;
    every.trailer = 1;
    FrameParts checked;
    checked.slotBytes = 2;
    checked.checksum = 1;
    const Bytes three = {5, 6, 200};
    const Bytes nine = {0xAA, 0x55, 7, 2, 10, 255, 0x12, 0x34, 0x0D};
    const struct {
        Bytes bytes;
        FrameParts parts;
        const char* decimal;
        const char* hex;
    } cases[] = {
        {three, all, "5 6 200", "05 06 C8"},
        {nine, every, "170 85 | 7 | 2 | 10 255 | 18 52 | 13",
         "AA 55 | 07 | 02 | 0A FF | 12 34 | 0D"},
        {Bytes(nine.begin(), nine.begin() + 5), every, "170 85 | 7 | 2 | 10",
         "AA 55 | 07 | 02 | 0A"},
        {{1, 2, 3}, checked, "1 2 | 3", "01 02 | 03"},
        {{}, every, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hex);
        EXPECT_EQ(PartsText(c.bytes, c.parts, false), c.decimal);
        EXPECT_EQ(PartsText(c.bytes, c.parts, true), c.hex);
    }
    // The ring keeps the parts: the slots are found in the whole frame.
    SentFrames ring(2);
    const SentFrame& held = ring.Push(0.0, nine, every);
    EXPECT_EQ(Of(held), nine);
    EXPECT_EQ(Bytes(held.Slots().begin(), held.Slots().end()), (Bytes{10, 255}));
    const SentFrame& cut = ring.Push(1.0, Bytes(nine.begin(), nine.begin() + 5), every);
    EXPECT_EQ(Bytes(cut.Slots().begin(), cut.Slots().end()), (Bytes{10}));
}

TEST(PlanMarks, DropTheOldestButCountAll) {
    PlanMarks marks(2);
    for (std::uint64_t i = 1; i <= 3; ++i) marks.Push({i, 0.0, 1, 1, {}, {}});
    ASSERT_EQ(marks.marks().size(), 2u);
    EXPECT_EQ(marks.marks().front().firstFrame, 2u);
    EXPECT_EQ(marks.total(), 3u);
    // Plans whose frames never left go; the count a reader saw stays.
    marks.DropAfter(2);
    ASSERT_EQ(marks.marks().size(), 1u);
    EXPECT_EQ(marks.marks().back().firstFrame, 2u);
    EXPECT_EQ(marks.total(), 3u);
}

// Frames that never left go from the newest end; the frames before them
// keep their numbers and bytes, and the next frame takes the first number
// freed.
TEST(SentFrames, DropNewestFreesTheirNumbers) {
    const struct {
        std::size_t capacity, pushed, drop;
        std::size_t dropped;
        std::uint64_t total, oldest;
    } cases[] = {
        {16, 5, 0, 0, 5, 1}, {16, 5, 2, 2, 3, 1}, {16, 5, 9, 5, 0, 1},
        {4, 10, 2, 2, 8, 7},  // the ring had wrapped: only what it holds is left
        {4, 10, 4, 4, 6, 7}, {4, 10, 6, 4, 6, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.capacity << "/" << c.pushed << "-" << c.drop);
        SentFrames ring(c.capacity);
        for (std::size_t i = 1; i <= c.pushed; ++i)
            ring.Push(static_cast<double>(i), Bytes{static_cast<std::uint8_t>(i)});
        EXPECT_EQ(ring.DropNewest(c.drop), c.dropped);
        EXPECT_EQ(ring.total(), c.total);
        EXPECT_EQ(ring.oldest(), c.oldest);
        for (std::uint64_t n = ring.oldest(); n <= ring.total(); ++n) {
            ASSERT_NE(ring.Find(n), nullptr) << n;
            EXPECT_EQ(ring.Find(n)->bytes[0], n) << n;
        }
        const SentFrame& next = ring.Push(100.0, Bytes{200});
        EXPECT_EQ(next.number, c.total + 1);
        EXPECT_EQ(ring.Newest()->bytes[0], 200);
        EXPECT_EQ(ring.Find(c.total + 2), nullptr);
    }
}

// A started window, port open, a tap attached, on the fake port.
struct Tapped : testing::Rig {
    Tapped() {
        StartUp(w);
        Optionopen_Click(w);
        Command7_Click(w);
        w.frameTap = &tap;
        tap.setClock([this] { return static_cast<double>(clock.now); });
    }
    FrameTap tap;
};

// The tap holds exactly the bytes the port took, frame for frame, also
// across applies that change the plan's length, texts and period, and marks
// each change at the first frame sent under it.
TEST(FrameTap, HoldsTheBytesThePortTookAcrossPlanChanges) {
    Tapped s;
    struct Apply {
        std::size_t afterFrames;
        std::vector<std::string> slots;
        const char* period;
    };
    const Apply applies[] = {
        {3, {"9", "sinx1"}, "10"},
        {5, {"9", "sinx1"}, "4"},  // the period alone
        {5, {"9", "sinx1"}, "4"},  // the same again: no mark
        {8, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "trix1"}, "4"},
    };
    std::size_t next = 0;
    s.yielder.everyYield = [&] {
        if (next < std::size(applies) && s.port.frames.size() >= applies[next].afterFrames) {
            for (int i = 1; i <= kSlotCount; ++i)
                s.w.sendText1(i).Text = i <= static_cast<int>(applies[next].slots.size())
                                            ? applies[next].slots[static_cast<std::size_t>(i - 1)]
                                            : "";
            s.w.autosendtext1.Text = applies[next].period;
            Command7_Click(s.w);
            ++next;
        }
        if (s.port.frames.size() >= 12) pausesend_Click(s.w);
    };
    starsend_Click(s.w);
    ASSERT_EQ(next, std::size(applies));
    ASSERT_GE(s.port.frames.size(), 12u);
    EXPECT_FALSE(s.tap.sending());

    const SentFrames& ring = s.tap.frames();
    ASSERT_EQ(ring.total(), s.port.frames.size());
    for (std::uint64_t n = 1; n <= ring.total(); ++n)
        EXPECT_EQ(Of(*ring.Find(n)), s.port.frames[n - 1]) << "frame " << n;

    // Marks: the start-up plan, then the three changes.
    const auto& marks = s.tap.planMarks().marks();
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0].firstFrame, 1u);
    EXPECT_EQ(marks[0].labels[2], "3: sinx1");
    EXPECT_EQ(marks[1].slotCount, 2);
    EXPECT_EQ(marks[1].labels[0], "1: 9");
    EXPECT_EQ(marks[1].labels[1], "2: sinx1");
    EXPECT_EQ(marks[1].labels[2], "");
    EXPECT_EQ(marks[2].period, 4);
    EXPECT_EQ(marks[3].slotCount, 10);
    EXPECT_EQ(marks[3].labels[9], "10: trix1");
    for (std::size_t m = 1; m < marks.size(); ++m) {
        // The first frame under each mark has that plan's length; the one
        // before it still the earlier plan's.
        const SentFrame* first = ring.Find(marks[m].firstFrame);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->length, marks[m].slotCount);
        EXPECT_EQ(ring.Find(marks[m].firstFrame - 1)->length, marks[m - 1].slotCount);
        EXPECT_EQ(first->ms, marks[m].ms);
    }
}

// A frame the port dropped whole (it was opened again while the frame
// waited for room) never left: the tap holds only the frames it took.
TEST(FrameTap, HoldsNothingOfAFrameThePortDropped) {
    for (const int drop : {1, 3, 5}) {
        SCOPED_TRACE(drop);
        Tapped s;
        s.port.dropOutput = s.port.outputs + drop;
        s.yielder.everyYield = [&] {
            if (s.port.frames.size() >= 5) pausesend_Click(s.w);
        };
        starsend_Click(s.w);
        // One frame was handed over and dropped.
        ASSERT_EQ(static_cast<std::size_t>(s.port.outputs), s.port.frames.size() + 1);
        const SentFrames& ring = s.tap.frames();
        ASSERT_EQ(ring.total(), s.port.frames.size());
        for (std::uint64_t n = 1; n <= ring.total(); ++n)
            EXPECT_EQ(Of(*ring.Find(n)), s.port.frames[n - 1]) << "frame " << n;
    }
}

TEST(FrameTap, EachStartBeginsAfresh) {
    Tapped s;
    for (int run = 1; run <= 2; ++run) {
        const std::size_t before = s.port.frames.size();
        s.yielder.everyYield = [&] {
            if (s.port.frames.size() >= before + 3) pausesend_Click(s.w);
        };
        starsend_Click(s.w);
        EXPECT_EQ(s.tap.session(), static_cast<std::uint64_t>(run));
        EXPECT_EQ(s.tap.frames().total(), s.port.frames.size() - before);
        // The first frame leaves one period after the start.
        EXPECT_EQ(s.tap.frames().Find(1)->ms, 10.0);
        EXPECT_EQ(s.tap.planMarks().marks().size(), 1u);
    }
}

// Frames over the last second, or over the time since the start while
// that is shorter.
TEST(FrameTap, FramesPerSecond) {
    const struct {
        int frames;
        double every;  // ms between frames, the first at 0
        double now;    // ms since the start when asked
        double rate;
    } cases[] = {
        {0, 1.0, 500.0, 0.0},        // nothing sent
        {1, 1.0, 0.0, 0.0},          // no time has passed
        {1000, 1.0, 1000.0, 999.0},  // frame 0 ms lies a whole second back
        {11, 100.0, 1000.0, 10.0},  {11, 100.0, 2000.0, 0.0},  // stopped a second ago
        {6, 100.0, 500.0, 10.0},    // the half second since the first frame
        {300, 10.0, 3000.0, 99.0},  // frames at 2010..2990 ms
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.frames << " frames every " << c.every);
        testing::StartedRig r;
        FrameTap tap;
        double now = 0.0;
        tap.setClock([&] { return now; });
        tap.BeginSending(r.w);
        const std::uint8_t b[1] = {1};
        for (int i = 0; i < c.frames; ++i) {
            now = i * c.every;
            tap.Record(r.w, b);
        }
        now = c.now;
        EXPECT_DOUBLE_EQ(tap.FramesPerSecond(), c.rate);
    }
}

// A watcher asks to run after the next frame: once, and only once a frame
// has been recorded, however often it asked in between.
TEST(FrameTap, RunsWhatIsAskedAfterTheNextFrameOnce) {
    testing::StartedRig r;
    FrameTap tap;
    int calls = 0;
    std::uint64_t seen = 0;
    tap.afterFrame = [&] {
        ++calls;
        seen = tap.frames().total();
    };
    tap.BeginSending(r.w);
    const std::uint8_t b[1] = {1};
    tap.Record(r.w, b);
    EXPECT_EQ(calls, 0) << "nobody asked";
    tap.AskAfterNextFrame();
    tap.AskAfterNextFrame();
    EXPECT_EQ(calls, 0) << "no frame yet";
    tap.Record(r.w, b);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, 2u) << "runs with the frame already held";
    tap.Record(r.w, b);
    EXPECT_EQ(calls, 1);
}

TEST(FrameTap, PlannedRateAndLabels) {
    testing::StartedRig r;
    Command7_Click(r.w);
    EXPECT_EQ(SlotLabels(r.w), (std::vector<std::string>{"1: 5", "2: 6", "3: sinx1", "4: sinx2"}));
    EXPECT_EQ(FrameTap::PlannedFramesPerSecond(r.w), 100.0);
    r.w.autosendtext1.Text = "0";
    Command7_Click(r.w);
    EXPECT_EQ(FrameTap::PlannedFramesPerSecond(r.w), std::nullopt);
}

}  // namespace
}  // namespace kiv
