// Times frame senders against a pty: how close to the period each frame
// reaches the far end, whether any is lost or cut, and what the sending
// costs in CPU and context switches (getrusage). A measuring tool, not a test: run it by hand on a
// quiet machine and compare senders within one run, since absolute figures move with the host's
// load.
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "child_sender.h"
#include "clocks.h"
#include "frame_timing.h"
#include "kiv_loop_sender.h"
#include "pty_capture.h"
#include "senders.h"

namespace kiv::bench {
namespace {

struct Sender {
    std::string name;
    SendFunction send;        // runs in this process
    ChildSendFunction child;  // or as a program of its own
    FrameCoding coding;
    int frameBytes = kFrameBytes;
    // What the program costs to start and stop, sending one frame; taken
    // off its figures, which are meant to show the cost of sending.
    std::optional<Usage> startUp;
};

struct RunPlan {
    int periodMs;
    int frames;
};

struct Options {
    std::vector<RunPlan> plans = {{10, 3000}, {1, 5000}};
    std::vector<std::string> only;  // sender names; empty means all
    int rounds = 1;
    bool plugReference = false;
    std::string cliPath = KIV_CLI_PATH;
    std::string windowPath = KIV_WINDOW_SENDER_PATH;
    int windowSlots = 0;  // 0: the start-up frame
    bool windowNoise = false;
};

const char kUsage[] =
    "usage: kiv_send_timing [--frames N] [--period MS] [--senders a,b,...] [--rounds N]\n"
    "                       [--plug-reference] [--cli PATH] [--window PATH]\n"
    "                       [--window-slots N] [--window-noise]\n"
    "  Without options: 3000 frames at 10 ms, then 5000 frames at 1 ms.\n"
    "  --frames N        frames per run\n"
    "  --period MS       one run at this period (default frames 3000)\n"
    "  --senders LIST    any of qtimer, busy, sleep, pacing, kiv, kiv-cli, window,\n"
    "                    monitor\n"
    "                    (sleep is the reference; pacing the reference paced\n"
    "                    like the program's loop, from a millisecond reading\n"
    "                    after each write; kiv is the program's loop in\n"
    "                    this process with kiv-cli's services; kiv-cli the real\n"
    "                    executable; window the window offscreen with the send\n"
    "                    page in front, monitor the same with the line monitor\n"
    "                    page in front)\n"
    "  --rounds N        run the senders in turn N times and end with each one's\n"
    "                    medians: the host's noise comes and goes within minutes,\n"
    "                    and taking turns spreads it fairly\n"
    "  --plug-reference  run the absolute-sleep sender through the kiv loop's\n"
    "                    registration path, to check the harness's plumbing\n"
    "  --cli PATH        the kiv-cli to run (default: the one built with this)\n"
    "  --window PATH     the kiv_window_sender to run\n"
    "  --window-slots N  window and monitor send N signal slots (1..10) instead\n"
    "                    of the start-up frame\n"
    "  --window-noise    and give each of them noise\n";

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
        } else if (arg == "--rounds" && hasValue) {
            const auto rounds = PositiveNumber(argv[++i]);
            if (!rounds) return std::nullopt;
            options.rounds = *rounds;
        } else if (arg == "--cli" && hasValue) {
            options.cliPath = argv[++i];
        } else if (arg == "--window" && hasValue) {
            options.windowPath = argv[++i];
        } else if (arg == "--window-slots" && hasValue) {
            const auto slotCount = PositiveNumber(argv[++i]);
            if (!slotCount || *slotCount > 10) return std::nullopt;
            options.windowSlots = *slotCount;
        } else if (arg == "--window-noise") {
            options.windowNoise = true;
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
        {"qtimer", SendWithPreciseTimer, nullptr, FrameCoding::Numbered, kFrameBytes, {}},
        {"busy", SendWithBusyWait, nullptr, FrameCoding::Numbered, kFrameBytes, {}},
        {"sleep", SendWithAbsoluteSleep, nullptr, FrameCoding::Numbered, kFrameBytes, {}},
        {"pacing", SendWithLoopPacing, nullptr, FrameCoding::Numbered, kFrameBytes, {}},
    };
    if (options.plugReference) {
        SendFunction plugged = SendWithAbsoluteSleep;
        senders.push_back({"kiv", plugged, nullptr, FrameCoding::Counted, kFrameBytes, {}});
    } else if (auto loop = RegisteredKivLoop()) {
        senders.push_back({"kiv", *loop, nullptr, FrameCoding::Counted, kFrameBytes, {}});
    } else {
        senders.push_back({"kiv", nullptr, nullptr, FrameCoding::Counted, kFrameBytes, {}});
    }
    senders.push_back(
        {"kiv-cli", nullptr, KivCliSender(options.cliPath), FrameCoding::Counted, kFrameBytes, {}});
    const int windowBytes = options.windowSlots > 0 ? options.windowSlots : kFrameBytes;
    for (const char* page : {"send", "monitor"}) {
        senders.push_back(
            {page == std::string("send") ? "window" : "monitor",
             nullptr,
             WindowSender(options.windowPath, page, options.windowSlots, options.windowNoise),
             FrameCoding::Counted,
             windowBytes,
             {}});
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
    std::printf("%-7s %5s %6s %6s %5s %4s %9s %8s %8s %8s %9s %6s %8s %6s %6s\n", "sender", "T ms",
                "frames", "whole", "lost", "cut", "mean ms", "p50 ms", "p99 ms", "max ms",
                "drift ms", "cpu %", "cpu us/f", "vcsw/f", "icsw/f");
}

// The least a program costs to start, send one frame and stop, over a few
// tries: the fixed part of a child sender's figures.
Usage MeasureStartUp(const Sender& sender) {
    std::optional<Usage> least;
    for (int i = 0; i < 3; ++i) {
        PtyCapture capture;
        capture.Start();
        const Usage used = sender.child(capture.slavePath(), 1, 1);
        capture.StopAfter(static_cast<std::size_t>(sender.frameBytes), 500);
        if (!least) {
            least = used;
        } else {
            least->cpuNs = std::min(least->cpuNs, used.cpuNs);
            least->voluntarySwitches = std::min(least->voluntarySwitches, used.voluntarySwitches);
            least->involuntarySwitches =
                std::min(least->involuntarySwitches, used.involuntarySwitches);
        }
    }
    return *least;
}

// One line of the table.
struct Row {
    TimingReport r;
    double cpuPercent = 0;
    double cpuUsPerFrame = 0;
    double voluntaryPerFrame = 0;
    double involuntaryPerFrame = 0;
};

void PrintRow(const std::string& name, int periodMs, const Row& row) {
    const TimingReport& r = row.r;
    std::printf("%-7s %5d %6d %6d %5d %4d %9.4f %8.3f %8.3f %8.3f %9.2f %6.2f %8.1f %6.2f %6.2f\n",
                name.c_str(), periodMs, r.expected, r.received, r.lost, r.cut, r.meanPeriodMs,
                r.p50Ms, r.p99Ms, r.maxMs, r.driftMs, row.cpuPercent, row.cpuUsPerFrame,
                row.voluntaryPerFrame, row.involuntaryPerFrame);
    std::fflush(stdout);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Over several rounds: frames counted over all of them, every other figure
// the median of the rounds'.
Row MedianRow(const std::vector<Row>& rows) {
    Row m;
    auto median = [&](auto field) {
        std::vector<double> values;
        for (const Row& row : rows) values.push_back(field(row));
        return Median(values);
    };
    for (const Row& row : rows) {
        m.r.expected += row.r.expected;
        m.r.received += row.r.received;
        m.r.lost += row.r.lost;
        m.r.cut += row.r.cut;
    }
    m.r.meanPeriodMs = median([](const Row& x) { return x.r.meanPeriodMs; });
    m.r.p50Ms = median([](const Row& x) { return x.r.p50Ms; });
    m.r.p99Ms = median([](const Row& x) { return x.r.p99Ms; });
    m.r.maxMs = median([](const Row& x) { return x.r.maxMs; });
    m.r.driftMs = median([](const Row& x) { return x.r.driftMs; });
    m.cpuPercent = median([](const Row& x) { return x.cpuPercent; });
    m.cpuUsPerFrame = median([](const Row& x) { return x.cpuUsPerFrame; });
    m.voluntaryPerFrame = median([](const Row& x) { return x.voluntaryPerFrame; });
    m.involuntaryPerFrame = median([](const Row& x) { return x.involuntaryPerFrame; });
    return m;
}

std::optional<Row> RunOne(Sender& sender, const RunPlan& plan) {
    if (!sender.send && !sender.child) {
        std::printf("%-7s %5d  (not registered: see bench/kiv_loop_sender.cpp)\n",
                    sender.name.c_str(), plan.periodMs);
        return std::nullopt;
    }
    Usage used;
    std::int64_t wall = 0;
    PtyCapture capture;
    try {
        if (sender.child && !sender.startUp) sender.startUp = MeasureStartUp(sender);
        capture.Start();
        const Usage before = ProcessUsage();
        const std::int64_t wallBefore = MonotonicNs();
        if (sender.child) {
            used = sender.child(capture.slavePath(), plan.periodMs, plan.frames) - *sender.startUp;
        } else {
            sender.send(capture.slavePath(), plan.periodMs, plan.frames);
            used = ProcessUsage() - before;
        }
        wall = MonotonicNs() - wallBefore;
    } catch (const std::exception& error) {
        capture.StopAfter(0, 0);
        std::printf("%-7s %5d  failed: %s\n", sender.name.c_str(), plan.periodMs, error.what());
        return std::nullopt;
    }
    capture.StopAfter(
        static_cast<std::size_t>(plan.frames) * static_cast<std::size_t>(sender.frameBytes), 500);
    // The reading thread belongs to the harness, not to the sender.
    if (!sender.child) used = used - capture.readerUsage();
    Row row;
    row.r =
        Analyse(capture.arrivals(), sender.coding, plan.frames, plan.periodMs, sender.frameBytes);
    // A program's own start-up is taken off its CPU; so is its time.
    if (sender.child) wall = static_cast<std::int64_t>(row.r.meanPeriodMs * 1e6 * plan.frames);
    row.cpuPercent =
        wall > 0 ? 100.0 * static_cast<double>(used.cpuNs) / static_cast<double>(wall) : 0.0;
    const double perFrame = plan.frames > 0 ? 1.0 / plan.frames : 0.0;
    row.cpuUsPerFrame = static_cast<double>(used.cpuNs) / 1e3 * perFrame;
    row.voluntaryPerFrame = static_cast<double>(used.voluntarySwitches) * perFrame;
    row.involuntaryPerFrame = static_cast<double>(used.involuntarySwitches) * perFrame;
    PrintRow(sender.name, plan.periodMs, row);
    return row;
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
    auto senders = ChooseSenders(*options);
    PrintHeader();
    for (const auto& plan : options->plans) {
        std::vector<std::vector<Row>> rows(senders.size());
        for (int round = 0; round < options->rounds; ++round) {
            for (std::size_t i = 0; i < senders.size(); ++i) {
                if (auto row = RunOne(senders[i], plan)) rows[i].push_back(*row);
            }
        }
        if (options->rounds == 1) continue;
        std::printf("medians of %d rounds (frames, whole, lost and cut: their sums)\n",
                    options->rounds);
        for (std::size_t i = 0; i < senders.size(); ++i) {
            if (!rows[i].empty()) PrintRow(senders[i].name, plan.periodMs, MedianRow(rows[i]));
        }
    }
    std::printf(
        "deviation: |gap between consecutive frames - T|; drift: lateness of the last frame "
        "against the first;\ncpu, vcsw (voluntary) and icsw (involuntary context switches): "
        "getrusage of the sending\nprocess minus the harness's reader thread; kiv-cli and window "
        "run as programs of their own,\nless what starting, sending one frame and stopping cost "
        "them (the least of three tries).\n");
    return 0;
}
