#include "signal/time_seeded_random.h"

#include <chrono>

namespace kiv {

std::uint64_t MixSeed(std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float TimeSeededRandom::Draw() {
    // A time-of-day seed alone would repeat within one clock tick and give
    // every noisy slot of a frame the same offset; the draw counter makes
    // each seed unique and the mixing removes any correlation between them.
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    const std::uint64_t bits = MixSeed(ns ^ MixSeed(++m_draws));
    // The top 24 bits give every float in [0, 1) with step 2^-24.
    return static_cast<float>(bits >> 40) * (1.0f / 16777216.0f);
}

}  // namespace kiv
