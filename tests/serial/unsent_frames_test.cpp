#include "serial/unsent_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Frames handed to the line, how much of them the line took before the
// close, and what is kept for the next open: only the rest of a frame whose
// front left, never a frame none of whose bytes left.
TEST(UnsentFrames, ACloseKeepsOnlyTheRestOfTheFrameUnderWay) {
    struct Piece {
        Bytes bytes;
        bool started;
    };
    const struct {
        const char* name;
        std::vector<Piece> pieces;
        std::vector<std::size_t> taken;  // waiting bytes, each time the line was asked
        std::size_t waitingAtClose;
        Bytes kept;
    } cases[] = {
        {"nothing queued", {}, {}, 0, {}},
        {"nothing left", {{{1, 2, 3}, false}, {{4, 5}, false}}, {}, 0, {}},
        {"none of the first frame left", {{{1, 2, 3}, false}, {{4, 5}, false}}, {}, 5, {}},
        {"the first frame in part", {{{1, 2, 3}, false}, {{4, 5}, false}}, {}, 4, {2, 3}},
        {"the first frame whole, the second in part",
         {{{1, 2, 3}, false}, {{4, 5}, false}},
         {},
         1,
         {5}},
        {"the first frame whole, none of the second",
         {{{1, 2, 3}, false}, {{4, 5}, false}},
         {},
         2,
         {}},
        // A frame's rest that joined the queue with its front on the line
        // already (a write the device took in part).
        {"a started rest, none of it left", {{{7, 8}, true}, {{1, 2}, false}}, {}, 4, {7, 8}},
        {"a started rest, in part", {{{7, 8}, true}, {{1, 2}, false}}, {}, 3, {8}},
        {"a started rest, whole", {{{7, 8}, true}, {{1, 2}, false}}, {}, 2, {}},
        // Asked along the way: what left is forgotten, and a frame that left
        // in part stays started however little more leaves later.
        {"taken in steps", {{{1, 2, 3}, false}, {{4, 5, 6}, false}, {{7}, false}}, {7, 6}, 5, {3}},
        {"asked with more waiting than queued", {{{1, 2}, false}}, {9}, 9, {}},
    };
    // Frames of each case the close drops whole, none of whose bytes left:
    // the newest ones handed over, which the monitor takes back.
    const std::uint64_t dropped[] = {0, 0, 2, 1, 0, 1, 1, 1, 1, 2, 1};
    static_assert(std::size(dropped) == std::size(cases));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint64_t droppedHere = dropped[&c - cases];
        UnsentFrames unsent;
        std::size_t added = 0;
        for (const Piece& p : c.pieces) {
            unsent.Add(p.bytes, p.started);
            added += p.bytes.size();
        }
        for (std::size_t waiting : c.taken) {
            unsent.Taken(waiting);
            EXPECT_EQ(unsent.queued(), std::min(waiting, added));
        }
        unsent.Close("/dev/ttyS0", c.waitingAtClose);
        EXPECT_EQ(unsent.queued(), 0u);
        EXPECT_EQ(unsent.droppedFrames(), droppedHere);
        EXPECT_EQ(unsent.keptTail(), c.kept);
        EXPECT_EQ(unsent.TakeTail("/dev/ttyS0"), c.kept);
        EXPECT_TRUE(unsent.TakeTail("/dev/ttyS0").empty()) << "a kept tail goes once";
    }
}

// A control with a queue of its own (Windows' overlapped writes) tells at a
// close what was under way and how many frames waited behind it: the frames
// none of whose bytes left are dropped whole and counted, the rest of a
// started frame is kept for the same device.
TEST(UnsentFrames, AControlsOwnQueueDropsWholeFramesAndKeepsAStartedRest) {
    const struct {
        const char* name;
        Bytes writing;
        std::size_t sent;
        bool rest;
        std::size_t behind;
        Bytes kept;
        std::uint64_t dropped;
    } cases[] = {
        {"nothing under way", {}, 0, false, 0, {}, 0},
        {"a frame none of which left, two behind", {1, 2, 3}, 0, false, 2, {}, 3},
        {"a frame in part, one behind", {1, 2, 3}, 1, false, 1, {2, 3}, 1},
        {"a frame whole, two behind", {1, 2, 3}, 3, false, 2, {}, 2},
        {"a kept rest none of which left", {7, 8}, 0, true, 1, {7, 8}, 1},
        {"a kept rest in part", {7, 8}, 1, true, 0, {8}, 0},
        {"a kept rest whole", {7, 8}, 2, true, 0, {}, 0},
        {"a write left to the system, three behind", {}, 0, false, 3, {}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnsentFrames unsent;
        // What an earlier close kept and frames counted before both give way.
        unsent.Add(Bytes{9, 9}, false);
        unsent.Close("/dev/ttyS0", 2);
        ASSERT_EQ(unsent.droppedFrames(), 1u);
        unsent.Add(Bytes{5}, false);
        unsent.CloseWriting("COM1", c.writing, c.sent, c.rest, c.behind);
        EXPECT_EQ(unsent.queued(), 0u);
        EXPECT_EQ(unsent.droppedFrames(), 1u + c.dropped);
        EXPECT_EQ(unsent.TakeTail("COM1"), c.kept);
    }
}

TEST(UnsentFrames, TheKeptTailGoesToTheSameDeviceOnly) {
    const struct {
        const char* name;
        std::string openedAgain;
        Bytes first;
    } cases[] = {
        {"same device", "/dev/ttyUSB0", {3, 4}},
        {"another device", "/dev/ttyUSB1", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UnsentFrames unsent;
        unsent.Add(Bytes{1, 2, 3, 4}, false);
        unsent.Close("/dev/ttyUSB0", 2);
        EXPECT_EQ(unsent.TakeTail(c.openedAgain), c.first);
        // Opened on another device, the receiver that waited for the rest
        // is gone: the tail is not kept for a later open either.
        EXPECT_TRUE(unsent.TakeTail("/dev/ttyUSB0").empty());
    }
    UnsentFrames discarded;
    discarded.Add(Bytes{1, 2, 3, 4}, false);
    discarded.Close("/dev/ttyUSB0", 2);
    discarded.Clear();
    EXPECT_TRUE(discarded.TakeTail("/dev/ttyUSB0").empty()) << "discarded output keeps no tail";
    UnsentFrames kept;
    kept.KeepTail("COM3", Bytes{9});
    EXPECT_EQ(kept.TakeTail("COM3"), Bytes{9});
}

}  // namespace
}  // namespace kiv
