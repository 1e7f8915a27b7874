#pragma once

#include <cstdint>

#include "model/model.h"

// The waveform rules: pure functions of one parameter entry, the frame index
// n and the send period T (ms). Each returns the A/D code of the sample or
// raises KivError (Overflow, DivisionByZero, FloatingPoint).
namespace kiv {

// The program's value of pi: the single with bit pattern 0x40490FDA.
float PiSingle();

std::uint8_t SineSample(const SignalParams& p, std::int32_t n, std::int32_t T, float piSingle);
std::uint8_t RectangularSample(const SignalParams& p, std::int32_t n, std::int32_t T);
std::uint8_t SawtoothSample(const SignalParams& p, std::int32_t n, std::int32_t T);

// The noise offset for amplitude A (0..255) and a draw r in [0, 1).
std::int32_t NoiseOffset(std::int32_t A, float r);
// A byte with the noise offset d added, clamped to 0..255.
std::uint8_t AddNoise(std::uint8_t value, std::int32_t d);

}  // namespace kiv
