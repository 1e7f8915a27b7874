// Cost of composing one frame: ten slots mixing every kind, with and
// without noise on all of them. The send loop takes its cycle start before
// composing, so this time counts against the send period.
#include <benchmark/benchmark.h>

#include "model/model.h"
#include "sending/frame_tap.h"
#include "sending/loopback_matcher.h"
#include "signal/compute_frame.h"
#include "signal/frame_assembly.h"
#include "signal/signal_params.h"
#include "signal/time_seeded_random.h"
#include "signal/waveforms.h"

namespace {

void Compose(benchmark::State& state) {
    kiv::Model w;
    kiv::TimeSeededRandom random;
    w.random = &random;
    w.PI_SINGLE = kiv::PiSingle();
    kiv::ApplySignalSettings(w);
    const char* slots[10] = {"5",     "sinx1", "sinx2", "sinx3", "squx1",
                             "squx2", "trix1", "trix2", "trix3", "200.5"};
    for (int i = 1; i <= kiv::kSlotCount; ++i) {
        w.slotText(i) = slots[i - 1];
        w.Check1(i).Value = state.range(0) != 0 ? 1 : 0;
    }
    w.slotCount = 10;
    w.sendPeriod = 1;
    std::int32_t n = 0;
    for (auto _ : state) {
        w.sendCount = n;
        kiv::ComputeFrame(w);
        benchmark::DoNotOptimize(w.frameBytes.values);
        n = n + 1 >= 1000000 ? 0 : n + 1;
    }
}
BENCHMARK(Compose)->Arg(0)->Arg(1)->ArgName("noise");

// What a frame format adds to each frame: the slots wrapped in a header,
// counter, length byte, checksum and trailer. Off (0) is the copy of the
// slots alone; then a one-byte sum, the Modbus CRC and CRC-32, each with
// every other part.
void Assemble(benchmark::State& state) {
    kiv::FrameFormat format;
    if (state.range(0) != 0) {
        const kiv::Checksum kinds[] = {kiv::Checksum::Sum8, kiv::Checksum::Crc16Modbus,
                                       kiv::Checksum::Crc32};
        format.header = {0xAA, 0x55};
        format.counter = kiv::FrameCounter::U16Le;
        format.lengthByte = true;
        format.checksum = kinds[state.range(0) - 1];
        format.trailer = {0x0D, 0x0A};
    }
    std::uint8_t slots[10] = {5, 1, 2, 3, 4, 5, 6, 7, 8, 200};
    std::int32_t n = 0;
    for (auto _ : state) {
        ++slots[1];
        const kiv::AssembledFrame frame = kiv::AssembleFrame(format, slots, n++);
        benchmark::DoNotOptimize(frame.bytes);
    }
}
BENCHMARK(Assemble)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->ArgName("format");

// What the line monitor adds to each frame of the send loop: the frame tap
// records it (a clock reading, a copy into the ring, the plan compared with
// the one in force). Run long enough to wrap the ring many times over.
void TapRecord(benchmark::State& state) {
    kiv::Model w;
    const char* slots[10] = {"5",     "sinx1", "sinx2", "sinx3", "squx1",
                             "squx2", "trix1", "trix2", "trix3", "200"};
    for (int i = 1; i <= kiv::kSlotCount; ++i) w.slotText(i) = slots[i - 1];
    w.slotCount = 10;
    w.sendPeriod = 1;
    kiv::FrameTap tap;
    tap.BeginSending(w);
    std::uint8_t frame[10] = {5, 1, 2, 3, 4, 5, 6, 7, 8, 200};
    for (auto _ : state) {
        ++frame[1];
        tap.Record(w, frame);
    }
    benchmark::DoNotOptimize(tap.frames().total());
}
BENCHMARK(TapRecord);

// The loopback count over a second of 1 ms frames that all came back: what
// the window pays at each of its repaints.
void LoopbackSecond(benchmark::State& state) {
    kiv::SentFrames sent;
    kiv::ArrivedStore arrived;
    std::uint8_t frame[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    for (auto _ : state) {
        state.PauseTiming();
        kiv::LoopbackMatcher matcher;
        sent.Clear();
        arrived.Clear();
        matcher.Update(sent, 1, arrived);
        for (int i = 0; i < 1000; ++i) {
            ++frame[0];
            sent.Push(i, frame);
            arrived.Add(i, frame);
        }
        state.ResumeTiming();
        matcher.Update(sent, 1, arrived);
        benchmark::DoNotOptimize(matcher.equal());
    }
}
BENCHMARK(LoopbackSecond);

}  // namespace

BENCHMARK_MAIN();
