// kiv-cli: the generator without a window, for scripts and test benches.
// It fills the same controls the window has and runs the same handlers, in
// the order a user would click them.
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "app/startup.h"
#include "cli/cli_options.h"
#include "cli/cli_setup.h"
#include "cli/headless.h"
#include "model/errors.h"
#include "platform/pty_port.h"
#include "platform/qt_comm_control.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "platform/stop_signals.h"
#include "signal/time_seeded_random.h"

int main(int argc, char** argv) {
    using namespace kiv;
    std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = ParseCliOptions(args);
    auto err = [](const std::string& text) { std::cerr << "kiv-cli: " << text << std::endl; };
    if (auto* e = std::get_if<std::string>(&parsed)) {
        err(*e);
        return kExitBadInput;
    }
    const CliOptions& o = std::get<CliOptions>(parsed);
    if (o.help) {
        std::cout << CliUsage();
        return kExitOk;
    }

    QCoreApplication app(argc, argv);
    Model w;
    SteadyMillisecondClock clock;
    QtYielder yielder;
    TimeSeededRandom random;
    PrintingMessageBox box(err);

    std::unique_ptr<PtyPort> virtualPort;
    std::unique_ptr<QtCommControl> devicePort;
    CommControl* line = nullptr;
    try {
        if (o.device) {
            PortMap map;
            // The start-up choices name COM1; a setup may name another port.
            for (int n = 1; n <= 4; ++n) map.setDevice(n, *o.device);
            devicePort = std::make_unique<QtCommControl>(map);
            devicePort->setYielder(&yielder, &clock);
            line = devicePort.get();
        } else {
            virtualPort = std::make_unique<PtyPort>();
            virtualPort->setYielder(&yielder, &clock);
            line = virtualPort.get();
        }
    } catch (const KivError& e) {
        err(e.what());
        return kExitLineLost;
    }

    FrameRecorder recorder(w, *line);
    w.messageBox = &box;
    w.clock = &clock;
    w.yielder = &yielder;
    w.random = &random;
    w.MSComm1 = &recorder;

    std::ofstream log;
    if (o.log) {
        log.open(*o.log, std::ios::out | std::ios::trunc);
        if (!log) {
            err("--log " + *o.log + ": cannot write the file");
            return kExitBadInput;
        }
        recorder.setLog(&log);
    }
    recorder.setFrameLimit(o.frames);

    StartUp(w);
    if (const auto exit = RunSetupOptions(o, w, err)) return *exit;
    HeadlessRun run{w, recorder, err};
    InstallStopSignals();
    if (!run.Prepare(o)) return kExitBadInput;

    if (virtualPort) {
        std::cout << "sending on " << virtualPort->SlavePath() << std::endl;
    }
    const bool onTerminal = isatty(STDOUT_FILENO) != 0;
    const std::uint32_t started = clock.Now();
    std::uint32_t lastShown = started;
    int stopsHandled = 0;
    yielder.setBeforeYield([&] {
        const int stops = StopSignalsReceived();
        const bool timeUp = o.seconds && (clock.Now() - started) >= *o.seconds * 1000.0;
        if ((stops > stopsHandled || timeUp) && !run.stopRequested) {
            run.stopRequested = true;
            w.isSending = false;
        }
        // A second signal while a write waits for a receiver that never
        // reads: give up the frame rather than hang.
        if (stops >= 2 && stops > stopsHandled && w.MSComm1->PortOpen())
            w.MSComm1->setPortOpen(false);
        stopsHandled = stops;
        if (onTerminal && clock.Now() - lastShown >= 250) {
            lastShown = clock.Now();
            std::printf("\rframes %ld  period mean %.3f ms  worst deviation %.3f ms   ",
                        recorder.frames(), recorder.meanPeriodMs(), recorder.worstDeviationMs());
            std::fflush(stdout);
        }
    });
    const int code = run.Send();
    // The last frames may still wait in the virtual line for the receiver.
    if (virtualPort) virtualPort->Drain(2000);
    if (onTerminal)
        std::printf("\rframes %ld  period mean %.3f ms  worst deviation %.3f ms\n",
                    recorder.frames(), recorder.meanPeriodMs(), recorder.worstDeviationMs());
    return code;
}
