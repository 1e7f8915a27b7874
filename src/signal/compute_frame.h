#pragma once

#include <string>

#include "model/model.h"

namespace kiv {

enum class Waveform { None, Sine, Rectangular, Sawtooth };

struct SignalName {
    Waveform waveform = Waveform::None;
    int entry = 0;  // entry of signalParams, 1..9
};

// The signal variable a lower-case slot text names, compared exactly.
SignalName LookUpSignal(const std::string& lowerText);

// ASCII lower case; other bytes unchanged.
std::string LowerCase(const std::string& text);

// Fills frameBytes(1..slotCount) for the current frame time sendCount x
// sendPeriod. An error ends the call at the failing slot: earlier slots keep
// their new bytes, the failing and later ones their old bytes.
void ComputeFrame(Model& w);

}  // namespace kiv
