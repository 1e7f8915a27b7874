#include "sending/frame_settings.h"

#include <gtest/gtest.h>

#include <functional>

#include "fakes.h"
#include "model/messages.h"
#include "sending/frame_tap.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The Modbus request users quote: slots 0, 10, 0, 2 after the header 01 03,
// with a CRC-16/MODBUS, low byte first.
const Bytes kModbusRequest = {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09};

void PutSlots(Model& w, const std::vector<std::string>& slots) {
    for (int i = 1; i <= kSlotCount; ++i)
        w.sendText1(i).Text = i <= static_cast<int>(slots.size()) ? slots[i - 1] : "";
}

struct FramePage : testing::StartedRig {
    FramePage() {
        PutSlots(w, {"0", "10", "0", "2"});
        EXPECT_TRUE(ApplySendSettings(w));
    }
    void Modbus() {
        w.frameHeader.Text = "01 03";
        w.frameChecksum.Text = "crc16-modbus";
        frameChecksum_Click(w);
    }
};

// Every box is checked before anything is stored: a refused box shows the
// page's one message, names itself in the details, and leaves the format
// in force and the port alone.
TEST(FrameFormatApply, ARefusedBoxStoresNothing) {
    const struct {
        const char* name;
        std::function<void(Model&)> spoil;
        const char* box;
    } cases[] = {
        {"header not hex", [](Model& w) { w.frameHeader.Text = "AA 5G"; }, "frameHeader"},
        {"header of nine bytes", [](Model& w) { w.frameHeader.Text = "1 2 3 4 5 6 7 8 9"; },
         "frameHeader"},
        {"trailer over a byte", [](Model& w) { w.frameTrailer.Text = "0x100"; }, "frameTrailer"},
        {"counter typed", [](Model& w) { w.frameCounter.Text = "12 位"; }, "frameCounter"},
        {"checksum unknown", [](Model& w) { w.frameChecksum.Text = "crc99"; }, "frameChecksum"},
        {"byte order typed", [](Model& w) { w.frameChecksumOrder.Text = "middle"; },
         "frameChecksumOrder"},
        {"range typed", [](Model& w) { w.frameChecksumFrom.Text = "end"; }, "frameChecksumFrom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FramePage r;
        Optionopen_Click(r.w);
        r.w.frameHeader.Text = "AA";
        ASSERT_TRUE(ApplyFrameFormat(r.w));
        const FrameFormat before = r.w.frameFormat;
        const std::string layout = r.w.frameLayout.Caption;
        r.port.calls.clear();
        r.Modbus();
        c.spoil(r.w);

        const Outcome out = ApplyFrameFormat(r.w);
        EXPECT_FALSE(out);
        EXPECT_EQ(out.box, c.box);
        ASSERT_EQ(r.box.shown.size(), 1u);
        EXPECT_EQ(r.box.shown[0].text, "帧格式设置错误，请修改！");
        EXPECT_EQ(r.box.shown[0].style, 22);
        EXPECT_EQ(r.box.shown[0].title, "帧格式设置信息");
        EXPECT_EQ(r.box.shown[0].detail.rfind(std::string(c.box) + ": ", 0), 0u)
            << r.box.shown[0].detail;
        EXPECT_EQ(r.w.frameFormat, before);
        EXPECT_EQ(r.w.frameLayout.Caption, layout);
        EXPECT_TRUE(r.port.calls.empty());
    }
}

TEST(FrameFormatApply, StoresTheFormatAndShowsTheNextFrame) {
    FramePage r;
    r.Modbus();
    ASSERT_TRUE(ApplyFrameFormat(r.w));
    EXPECT_EQ(r.w.frameFormat.header, (Bytes{0x01, 0x03}));
    EXPECT_EQ(r.w.frameFormat.checksum, Checksum::Crc16Modbus);
    EXPECT_EQ(r.w.frameFormat.checksumOrder, ByteOrder::Le);
    EXPECT_EQ(FrameLength(r.w), 8);
    EXPECT_EQ(r.w.frameLayout.Caption,
              "01 03 | 4 个槽 | crc16-modbus 低字节在前：01 03 00 0A 00 02 E4 09");
    EXPECT_TRUE(r.box.shown.empty());

    // The boxes take kiv-cli's words too, and a new format shows at once.
    r.w.frameCounter.Text = "u16be";
    r.w.frameChecksum.Text = "xor8";
    r.w.frameHeader.Text = "";
    ASSERT_TRUE(ApplyFrameFormat(r.w));
    EXPECT_EQ(r.w.frameFormat.counter, FrameCounter::U16Be);
    // Counter 00 00 (the count is 0), slots, then 00^00^0A^00^02 = 08.
    EXPECT_EQ(r.w.frameLayout.Caption,
              "计数 16 位 高字节在前 | 4 个槽 | xor8：00 00 00 0A 00 02 08");
}

TEST(FrameFormatApply, ChoosingAChecksumTakesItsUsualByteOrder) {
    const struct {
        const char* kind;
        int order;  // the byte-order box's entry: 0 low byte first, 1 high byte first
    } cases[] = {{"crc16-arc", 0},
                 {"crc16-modbus", 0},
                 {"crc32", 0},
                 {"crc16-ccitt-false", 1},
                 {"crc16-xmodem", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        FramePage r;
        r.w.frameChecksumOrder.Pick(1 - c.order);
        r.w.frameChecksum.Text = c.kind;
        frameChecksum_Click(r.w);
        EXPECT_EQ(r.w.frameChecksumOrder.ListIndex, c.order);
    }
    // A one-byte checksum has no byte order: the user's choice stays.
    FramePage r;
    r.w.frameChecksumOrder.Pick(1);
    r.w.frameChecksum.Text = "sum8";
    frameChecksum_Click(r.w);
    EXPECT_EQ(r.w.frameChecksumOrder.ListIndex, 1);
}

// The port's output buffer holds the whole frame: a format that changes the
// frame's length opens an open port again for it; one that keeps the length
// leaves the port alone.
TEST(FrameFormatApply, AnOpenPortTakesTheNewFrameLength) {
    FramePage r;
    Optionopen_Click(r.w);
    r.port.calls.clear();
    r.Modbus();
    ASSERT_TRUE(ApplyFrameFormat(r.w));
    EXPECT_EQ(r.port.calls,
              (std::vector<std::string>{"PortOpen=false", "OutBufferSize=8", "PortOpen=true"}));
    r.port.calls.clear();
    r.w.frameChecksum.Text = "crc16-arc";
    ASSERT_TRUE(ApplyFrameFormat(r.w));
    EXPECT_TRUE(r.port.calls.empty());

    // A send-page apply sizes the buffer by the whole frame as well.
    PutSlots(r.w, {"1", "2"});
    ASSERT_TRUE(ApplySendSettings(r.w));
    EXPECT_EQ(r.port.outBufferSize, 6);
    // And so does opening the port again.
    Optionclose_Click(r.w);
    r.port.outBufferSize = 0;
    Optionopen_Click(r.w);
    EXPECT_TRUE(r.port.open);
    EXPECT_EQ(r.port.outBufferSize, 6);
}

TEST(FrameFormatApply, SetupBoxesShowAStoredFormatAndReadBackAsIt) {
    FramePage r;
    FrameFormat f;
    f.header = {0xAA, 0x55};
    f.counter = FrameCounter::U16Le;
    f.lengthByte = true;
    f.checksum = Checksum::Crc16CcittFalse;
    f.checksumOrder = ByteOrder::Le;
    f.checksumFrom = ChecksumFrom::Payload;
    f.trailer = {0x0D, 0x0A};
    PutFrameFormatInBoxes(r.w, f);
    FrameFormat read;
    ASSERT_TRUE(ReadFrameFormat(r.w, read));
    EXPECT_EQ(read, f);
    PutFrameFormatInBoxes(r.w, FrameFormat{});
    ASSERT_TRUE(ReadFrameFormat(r.w, read));
    EXPECT_TRUE(read.Off());
}

// Sending with a format: a started window, the port open, the send page's
// plan applied.
struct FormatSending : FramePage {
    FormatSending() {
        Optionopen_Click(w);
        port.calls.clear();
    }
    void Apply(const std::function<void(Model&)>& boxes) {
        boxes(w);
        ASSERT_TRUE(ApplyFrameFormat(w));
    }
    void RunFrames(std::size_t frames, std::function<void()> alsoEachYield = {}) {
        testing::RunFrames(*this, frames, std::move(alsoEachYield));
    }
};

TEST(FrameFormatSending, TheModbusRequestGoesOnTheLineByteForByte) {
    FormatSending s;
    s.Apply([](Model& w) {
        w.frameHeader.Text = "01 03";
        w.frameChecksum.Text = "crc16-modbus";
        frameChecksum_Click(w);
    });
    s.RunFrames(2);
    ASSERT_EQ(s.port.frames.size(), 2u);
    EXPECT_EQ(s.port.frames[0], kModbusRequest);
    EXPECT_EQ(s.port.frames[1], kModbusRequest);
}

// The counter is the frame's time index: the count of the frame's time,
// modulo the counter's range, restarting after a clear and where the
// count itself wraps.
TEST(FrameFormatSending, TheCounterIsTheFramesTimeIndex) {
    const struct {
        const char* counter;
        std::int32_t startCount;
        std::vector<Bytes> counters;  // each frame's counter bytes
    } cases[] = {
        {"u8", 0, {{0}, {1}, {2}}},
        {"u8", 255, {{255}, {0}, {1}}},
        {"u16le", 65535, {{0xFF, 0xFF}, {0, 0}, {1, 0}}},
        {"u16be", 256, {{1, 0}, {1, 1}, {1, 2}}},
        // The count wraps from 999999 (0x0F423F) to 0.
        {"u16be", 999998, {{0x42, 0x3E}, {0x42, 0x3F}, {0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.counter) + " from " + std::to_string(c.startCount));
        FormatSending s;
        s.Apply([&](Model& w) { w.frameCounter.Text = c.counter; });
        s.w.sendCount = c.startCount;
        s.RunFrames(3);
        ASSERT_EQ(s.port.frames.size(), 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            Bytes expected = c.counters[i];
            expected.insert(expected.end(), {0, 10, 0, 2});
            EXPECT_EQ(s.port.frames[i], expected) << "frame " << i;
        }
    }
    // After "清零发送计数" the next frame carries 0 again.
    FormatSending s;
    s.Apply([](Model& w) { w.frameCounter.Text = "u8"; });
    s.RunFrames(2);
    Command8_Click(s.w);
    s.RunFrames(3);
    ASSERT_EQ(s.port.frames.size(), 3u);
    EXPECT_EQ(s.port.frames[2], (Bytes{0, 0, 10, 0, 2}));
}

// A frame-page apply while sending takes effect from the next frame, whole:
// the frame written is the new format's, as long as the output buffer the
// apply sized, and the monitor holds it with its parts.
TEST(FrameFormatSending, AnApplyWhileSendingActsOnTheNextFrameWhole) {
    FormatSending s;
    FrameTap tap;
    s.w.frameTap = &tap;
    bool applied = false;
    s.RunFrames(2, [&] {
        if (applied || s.clock.now % 10 != 7) return;  // the first cycle's second wait
        applied = true;
        s.w.frameHeader.Text = "01 03";
        s.w.frameChecksum.Text = "crc16-modbus";
        frameChecksum_Click(s.w);
        ASSERT_TRUE(ApplyFrameFormat(s.w));
    });
    s.w.frameTap = nullptr;
    ASSERT_TRUE(applied);
    ASSERT_EQ(s.port.frames.size(), 2u);
    EXPECT_EQ(s.port.frames[0], kModbusRequest);
    EXPECT_EQ(s.port.frames[1], kModbusRequest);
    EXPECT_EQ(s.port.outBufferSize, 8);

    const SentFrame* held = tap.frames().Newest();
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(Bytes(held->Bytes().begin(), held->Bytes().end()), kModbusRequest);
    EXPECT_EQ(Bytes(held->Slots().begin(), held->Slots().end()), (Bytes{0, 10, 0, 2}));
}

// Noise is added before the checksum: the checksum covers the bytes that
// went out, whatever the noise drew.
TEST(FrameFormatSending, TheChecksumCoversTheNoisedSlots) {
    FormatSending s;
    PutSlots(s.w, {"sinx1", "100", "200"});
    s.w.Check1(1).Value = 1;
    s.w.Check1(3).Value = 1;
    ASSERT_TRUE(ApplySendSettings(s.w));
    s.Apply([](Model& w) {
        w.frameHeader.Text = "AA";
        w.frameChecksum.Text = "sum8";
        w.frameTrailer.Text = "0D";
    });
    s.random.values = {0.0f, 1.0f, 0.25f, 0.75f, 0.9f, 0.1f};
    s.RunFrames(3);
    ASSERT_EQ(s.port.frames.size(), 3u);
    bool noised = false;
    for (const Bytes& f : s.port.frames) {
        ASSERT_EQ(f.size(), 6u);
        EXPECT_EQ(f.front(), 0xAA);
        EXPECT_EQ(f.back(), 0x0D);
        unsigned sum = 0;
        for (std::size_t i = 0; i < 4; ++i) sum += f[i];
        EXPECT_EQ(f[4], sum % 256);
        noised = noised || f[3] != 200;
    }
    EXPECT_TRUE(noised) << "the noise drew nothing: the case proves nothing";
    EXPECT_GT(s.random.draws, 0);
}

}  // namespace
}  // namespace kiv
