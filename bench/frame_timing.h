#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pty_capture.h"

namespace kiv::bench {

// How the frames on the line can be told apart.
enum class FrameCoding {
    // The harness's own senders: 0xFF, then the frame's number in three
    // 7-bit groups. A lost frame is a missing number; a cut one shows up as
    // a sync byte or stray byte where a number byte belongs.
    Numbered,
    // Frames whose content the sender chooses (the program's own loop):
    // every frameBytes bytes are one frame; only the count and the tail can
    // be checked.
    Counted,
};

constexpr int kFrameBytes = 4;

std::array<std::uint8_t, kFrameBytes> NumberedFrame(int number);

struct TimingReport {
    int expected = 0;
    int received = 0;   // whole frames
    int lost = 0;       // expected but never arrived whole
    int cut = 0;        // arrived damaged, short or out of order
    int intervals = 0;  // gaps between frames numbered one apart
    double meanPeriodMs = 0;
    // |gap - period| over all intervals
    double p50Ms = 0;
    double p99Ms = 0;
    double maxMs = 0;
    // how far the last frame is from where a perfect clock puts it,
    // counted from the first; positive is late
    double driftMs = 0;
};

TimingReport Analyse(const std::vector<Arrival>& arrivals, FrameCoding coding, int expectedFrames,
                     int periodMs, int frameBytes = kFrameBytes);

}  // namespace kiv::bench
