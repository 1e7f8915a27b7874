#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "platform/stop_signals.h"

namespace kiv {
namespace {
volatile sig_atomic_t g_stops = 0;
// A pipe that becomes readable with every stop signal: the event loop
// watches its reading end.
int g_wake[2] = {-1, -1};

void OnStop(int) {
    const int saved = errno;
    g_stops = g_stops + 1;
    if (g_wake[1] >= 0) {
        const char byte = 1;
        // A full pipe already wakes the reader; the byte may be dropped.
        [[maybe_unused]] const ssize_t n = write(g_wake[1], &byte, 1);
    }
    errno = saved;
}
}  // namespace

void InstallStopSignals() {
    if (g_wake[0] < 0 && pipe2(g_wake, O_NONBLOCK | O_CLOEXEC) != 0) g_wake[0] = g_wake[1] = -1;
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // The terminal closing (SIGHUP) ends the run in order as well, with its
    // count of what was not delivered; a program started to outlive its
    // terminal (nohup) keeps ignoring it.
    struct sigaction hangUp {};
    if (sigaction(SIGHUP, nullptr, &hangUp) != 0 || hangUp.sa_handler != SIG_IGN)
        sigaction(SIGHUP, &sa, nullptr);
    // A reader that goes away (a pipe into `head`) makes the write fail
    // instead of ending the program: the program reports it and ends its
    // run in order, with the frame under way finished.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

int StopSignalsReceived() {
    return g_stops;
}

struct StopSignalWatch::System {
    std::unique_ptr<QSocketNotifier> notifier;
};

StopSignalWatch::StopSignalWatch(std::function<void()> onStop)
    : m_system(std::make_unique<System>()) {
    if (g_wake[0] < 0) return;
    m_system->notifier = std::make_unique<QSocketNotifier>(g_wake[0], QSocketNotifier::Read);
    QObject::connect(m_system->notifier.get(), &QSocketNotifier::activated,
                     m_system->notifier.get(), [onStop = std::move(onStop)] {
                         char drained[64];
                         while (read(g_wake[0], drained, sizeof drained) > 0) {
                         }
                         onStop();
                     });
}

StopSignalWatch::~StopSignalWatch() = default;

}  // namespace kiv
