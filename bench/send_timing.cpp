// Times frame senders against a pty: how close to the period each frame
// reaches the far end, whether any is lost or cut, and what the sending
// costs in CPU. A measuring tool, not a test: run it by hand on a quiet
// machine and compare senders within one run, since absolute figures move
// with the host's load.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "clocks.h"
#include "frame_timing.h"
#include "kiv_loop_sender.h"
#include "pty_capture.h"
#include "senders.h"

namespace kiv::bench {
namespace {

struct Sender {
    std::string name;
    SendFunction send;
    FrameCoding coding;
};

struct RunPlan {
    int periodMs;
    int frames;
};

struct Options {
    std::vector<RunPlan> plans = {{10, 3000}, {1, 5000}};
    std::vector<std::string> only;  // sender names; empty means all
    bool plugReference = false;
};

const char kUsage[] =
    "usage: kiv_send_timing [--frames N] [--period MS] [--senders a,b,...] [--plug-reference]\n"
    "  Without options: 3000 frames at 10 ms, then 5000 frames at 1 ms.\n"
    "  --frames N        frames per run\n"
    "  --period MS       one run at this period (default frames 3000)\n"
    "  --senders LIST    any of qtimer, busy, sleep, kiv\n"
    "  --plug-reference  run the absolute-sleep sender through the kiv loop's\n"
    "                    registration path, to check the harness's plumbing\n";

std::optional<int> PositiveNumber(const char* text) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value <= 0 || value > 1'000'000) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    std::optional<int> frames;
    std::optional<int> period;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frames" && hasValue) {
            frames = PositiveNumber(argv[++i]);
            if (!frames) return std::nullopt;
        } else if (arg == "--period" && hasValue) {
            period = PositiveNumber(argv[++i]);
            if (!period) return std::nullopt;
        } else if (arg == "--senders" && hasValue) {
            std::stringstream list(argv[++i]);
            for (std::string name; std::getline(list, name, ',');) options.only.push_back(name);
        } else if (arg == "--plug-reference") {
            options.plugReference = true;
        } else {
            return std::nullopt;
        }
    }
    if (period) options.plans = {{*period, 3000}};
    if (frames) {
        for (auto& plan : options.plans) plan.frames = *frames;
    }
    return options;
}

std::vector<Sender> ChooseSenders(const Options& options) {
    std::vector<Sender> senders = {
        {"qtimer", SendWithPreciseTimer, FrameCoding::Numbered},
        {"busy", SendWithBusyWait, FrameCoding::Numbered},
        {"sleep", SendWithAbsoluteSleep, FrameCoding::Numbered},
    };
    if (options.plugReference) {
        SendFunction plugged = SendWithAbsoluteSleep;
        senders.push_back({"kiv", plugged, FrameCoding::Counted});
    } else if (auto loop = RegisteredKivLoop()) {
        senders.push_back({"kiv", *loop, FrameCoding::Counted});
    } else {
        senders.push_back({"kiv", nullptr, FrameCoding::Counted});
    }
    if (options.only.empty()) return senders;
    std::vector<Sender> chosen;
    for (const auto& sender : senders) {
        for (const auto& name : options.only) {
            if (sender.name == name) chosen.push_back(sender);
        }
    }
    return chosen;
}

void PrintHeader() {
    std::printf("%-7s %5s %6s %6s %5s %4s %9s %8s %8s %8s %9s %6s\n", "sender", "T ms", "frames",
                "whole", "lost", "cut", "mean ms", "p50 ms", "p99 ms", "max ms", "drift ms",
                "cpu %");
}

void RunOne(const Sender& sender, const RunPlan& plan) {
    if (!sender.send) {
        std::printf("%-7s %5d  (not registered: see bench/kiv_loop_sender.cpp)\n",
                    sender.name.c_str(), plan.periodMs);
        return;
    }
    PtyCapture capture;
    capture.Start();
    const std::int64_t cpuBefore = ProcessCpuNs();
    const std::int64_t wallBefore = MonotonicNs();
    try {
        sender.send(capture.slavePath(), plan.periodMs, plan.frames);
    } catch (const std::exception& error) {
        capture.StopAfter(0, 0);
        std::printf("%-7s %5d  failed: %s\n", sender.name.c_str(), plan.periodMs, error.what());
        return;
    }
    const std::int64_t wall = MonotonicNs() - wallBefore;
    const std::int64_t cpu = ProcessCpuNs() - cpuBefore;
    capture.StopAfter(static_cast<std::size_t>(plan.frames) * kFrameBytes, 500);
    // The reading thread belongs to the harness, not to the sender.
    const double cpuPercent = wall > 0 ? 100.0 * static_cast<double>(cpu - capture.readerCpuNs()) /
                                             static_cast<double>(wall)
                                       : 0.0;
    const TimingReport r = Analyse(capture.arrivals(), sender.coding, plan.frames, plan.periodMs);
    std::printf("%-7s %5d %6d %6d %5d %4d %9.4f %8.3f %8.3f %8.3f %9.2f %6.1f\n",
                sender.name.c_str(), plan.periodMs, r.expected, r.received, r.lost, r.cut,
                r.meanPeriodMs, r.p50Ms, r.p99Ms, r.maxMs, r.driftMs, cpuPercent);
    std::fflush(stdout);
}

}  // namespace
}  // namespace kiv::bench

int main(int argc, char** argv) {
    using namespace kiv::bench;
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    QCoreApplication app(argc, argv);
    const auto senders = ChooseSenders(*options);
    PrintHeader();
    for (const auto& plan : options->plans) {
        for (const auto& sender : senders) RunOne(sender, plan);
    }
    std::printf(
        "deviation: |gap between consecutive frames - T|; drift: lateness of the last frame "
        "against the first;\ncpu: the sending process minus the harness's reader thread.\n");
    return 0;
}
