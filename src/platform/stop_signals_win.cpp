// Ctrl+C, Ctrl+Break and closing the console, logging off or shutting down
// reach a console program as control events, on a thread the system starts
// for each. They raise the same flag SIGINT and SIGTERM raise elsewhere and
// set an event the window thread's event loop watches.
#include <windows.h>

#include <QWinEventNotifier>
#include <atomic>

#include "platform/stop_signals.h"

namespace kiv {
namespace {

std::atomic<int> g_stops{0};
HANDLE g_wake = nullptr;
// Set once the program is ending, so a console close can let it finish.
HANDLE g_finished = nullptr;
// Windows ends the program when the handler of a close, log-off or
// shut-down event returns, and at the latest after 5 s; the program needs
// about a second to end its frame and close the port.
constexpr DWORD kCloseGraceMs = 4500;

struct FinishedAtExit {
    ~FinishedAtExit() {
        if (g_finished != nullptr) SetEvent(g_finished);
    }
};
FinishedAtExit g_finishedAtExit;

BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            ++g_stops;
            if (g_wake != nullptr) SetEvent(g_wake);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            ++g_stops;
            if (g_wake != nullptr) SetEvent(g_wake);
            if (g_finished != nullptr) WaitForSingleObject(g_finished, kCloseGraceMs);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void InstallStopSignals() {
    if (g_wake == nullptr) g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g_finished == nullptr) g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

int StopSignalsReceived() {
    return g_stops.load();
}

struct StopSignalWatch::System {
    std::unique_ptr<QWinEventNotifier> notifier;
};

StopSignalWatch::StopSignalWatch(std::function<void()> onStop)
    : m_system(std::make_unique<System>()) {
    if (g_wake == nullptr) return;
    // An auto-reset event: the wait that sees it also clears it.
    m_system->notifier = std::make_unique<QWinEventNotifier>(g_wake);
    QObject::connect(m_system->notifier.get(), &QWinEventNotifier::activated,
                     m_system->notifier.get(), [onStop = std::move(onStop)] { onStop(); });
}

StopSignalWatch::~StopSignalWatch() = default;

}  // namespace kiv
