// Cost of composing one frame: ten slots mixing every kind, with and
// without noise on all of them. The send loop takes its cycle start before
// composing, so this time counts against the send period.
#include <benchmark/benchmark.h>

#include "model/model.h"
#include "signal/compute_frame.h"
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
    for (int i = 1; i <= 10; ++i) {
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

}  // namespace

BENCHMARK_MAIN();
