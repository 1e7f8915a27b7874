#include "cli/cli_run.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

#include "app/startup.h"
#include "cli/cli_setup.h"
#include "cli/exit_codes.h"
#include "model/errors.h"
#include "model/texts.h"
#include "model/utf8.h"
#include "platform/log_stream.h"
#include "platform/program_io.h"
#include "platform/stop_signals.h"
#include "sending/capacity_warning.h"
#include "serial/port_open_close.h"

namespace kiv {
namespace {

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
        EndAtOnce("kiv-cli: stopped: the line held the program past its second; frames dropped\n",
                  kExitUndelivered);
    }).detach();
}

}  // namespace

HardStopGuard::~HardStopGuard() {
    g_finished = true;
}

CliRun::CliRun(const CliOptions& o, std::function<void(const std::string&)> err)
    : m_o(o),
      m_err(std::move(err)),
      m_logToStdout(o.log && *o.log == "-"),
      m_info(m_logToStdout ? std::cerr : std::cout),
      m_statusStream(m_logToStdout ? stderr : stdout),
      m_onTerminal(IsTerminal(m_statusStream)) {
    m_w.lampsOnShow = false;  // a run without a window has no lamps to show
}

CliRun::~CliRun() = default;

int CliRun::Exec() {
    if (const auto exit = MakePort()) return *exit;
    CommControl* line = m_virtualPort ? static_cast<CommControl*>(m_virtualPort.get())
                                      : static_cast<CommControl*>(m_devicePort.get());
    m_recorder = std::make_unique<FrameRecorder>(m_w, *line);
    m_services.With(m_recorder.get(), &m_box).AttachTo(m_w);

    StartUp(m_w);
    if (const auto exit = RunSetupOptions(m_o, m_w, m_err)) return *exit;
    m_run = std::make_unique<HeadlessRun>(HeadlessRun{m_w, *m_recorder, m_err});
    WatchStopSignals();

    if (const int code = m_run->Prepare(m_o); code != kExitOk) return code;
    // Only a real device has a rate that limits the line; the virtual port
    // passes bytes at any rate.
    if (m_o.device) {
        if (const std::string slow = CapacityWarningForConsole(m_w); !slow.empty()) m_err(slow);
    }
    if (const auto exit = OpenLog()) return *exit;
    if (const auto exit = WaitForReceiver()) return *exit;

    LimitTheRun();
    ShowStatusWhileSending();
    const int code = m_run->Send();
    m_timeUp.stop();
    return DrainAndClose(code);
}

std::optional<int> CliRun::MakePort() {
    try {
        if (m_o.device || m_o.writeSetup) {
            // The start-up choices name COM1; a setup may name another port.
            // --write-setup alone opens nothing, so no port is needed.
            m_devicePort = std::make_unique<DeviceCommControl>(
                m_o.device ? PortMap::OneDevice(*m_o.device) : PortMap());
            m_services.Pace(*m_devicePort);
        } else {
            m_virtualPort = std::make_unique<PtyPort>();
            m_services.Pace(*m_virtualPort);
        }
    } catch (const KivError& e) {
        m_err(std::string("the virtual port: cannot be created: ") + e.what());
        return kExitPortFailed;
    }
    return std::nullopt;
}

long CliRun::PendingBytes() const {
    if (m_virtualPort) return m_virtualPort->Queued();
    return static_cast<long>(m_devicePort->pendingBytes());
}

void CliRun::GiveUpFrameUnderWay(bool due) {
    if (m_recorder->inOutput()) {
        // A real port's queue goes with the frame; the virtual line keeps
        // its bytes for the receiver until the program ends.
        if (m_devicePort) m_droppedFromQueue = FramesIn(PendingBytes(), FrameLength(m_w));
        m_recorder->AbandonFrameUnderWay(due);
    } else {
        m_w.programEnded = true;  // a frame not due yet is simply not sent
    }
}

// Stop signals: the loop ends after the frame under way, which gets
// kFrameBudgetMs to leave; after that it is given up.
void CliRun::WatchStopSignals() {
    m_frameBudget.setSingleShot(true);
    m_frameBudget.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_frameBudget, &QTimer::timeout, [this] { GiveUpFrameUnderWay(true); });
    m_stopWatch = std::make_unique<StopSignalWatch>([this] { OnStop(); });
}

void CliRun::OnStop() {
    if (m_stopAt) return;
    m_stopAt = m_services.clock.Now();
    StartHardStop();
    m_run->stopRequested = true;
    m_w.isSending = false;
    m_frameBudget.start(static_cast<int>(kFrameBudgetMs));
}

bool CliRun::StopSeen() {
    if (!m_stopAt && StopSignalsReceived() > 0) OnStop();
    return m_stopAt.has_value();
}

// The log is opened (and an earlier one replaced) only once everything
// else has been accepted; opening it never waits. Standard output, a pipe
// that a program reads and the null device are written straight; a file
// goes by the rules of the window's recording (OpenLogFile), which also
// refuse anything else standing at the path.
std::optional<int> CliRun::OpenLog() {
    if (m_logToStdout) {
        m_recorder->setLog(&std::cout);
    } else if (m_o.log) {
        const auto refuse = [this](const std::string& reason) {
            m_err("--log " + Quoted(*m_o.log) + ": cannot be written: " + reason);
            Optionclose_Click(m_w);
            return kExitBadInput;
        };
        LogStream stream = OpenLogStream(*m_o.log);
        if (auto* refusal = std::get_if<std::string>(&stream)) return refuse(*refusal);
        if (auto* opened = std::get_if<std::unique_ptr<std::ostream>>(&stream)) {
            m_logStream = std::move(*opened);
            m_recorder->setLog(m_logStream.get());
        } else {
            auto file = OpenLogFile(*m_o.log, LogColumnsOf(m_w.slotCount, m_w.frameFormat));
            if (auto* refusal = std::get_if<std::string>(&file)) {
                // The refusal starts with the path, which the message names.
                const std::string named = *m_o.log + ": ";
                return refuse(refusal->rfind(named, 0) == 0 ? refusal->substr(named.size())
                                                            : *refusal);
            }
            m_recorder->setLogFile(std::move(std::get<std::unique_ptr<FrameLog>>(file)));
        }
    }
    m_recorder->onLogFailed = [this](const std::string& reason) {
        m_err("--log " + Quoted(*m_o.log) + ": cannot be written (" + reason + "); " +
              (m_recorder->frames() > 0
                   ? "sending stopped after frame " + std::to_string(m_recorder->frames())
                   : std::string("nothing sent")));
    };
    return std::nullopt;
}

std::optional<int> CliRun::WaitForReceiver() {
    SteadyMillisecondClock& clock = m_services.clock;
    if (m_virtualPort) {
        m_info << "sending on " << m_virtualPort->SlavePath() << std::endl;
        bool held = false;
        std::uint32_t heldSince = 0;
        while (!StopSeen()) {
            if (!m_virtualPort->ReceiverHolds()) {
                held = false;
            } else if (!held) {
                held = true;
                heldSince = clock.Now();
            } else if (clock.Now() - heldSince >= kReceiverHoldMs) {
                break;
            }
            m_services.yielder.YieldUntil(clock.Now() + 10);
        }
    }
    if (StopSeen()) {
        Optionclose_Click(m_w);
        m_err(m_virtualPort ? "stopped before a receiver opened " + m_virtualPort->SlavePath() +
                                  "; nothing sent"
                            : std::string("stopped before sending; nothing sent"));
        return kExitOk;
    }
    return std::nullopt;
}

// --seconds: with a period the frames due within it are known exactly;
// the time limit also holds when the line runs late.
void CliRun::LimitTheRun() {
    std::optional<long> limit = m_o.frames;
    if (m_o.seconds) {
        const double ms = *m_o.seconds * 1000.0;
        if (m_w.sendPeriod > 0) {
            const long due = static_cast<long>(std::floor(ms / m_w.sendPeriod + 1e-9));
            limit = limit ? std::min(*limit, due) : due;
        }
        m_recorder->setTimeLimitMs(ms);
        m_timeUp.setSingleShot(true);
        m_timeUp.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timeUp, &QTimer::timeout, [this] {
            m_w.isSending = false;
            GiveUpFrameUnderWay(false);
        });
        m_timeUp.start(static_cast<int>(std::floor(ms)) + 1);
    }
    m_recorder->setFrameLimit(limit);
}

void CliRun::ShowStatus(const char* end) {
    std::fprintf(m_statusStream, "\rframes %ld  period mean %.3f ms  worst deviation %.3f ms%s",
                 m_recorder->frames(), m_recorder->meanPeriodMs(), m_recorder->worstDeviationMs(),
                 end);
    std::fflush(m_statusStream);
}

void CliRun::ShowStatusWhileSending() {
    m_lastShown = m_services.clock.Now();
    m_services.yielder.setBeforeYield([this] {
        StopSeen();
        if (m_onTerminal && m_services.clock.Now() - m_lastShown >= 250) {
            m_lastShown = m_services.clock.Now();
            ShowStatus("   ");
        }
    });
}

int CliRun::DrainAndClose(int code) {
    SteadyMillisecondClock& clock = m_services.clock;
    // An empty line counts only once it has stayed empty for kQuietLineMs.
    const std::uint32_t endedAt = clock.Now();
    std::uint32_t emptySince = endedAt;
    for (;;) {
        const bool stopped = StopSeen();
        const std::uint32_t since = stopped ? *m_stopAt : endedAt;
        const std::uint32_t allowed = stopped ? kStopDrainMs : kEndDrainMs;
        if (clock.Now() - since >= allowed) break;
        if (PendingBytes() > 0)
            emptySince = clock.Now();
        else if (clock.Now() - emptySince >= kQuietLineMs)
            break;
        m_services.yielder.YieldUntil(clock.Now() + 2);
    }
    // Frames handed to the line that had not gone through it, and the one
    // given up before the line took it: the report's figures add up.
    const long inLine = std::min(m_droppedFromQueue + FramesIn(PendingBytes(), FrameLength(m_w)),
                                 m_recorder->frames());
    const long underWay = std::min(m_recorder->dropped(), 1L);
    const long undelivered = inLine + underWay;
    if (undelivered > 0) {
        // Emptying the queue first keeps a real port's close from waiting.
        try {
            if (m_w.MSComm1->PortOpen()) m_w.MSComm1->setOutBufferCount(0);
        } catch (const KivError&) {
        }
    }
    Optionclose_Click(m_w);
    if (m_onTerminal) ShowStatus("\n");
    if (undelivered > 0) {
        m_err(UndeliveredReport(
            m_recorder->frames(), inLine, underWay,
            m_stopAt ? "the line did not take them within a second of the stop signal"
                     : "the receiver did not read them within 2 s of the last frame"));
        if (code == kExitOk) code = kExitUndelivered;
    }
    if (m_recorder->logFailed() && (code == kExitOk || code == kExitUndelivered))
        code = kExitLogFailed;
    return code;
}

}  // namespace kiv
