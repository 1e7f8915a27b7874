#include "sending/loopback_matcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/line_watch.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ArrivedStore, KeepsTheNewestBytesByStreamPosition) {
    const struct {
        std::vector<Bytes> chunks;
        std::uint64_t total, oldest;
        Bytes held;
        std::size_t chunksHeld;
    } cases[] = {
        {{}, 0, 0, {}, 0},
        {{{1, 2, 3}}, 3, 0, {1, 2, 3}, 1},
        {{{1, 2, 3}, {}}, 3, 0, {1, 2, 3}, 1},  // nothing read is no chunk
        {{{1, 2, 3}, {4, 5}}, 5, 0, {1, 2, 3, 4, 5}, 2},
        {{{1, 2, 3}, {4, 5, 6, 7}}, 7, 1, {2, 3, 4, 5, 6, 7}, 2},  // 1 dropped
        {{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, 9, 3, {4, 5, 6, 7, 8, 9}, 2},
        {{{1, 2, 3, 4, 5, 6, 7, 8}}, 8, 2, {3, 4, 5, 6, 7, 8}, 1},  // longer than the store
    };
    for (const auto& c : cases) {
        ArrivedStore store(6);
        double ms = 0.0;
        for (const Bytes& chunk : c.chunks) store.Add(ms += 1.0, chunk);
        SCOPED_TRACE(::testing::Message() << c.chunks.size() << " chunks, " << c.total);
        EXPECT_EQ(store.total(), c.total);
        EXPECT_EQ(store.oldest(), c.oldest);
        Bytes held;
        for (std::uint64_t at = store.oldest(); at < store.total(); ++at)
            held.push_back(store.At(at));
        EXPECT_EQ(held, c.held);
        ASSERT_EQ(store.chunks().size(), c.chunksHeld);
        if (!store.chunks().empty()) {
            const ArrivedChunk& last = store.chunks().back();
            EXPECT_EQ(last.first + last.length, c.total);
            for (std::size_t i = 1; i < store.chunks().size(); ++i)
                EXPECT_LT(store.chunks()[i - 1].ms, store.chunks()[i].ms);
        }
    }
}

// Frames sent, and what came back: equal frames, changed ones, bytes with
// no frame to match, frames lost from a store or ring too small.
TEST(LoopbackMatcher, CountsFramesThatCameBack) {
    struct Step {
        char what;  // 's' a frame sent, 'a' bytes arrived, 'u' the matcher looks
        Bytes bytes;
    };
    const struct {
        const char* name;
        std::size_t ring, store;
        std::vector<Step> steps;
        std::uint64_t equal, different, missed, extra;
    } cases[] = {
        {"whole frames back",
         16,
         64,
         {{'s', {1, 2, 3}}, {'s', {4, 5, 6}}, {'a', {1, 2, 3, 4, 5, 6}}, {'u', {}}},
         2,
         0,
         0,
         0},
        {"in pieces across looks",
         16,
         64,
         {{'s', {1, 2, 3}},
          {'a', {1}},
          {'u', {}},
          {'a', {2, 3, 9}},
          {'s', {9, 8}},
          {'u', {}},
          {'a', {8}},
          {'u', {}}},
         2,
         0,
         0,
         0},
        {"not back yet", 16, 64, {{'s', {1, 2, 3}}, {'a', {1, 2}}, {'u', {}}}, 0, 0, 0, 0},
        {"a changed byte",
         16,
         64,
         {{'s', {1, 2, 3}}, {'s', {4, 5}}, {'a', {1, 0, 3, 4, 5}}, {'u', {}}},
         1,
         1,
         0,
         0},
        {"nothing sent", 16, 64, {{'a', {7, 7, 7}}, {'u', {}}}, 0, 0, 0, 3},
        {"more back than sent", 16, 64, {{'s', {1}}, {'a', {1, 2, 3}}, {'u', {}}}, 1, 0, 0, 2},
        {"lengths change with the plan",
         16,
         64,
         {{'s', {1}}, {'s', {1, 2, 3, 4}}, {'s', {5, 6}}, {'a', {1, 1, 2, 3, 4, 5, 6}}, {'u', {}}},
         3,
         0,
         0,
         0},
        // Frames with a header, counter and checksum around ten slots come
        // back whole, their last byte compared too.
        {"frames longer than the slots",
         16,
         64,
         {{'s', {0xAA, 0x55, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x31}},
          {'s', {0xAA, 0x55, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x32}},
          {'a', {0xAA, 0x55, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x31}},
          {'a', {0xAA, 0x55, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x00}},
          {'u', {}}},
         1,
         1,
         0,
         0},
        // Store of 4: the first frame's bytes drop out unread; that frame is
        // missed, and the next ones still line up by its length.
        {"store overflowed",
         16,
         4,
         {{'s', {1, 2, 3}}, {'s', {4, 5}}, {'s', {6, 7}}, {'a', {1, 2, 3, 4, 5, 6, 7}}, {'u', {}}},
         2,
         0,
         1,
         0},
        // Store of 4, and frame 1 half read when its tail drops out: only
        // the bytes of it not yet read are passed over, so frame 2 starts
        // at the first byte kept.
        {"store overflowed after a half-read frame",
         16,
         4,
         {{'s', {1, 2, 3}},
          {'s', {4, 5}},
          {'s', {6, 7}},
          {'a', {1}},
          {'u', {}},
          {'a', {2, 3, 4, 5, 6, 7}},
          {'u', {}}},
         2,
         0,
         1,
         0},
        // Ring of 2: frame 1 is gone before it came back, and with it its
        // length; the frames still held are found again after its byte.
        {"ring overflowed",
         2,
         64,
         {{'s', {1}}, {'s', {2}}, {'s', {3}}, {'a', {1, 2, 3}}, {'u', {}}},
         2,
         0,
         1,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SentFrames sent(c.ring);
        ArrivedStore arrived(c.store);
        LoopbackMatcher matcher;
        matcher.Update(sent, 1, arrived);
        double ms = 0.0;
        for (const Step& s : c.steps) {
            ms += 1.0;
            if (s.what == 's') sent.Push(ms, s.bytes);
            if (s.what == 'a') arrived.Add(ms, s.bytes);
            if (s.what == 'u') matcher.Update(sent, 1, arrived);
        }
        EXPECT_EQ(matcher.equal(), c.equal);
        EXPECT_EQ(matcher.different(), c.different);
        EXPECT_EQ(matcher.missed(), c.missed);
        EXPECT_EQ(matcher.extraBytes(), c.extra);
    }
}

TEST(LoopbackMatcher, ANewSessionStartsOverAfterTheBytesAlreadyThere) {
    SentFrames sent;
    ArrivedStore arrived;
    LoopbackMatcher matcher;
    const Bytes frame = {1, 2};
    sent.Push(0.0, frame);
    matcher.Update(sent, 1, arrived);
    arrived.Add(1.0, frame);
    matcher.Update(sent, 1, arrived);
    EXPECT_EQ(matcher.equal(), 1u);
    arrived.Add(2.0, Bytes{9});  // before the next session: not counted
    sent.Clear();
    sent.Push(3.0, frame);
    matcher.Update(sent, 2, arrived);
    EXPECT_EQ(matcher.equal(), 0u);
    EXPECT_EQ(matcher.extraBytes(), 0u);
    arrived.Add(4.0, frame);
    matcher.Update(sent, 2, arrived);
    EXPECT_EQ(matcher.equal(), 1u);
}

// A frame of its own for every number, as sines and noise give: no two
// frames of a few thousand are alike.
Bytes Distinct(std::uint64_t n) {
    Bytes f(10);
    for (std::size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<std::uint8_t>((n * (i + 3) + (n >> 8) * 31 + i * 17) & 0xFF);
    return f;
}

// Long runs at the line's pace: the monitor looking late, and bytes lost,
// added or changed on the way back every so often.
TEST(LoopbackMatcher, FollowsTheFramesWhereverItStartsAndAfterABytesSlip) {
    const struct {
        const char* name;
        bool constant;         // every frame alike (a constant plan)
        std::uint64_t before;  // frames sent before the monitor's first look
        std::uint64_t lag;     // of those, frames not back yet at the look
        std::uint64_t after;   // frames sent after it
        char damage;           // '-' a byte lost, '+' one added, '~' one changed
        std::uint64_t every;   // every this many frames (0: none), at frame k * every + 25
        std::uint64_t equal, different, missedBytes, extra;
    } cases[] = {
        {"looked at late", false, 400, 3, 200, ' ', 0, 203, 0, 0, 0},
        {"looked at late, all frames alike", true, 400, 3, 200, ' ', 0, 203, 0, 0, 0},
        {"looked at first", false, 0, 0, 500, ' ', 0, 500, 0, 0, 0},
        {"a byte lost in every 50th frame", false, 0, 0, 500, '-', 50, 490, 10, 10, 0},
        {"late, and a byte lost in every 50th", false, 300, 2, 500, '-', 50, 492, 10, 10, 0},
        {"a byte added in every 50th frame", false, 0, 0, 500, '+', 50, 490, 10, 0, 10},
        {"a byte changed in every 50th frame", false, 0, 0, 500, '~', 50, 490, 10, 0, 0},
        {"a byte lost in every frame 100", false, 0, 0, 500, '-', 100, 495, 5, 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SentFrames sent;
        ArrivedStore arrived;
        LoopbackMatcher matcher;
        double ms = 0.0;
        const auto frame = [&c](std::uint64_t n) {
            return c.constant ? Bytes(10, 5) : Distinct(n);
        };
        const auto comeBack = [&](std::uint64_t n) {
            Bytes back = frame(n);
            if (c.every > 0 && n % c.every == 25 % c.every && n > c.before) {
                if (c.damage == '-') back.erase(back.begin() + 3);
                if (c.damage == '+') back.insert(back.begin() + 3, 0xEE);
                if (c.damage == '~') back[3] ^= 0x40;
            }
            arrived.Add(ms, back);
        };
        for (std::uint64_t n = 1; n <= c.before; ++n) sent.Push(ms += 1.0, frame(n));
        for (std::uint64_t n = 1; n + c.lag <= c.before; ++n) comeBack(n);
        matcher.Update(sent, 1, arrived);
        // The rest comes back a few frames behind, looked at every 34th.
        for (std::uint64_t n = c.before + 1; n <= c.before + c.after; ++n) {
            sent.Push(ms += 1.0, frame(n));
            if (n > c.lag) comeBack(n - c.lag);
            if (n % 34 == 0) matcher.Update(sent, 1, arrived);
        }
        for (std::uint64_t n = c.before + c.after - c.lag + 1; n <= c.before + c.after; ++n)
            comeBack(n);
        matcher.Update(sent, 1, arrived);
        EXPECT_EQ(matcher.equal(), c.equal);
        EXPECT_EQ(matcher.different(), c.different);
        EXPECT_EQ(matcher.missed(), 0u);
        EXPECT_EQ(matcher.missedBytes(), c.missedBytes);
        EXPECT_EQ(matcher.extraBytes(), c.extra);
    }
}

}  // namespace
}  // namespace kiv
