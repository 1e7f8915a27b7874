// Ctrl+C, Ctrl+Break and closing the console, logging off or shutting down
// reach a console program as control events, on a thread the system starts
// for each. They raise the same flag SIGINT and SIGTERM raise elsewhere,
// and queue a routine to the program's main thread, which runs it in the
// alertable wait Qt's event loop sleeps in: the watch's callback runs there
// and the wait ends, as a stop signal's pipe ends it elsewhere.
#include <windows.h>

#include <QAbstractEventDispatcher>
#include <atomic>

#include "platform/stop_signals.h"

namespace kiv {
namespace {

std::atomic<int> g_stops{0};
// The thread that installed the handler: the one whose event loop watches.
HANDLE g_mainThread = nullptr;
// Set once the program is ending, so a console close can let it finish.
HANDLE g_finished = nullptr;
// Windows ends the program when the handler of a close, log-off or
// shut-down event returns, and at the latest after 5 s; the program needs
// about a second to end its frame and close the port.
constexpr DWORD kCloseGraceMs = 4500;

// The watch in force; touched only on the main thread.
std::function<void()>* g_onStop = nullptr;

struct FinishedAtExit {
    ~FinishedAtExit() {
        if (g_finished != nullptr) SetEvent(g_finished);
    }
};
FinishedAtExit g_finishedAtExit;

// Runs on the main thread.
void CALLBACK WakeMainThread(ULONG_PTR) {
    if (g_onStop != nullptr && *g_onStop) (*g_onStop)();
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

BOOL WINAPI OnControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    ++g_stops;
    if (g_mainThread != nullptr) QueueUserAPC(WakeMainThread, g_mainThread, 0);
    // The program ends when this returns; give it its second to stop.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && g_finished != nullptr)
        WaitForSingleObject(g_finished, kCloseGraceMs);
    return TRUE;
}

}  // namespace

void InstallStopSignals() {
    if (g_mainThread == nullptr) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_mainThread,
                        0, FALSE, DUPLICATE_SAME_ACCESS);
    }
    if (g_finished == nullptr) g_finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

int StopSignalsReceived() {
    return g_stops.load();
}

struct StopSignalWatch::System {
    std::function<void()> onStop;
};

StopSignalWatch::StopSignalWatch(std::function<void()> onStop)
    : m_system(std::make_unique<System>()) {
    m_system->onStop = std::move(onStop);
    g_onStop = &m_system->onStop;
}

StopSignalWatch::~StopSignalWatch() {
    if (g_onStop == &m_system->onStop) g_onStop = nullptr;
}

}  // namespace kiv
