// kiv-cli: the generator without a window, for scripts and test benches.
// It fills the same controls the window has and runs the same handlers, in
// the order a user would click them.
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "app/real_time_services.h"
#include "app/startup.h"
#include "cli/cli_options.h"
#include "cli/cli_setup.h"
#include "cli/headless.h"
#include "model/errors.h"
#include "platform/device_comm_control.h"
#include "platform/port_naming.h"
#include "platform/pty_port.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "platform/stop_signals.h"
#include "sending/capacity_warning.h"
#include "serial/port_open_close.h"

namespace {

using namespace kiv;

// After a stop signal the frame under way has this long to leave, and the
// line this long to take what is queued; then the program ends, well inside
// a second of the signal.
constexpr std::uint32_t kFrameBudgetMs = 600;
constexpr std::uint32_t kStopDrainMs = 850;
// Should anything still hold the program a moment before the second is up,
// it ends anyway, with what it could not deliver unaccounted.
constexpr auto kHardStop = std::chrono::milliseconds(970);
// After the last frame of a run, the receiver gets this long to read it.
constexpr std::uint32_t kEndDrainMs = 2000;
// A receiver typically sets the line up right after opening it, which may
// flush what is waiting, while a program that only sets the line up (stty)
// opens it and closes it again at once. The first frame goes out once a
// program has held the line open this long.
constexpr std::uint32_t kReceiverHoldMs = 250;
// Bytes written to a pseudo-terminal wait for a kernel worker before the
// receiver's side shows them; on a busy machine that takes tens of
// milliseconds, so the line counts as empty only after this long.
constexpr std::uint32_t kQuietLineMs = 100;

std::atomic<bool> g_finished{false};

void StartHardStop() {
    std::thread([] {
        std::this_thread::sleep_for(kHardStop);
        if (g_finished) return;
        static const char text[] =
            "kiv-cli: stopped: the line held the program past its second; frames dropped\n";
        [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, text, sizeof text - 1);
        _exit(kExitUndelivered);
    }).detach();
}

struct Finished {
    ~Finished() { g_finished = true; }
};

}  // namespace

int main(int argc, char** argv) {
    Finished finished;
    // First, so that even --help into a closed pipe ends with an exit code.
    InstallStopSignals();
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = ParseCliOptions(args);
    // Values in messages come from the user and from files: whatever they
    // hold, a message stays one line that the terminal shows as it is.
    auto err = [](const std::string& text) {
        std::cerr << "kiv-cli: " << OneLine(text) << std::endl;
    };
    if (auto* e = std::get_if<std::string>(&parsed)) {
        err(*e);
        return kExitBadInput;
    }
    const CliOptions& o = std::get<CliOptions>(parsed);
    if (o.help) {
        std::cout << CliUsage();
        return kExitOk;
    }
    if (o.version) {
        std::cout << CliVersion() << std::endl;
        return kExitOk;
    }
    for (const std::string& warning : o.warnings) err("warning: " + warning);
    if (!o.device && !VirtualPortOffered()) {
        err("name the COM port to send on with --device COMn: this system has no virtual port");
        return kExitBadInput;
    }

    // With the log on standard output, everything else goes to standard error.
    const bool logToStdout = o.log && *o.log == "-";
    std::ostream& info = logToStdout ? std::cerr : std::cout;
    FILE* statusStream = logToStdout ? stderr : stdout;
    const bool onTerminal = isatty(fileno(statusStream)) != 0;

    QCoreApplication app(argc, argv);
    Model w;
    w.lampsOnShow = false;  // a run without a window has no lamps to show
    RealTimeServices services;
    SteadyMillisecondClock& clock = services.clock;
    QtYielder& yielder = services.yielder;
    RememberingMessageBox box;

    std::unique_ptr<PtyPort> virtualPort;
    std::unique_ptr<DeviceCommControl> devicePort;
    CommControl* line = nullptr;
    try {
        if (o.device) {
            PortMap map;
            // The start-up choices name COM1; a setup may name another port.
            for (int n = 1; n <= 4; ++n) map.setDevice(n, *o.device);
            devicePort = std::make_unique<DeviceCommControl>(map);
            services.Pace(*devicePort);
            line = devicePort.get();
        } else {
            virtualPort = std::make_unique<PtyPort>();
            services.Pace(*virtualPort);
            line = virtualPort.get();
        }
    } catch (const KivError& e) {
        err(std::string("the virtual port: cannot be created: ") + e.what());
        return kExitPortFailed;
    }

    FrameRecorder recorder(w, *line);
    services.With(&recorder, &box).AttachTo(w);

    StartUp(w);
    if (const auto exit = RunSetupOptions(o, w, err)) return *exit;
    HeadlessRun run{w, recorder, err};

    // What the line still holds has not reached the receiver yet.
    auto pendingBytes = [&]() -> long {
        if (virtualPort) return virtualPort->Queued();
        return static_cast<long>(devicePort->pendingBytes());
    };

    // Stop signals: the loop ends after the frame under way, which gets
    // kFrameBudgetMs to leave; after that it is given up.
    std::optional<std::uint32_t> stopAt;
    long droppedFromQueue = 0;
    // `due`: the frame under way was due within the run (a stop signal), not
    // one that would go out after --seconds.
    auto giveUpFrameUnderWay = [&](bool due) {
        if (recorder.inOutput()) {
            // A real port's queue goes with the frame; the virtual line keeps
            // its bytes for the receiver until the program ends.
            if (devicePort) droppedFromQueue = FramesIn(pendingBytes(), w.slotCount);
            recorder.AbandonFrameUnderWay(due);
        } else {
            w.programEnded = true;  // a frame not due yet is simply not sent
        }
    };
    QTimer frameBudget;
    frameBudget.setSingleShot(true);
    frameBudget.setTimerType(Qt::PreciseTimer);
    QObject::connect(&frameBudget, &QTimer::timeout, [&] { giveUpFrameUnderWay(true); });
    auto onStop = [&] {
        if (stopAt) return;
        stopAt = clock.Now();
        StartHardStop();
        run.stopRequested = true;
        w.isSending = false;
        frameBudget.start(static_cast<int>(kFrameBudgetMs));
    };
    StopSignalWatch stopWatch(onStop);
    auto stopSeen = [&] {
        if (!stopAt && StopSignalsReceived() > 0) onStop();
        return stopAt.has_value();
    };

    if (const int code = run.Prepare(o); code != kExitOk) return code;
    // Only a real device has a rate that limits the line; the virtual port
    // passes bytes at any rate.
    if (o.device) {
        if (const std::string slow = CapacityWarningForConsole(w); !slow.empty()) err(slow);
    }

    // The log is opened (and an earlier one replaced) only once everything
    // else has been accepted.
    std::ofstream logFile;
    if (logToStdout) {
        recorder.setLog(&std::cout);
    } else if (o.log) {
        logFile.open(*o.log, std::ios::out | std::ios::trunc);
        if (!logFile) {
            err("--log " + Quoted(*o.log) + ": cannot be written: " + std::strerror(errno));
            Optionclose_Click(w);
            return kExitBadInput;
        }
        recorder.setLog(&logFile);
    }
    recorder.onLogFailed = [&](const std::string& reason) {
        err("--log " + Quoted(*o.log) + ": cannot be written (" + reason + "); " +
            (recorder.frames() > 0
                 ? "sending stopped after frame " + std::to_string(recorder.frames())
                 : std::string("nothing sent")));
    };

    if (virtualPort) info << "sending on " << virtualPort->SlavePath() << std::endl;
    if (virtualPort) {
        bool held = false;
        std::uint32_t heldSince = 0;
        while (!stopSeen()) {
            if (!virtualPort->ReceiverHolds()) {
                held = false;
            } else if (!held) {
                held = true;
                heldSince = clock.Now();
            } else if (clock.Now() - heldSince >= kReceiverHoldMs) {
                break;
            }
            yielder.YieldUntil(clock.Now() + 10);
        }
    }
    if (stopSeen()) {
        Optionclose_Click(w);
        err(virtualPort
                ? "stopped before a receiver opened " + virtualPort->SlavePath() + "; nothing sent"
                : std::string("stopped before sending; nothing sent"));
        return kExitOk;
    }

    // --seconds: with a period the frames due within it are known exactly;
    // the time limit also holds when the line runs late.
    std::optional<long> limit = o.frames;
    QTimer timeUp;
    if (o.seconds) {
        const double ms = *o.seconds * 1000.0;
        if (w.sendPeriod > 0) {
            const long due = static_cast<long>(std::floor(ms / w.sendPeriod + 1e-9));
            limit = limit ? std::min(*limit, due) : due;
        }
        recorder.setTimeLimitMs(ms);
        timeUp.setSingleShot(true);
        timeUp.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timeUp, &QTimer::timeout, [&] {
            w.isSending = false;
            giveUpFrameUnderWay(false);
        });
        timeUp.start(static_cast<int>(std::floor(ms)) + 1);
    }
    recorder.setFrameLimit(limit);

    std::uint32_t lastShown = clock.Now();
    auto showStatus = [&](const char* end) {
        std::fprintf(statusStream, "\rframes %ld  period mean %.3f ms  worst deviation %.3f ms%s",
                     recorder.frames(), recorder.meanPeriodMs(), recorder.worstDeviationMs(), end);
        std::fflush(statusStream);
    };
    yielder.setBeforeYield([&] {
        stopSeen();
        if (onTerminal && clock.Now() - lastShown >= 250) {
            lastShown = clock.Now();
            showStatus("   ");
        }
    });

    int code = run.Send();
    timeUp.stop();

    // An empty line counts only once it has stayed empty for kQuietLineMs.
    const std::uint32_t endedAt = clock.Now();
    std::uint32_t emptySince = endedAt;
    for (;;) {
        const bool stopped = stopSeen();
        const std::uint32_t since = stopped ? *stopAt : endedAt;
        const std::uint32_t allowed = stopped ? kStopDrainMs : kEndDrainMs;
        if (clock.Now() - since >= allowed) break;
        if (pendingBytes() > 0)
            emptySince = clock.Now();
        else if (clock.Now() - emptySince >= kQuietLineMs)
            break;
        yielder.YieldUntil(clock.Now() + 2);
    }
    const long undelivered =
        recorder.dropped() + droppedFromQueue + FramesIn(pendingBytes(), w.slotCount);
    if (undelivered > 0) {
        // Emptying the queue first keeps a real port's close from waiting.
        try {
            if (w.MSComm1->PortOpen()) w.MSComm1->setOutBufferCount(0);
        } catch (const KivError&) {
        }
    }
    Optionclose_Click(w);
    if (onTerminal) showStatus("\n");
    if (undelivered > 0) {
        err(std::to_string(undelivered) + " frame(s) undelivered and dropped: " +
            (stopAt ? "the line did not take them within a second of the stop signal"
                    : "the receiver did not read them within 2 s of the last frame") +
            " (" + std::to_string(recorder.frames()) + " frames written)");
        if (code == kExitOk) code = kExitUndelivered;
    }
    if (recorder.logFailed() && (code == kExitOk || code == kExitUndelivered))
        code = kExitLogFailed;
    return code;
}
