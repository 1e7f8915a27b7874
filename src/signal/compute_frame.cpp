#include "signal/compute_frame.h"

#include <algorithm>

#include "signal/numbers.h"
#include "signal/time_seeded_random.h"
#include "signal/waveforms.h"

namespace kiv {

SignalName LookUpSignal(const std::string& lowerText) {
    const SignalVariable* v = FindSignalVariable(lowerText);
    if (v == nullptr || v->waveform == Waveform::Noise) return {};
    return {v->waveform, v->entry};
}

namespace {
char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

std::string LowerCase(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

namespace {

// The byte of one slot before noise. A text that is neither a number nor a
// signal name gives `previous`, the byte the slot held.
std::uint8_t SlotValue(const FrameInputs& in, const std::string& text, std::uint8_t previous) {
    if (IsNumber(text)) return RealToByte(ToReal(text));
    const SignalName name = LookUpSignal(LowerCase(text));
    if (name.waveform == Waveform::None) return previous;
    const SignalParams& p = in.params[static_cast<std::size_t>(name.entry - 1)];
    switch (name.waveform) {
        case Waveform::Sine:
            return SineSample(p, in.count, in.period, in.pi);
        case Waveform::Rectangular:
            return RectangularSample(p, in.count, in.period);
        case Waveform::Sawtooth:
            return SawtoothSample(p, in.count, in.period);
        case Waveform::None:
        case Waveform::Noise:
            break;
    }
    return previous;
}

}  // namespace

ComposedFrame ComposeFrame(const FrameInputs& in, RandomSource& random) {
    ComposedFrame out;
    out.bytes.reserve(in.slots.size());
    const std::int32_t noiseAmplitude = in.params[kNoiseEntry - 1].am;
    for (std::size_t k = 0; k < in.slots.size(); ++k) {
        try {
            std::uint8_t byte = SlotValue(in, in.slots[k], in.previous.at(k));
            if (in.noise.at(k)) byte = AddNoise(byte, NoiseOffset(noiseAmplitude, random.Draw()));
            out.bytes.push_back(byte);
        } catch (const KivError& e) {
            out.error = e;
            out.failedSlot = static_cast<int>(k) + 1;
            break;
        }
    }
    return out;
}

void ComputeFrame(Model& w) {
    const int count = std::clamp(w.slotCount, 0, kSlotCount);
    FrameInputs in{
        std::span<const std::string>(w.slotText.values).first(static_cast<std::size_t>(count)),
        std::span<const SignalParams, kSignalEntryCount>(w.signalParams.values)};
    for (int i = 1; i <= kSlotCount; ++i)
        in.noise.at(static_cast<std::size_t>(i - 1)) = w.Check1(i).Value == 1;
    in.previous = w.frameBytes.values;
    in.count = w.sendCount;
    in.period = w.sendPeriod;
    in.pi = w.PI_SINGLE;
    static TimeSeededRandom fallback;
    ComposedFrame frame = ComposeFrame(in, w.random != nullptr ? *w.random : fallback);

    const int reached = frame.ok() ? count : frame.failedSlot;
    for (int i = 1; i <= reached; ++i)
        if (!IsNumber(w.slotText(i))) w.slotText(i) = LowerCase(w.slotText(i));
    for (std::size_t k = 0; k < frame.bytes.size(); ++k)
        w.frameBytes(static_cast<int>(k) + 1) = frame.bytes[k];
    if (frame.error) throw *frame.error;
}

}  // namespace kiv
