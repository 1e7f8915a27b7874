#pragma once

#include <cstdint>

#include "model/platform.h"

namespace kiv {

// A uniform source re-seeded from the time of day before every draw. The
// seed mixes a nanosecond reading with a draw counter, so two draws within
// the same clock tick still get unrelated values.
class TimeSeededRandom : public RandomSource {
  public:
    float Draw() override;

  private:
    std::uint64_t m_draws = 0;
};

// SplitMix64 finaliser: a well-mixed 64-bit value from any seed.
std::uint64_t MixSeed(std::uint64_t seed);

}  // namespace kiv
