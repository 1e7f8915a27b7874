#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/errors.h"
#include "model/model.h"
#include "model/signal_table.h"

namespace kiv {

struct SignalName {
    Waveform waveform = Waveform::None;
    int entry = 0;  // entry of signalParams, 1..9
};

// The signal variable a lower-case slot text names, compared exactly. The
// noise source is no signal variable: "noise" names nothing.
SignalName LookUpSignal(const std::string& lowerText);

// ASCII lower case; other bytes unchanged.
std::string LowerCase(const std::string& text);
// Whether two texts are the same once lower-cased as above.
bool SameIgnoringCase(std::string_view a, std::string_view b);

// Everything one frame is made of.
struct FrameInputs {
    std::span<const std::string> slots;  // the plan: the texts of slots 1..slotCount
    std::span<const SignalParams, kSignalEntryCount> params;  // signalParams(1..10)
    std::array<bool, kSlotCount> noise{};                     // slot i + 1 gets noise added
    std::array<std::uint8_t, kSlotCount>
        previous{};           // the last frame: a slot naming nothing keeps its byte
    std::int32_t count = 0;   // the frame's index (sendCount)
    std::int32_t period = 0;  // the send period in ms
    float pi = 0.0f;          // the program's pi (PI_SINGLE)
};

// A composed frame: every slot's byte, or the slots before the first one
// that failed together with that slot's error.
struct ComposedFrame {
    std::vector<std::uint8_t> bytes;
    std::optional<KivError> error;
    int failedSlot = 0;  // 1-based; 0 when every slot was composed
    bool ok() const { return !error; }
};

// Composes one frame at the time count x period. Draws from `random` once
// per noised slot whose value could be computed, in slot order; nothing
// else is touched.
ComposedFrame ComposeFrame(const FrameInputs& in, RandomSource& random);

// Fills frameBytes(1..slotCount) for the current frame time sendCount x
// sendPeriod, and stores every signal name it reaches back in lower case.
// An error raises at the failing slot: earlier slots keep their new bytes,
// the failing and later ones their old bytes.
void ComputeFrame(Model& w);

}  // namespace kiv
