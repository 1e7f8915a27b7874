#include "signal/compute_frame.h"

#include "signal/numbers.h"
#include "signal/time_seeded_random.h"
#include "signal/waveforms.h"

namespace kiv {

SignalName LookUpSignal(const std::string& lowerText) {
    static const char* const kNames[9] = {"sinx1", "sinx2", "sinx3", "squx1", "squx2",
                                          "squx3", "trix1", "trix2", "trix3"};
    for (int i = 0; i < 9; ++i) {
        if (lowerText == kNames[i]) {
            const Waveform kind = i < 3   ? Waveform::Sine
                                  : i < 6 ? Waveform::Rectangular
                                          : Waveform::Sawtooth;
            return {kind, i + 1};
        }
    }
    return {};
}

std::string LowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void ComputeFrame(Model& w) {
    const int count = w.slotCount;
    const std::int32_t n = w.sendCount;
    const std::int32_t T = w.sendPeriod;
    for (int i = 1; i <= count; ++i) {
        // The slot's byte is stored only once its noise is added too: a slot
        // whose noise step fails keeps its previous byte, like the later slots.
        std::uint8_t byte = w.frameBytes(i);
        const std::string& text = w.slotText(i);
        if (IsNumber(text)) {
            byte = RealToByte(ToReal(text));
        } else {
            w.slotText(i) = LowerCase(text);
            const SignalName name = LookUpSignal(w.slotText(i));
            if (name.waveform != Waveform::None) {
                const SignalParams& p = w.signalParams(name.entry);
                switch (name.waveform) {
                    case Waveform::Sine:
                        byte = SineSample(p, n, T, w.PI_SINGLE);
                        break;
                    case Waveform::Rectangular:
                        byte = RectangularSample(p, n, T);
                        break;
                    case Waveform::Sawtooth:
                        byte = SawtoothSample(p, n, T);
                        break;
                    case Waveform::None:
                        break;
                }
            }
        }
        if (w.Check1(i).Value == 1) {
            static TimeSeededRandom fallback;
            const float r = w.random != nullptr ? w.random->Draw() : fallback.Draw();
            byte = AddNoise(byte, NoiseOffset(w.signalParams(kNoiseEntry).am, r));
        }
        w.frameBytes(i) = byte;
    }
}

}  // namespace kiv
