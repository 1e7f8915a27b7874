#include "frame_timing.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace kiv::bench {
namespace {

constexpr std::uint8_t kSync = 0xFF;

struct Received {
    int number;
    std::int64_t ns;  // when its last byte arrived
};

std::vector<Received> ParseNumbered(const std::vector<Arrival>& arrivals, int& cut) {
    std::vector<Received> frames;
    int have = -1;  // number bytes collected after a sync; -1 waiting for one
    int value = 0;
    bool inStray = false;
    for (const auto& arrival : arrivals) {
        for (const std::uint8_t b : arrival.bytes) {
            if (b == kSync) {
                if (have >= 0) ++cut;  // the frame before this one stopped short
                have = 0;
                value = 0;
                inStray = false;
            } else if (have < 0) {
                if (!inStray) ++cut;  // bytes of a frame whose start went missing
                inStray = true;
            } else {
                value = (value << 7) | (b & 0x7F);
                if (++have == kFrameBytes - 1) {
                    frames.push_back(Received{value, arrival.ns});
                    have = -1;
                }
            }
        }
    }
    if (have >= 0) ++cut;
    return frames;
}

std::vector<Received> ParseCounted(const std::vector<Arrival>& arrivals, std::size_t frameBytes,
                                   int& cut) {
    std::vector<Received> frames;
    std::size_t total = 0;
    for (const auto& arrival : arrivals) {
        for (std::size_t i = 0; i < arrival.bytes.size(); ++i) {
            if (++total % frameBytes == 0) {
                frames.push_back(Received{static_cast<int>(total / frameBytes) - 1, arrival.ns});
            }
        }
    }
    if (total % frameBytes != 0) ++cut;
    return frames;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

std::array<std::uint8_t, kFrameBytes> NumberedFrame(int number) {
    return {kSync, static_cast<std::uint8_t>((number >> 14) & 0x7F),
            static_cast<std::uint8_t>((number >> 7) & 0x7F),
            static_cast<std::uint8_t>(number & 0x7F)};
}

TimingReport Analyse(const std::vector<Arrival>& arrivals, FrameCoding coding, int expectedFrames,
                     int periodMs, int frameBytes) {
    TimingReport report;
    report.expected = expectedFrames;
    std::vector<Received> frames =
        coding == FrameCoding::Numbered
            ? ParseNumbered(arrivals, report.cut)
            : ParseCounted(arrivals, static_cast<std::size_t>(frameBytes), report.cut);

    std::set<int> distinct;
    int previous = -1;
    for (const auto& frame : frames) {
        if (frame.number <= previous) ++report.cut;  // repeated or out of order
        previous = std::max(previous, frame.number);
        if (frame.number < expectedFrames) distinct.insert(frame.number);
    }
    report.received = static_cast<int>(frames.size());
    report.lost = expectedFrames - static_cast<int>(distinct.size());

    const double periodNs = periodMs * 1e6;
    std::vector<double> deviations;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].number != frames[i - 1].number + 1) continue;
        const auto gap = static_cast<double>(frames[i].ns - frames[i - 1].ns);
        deviations.push_back(std::abs(gap - periodNs) / 1e6);
    }
    std::sort(deviations.begin(), deviations.end());
    report.intervals = static_cast<int>(deviations.size());
    report.p50Ms = Percentile(deviations, 0.50);
    report.p99Ms = Percentile(deviations, 0.99);
    report.maxMs = deviations.empty() ? 0 : deviations.back();

    if (frames.size() >= 2 && frames.back().number > frames.front().number) {
        const auto span = static_cast<double>(frames.back().ns - frames.front().ns);
        const int steps = frames.back().number - frames.front().number;
        report.meanPeriodMs = span / steps / 1e6;
        report.driftMs = (span - steps * periodNs) / 1e6;
    }
    return report;
}

}  // namespace kiv::bench
