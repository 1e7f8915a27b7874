#include <signal.h>

#include "platform/stop_signals.h"

namespace kiv {
namespace {
volatile sig_atomic_t g_stops = 0;
void OnStop(int) {
    g_stops = g_stops + 1;
}
}  // namespace

void InstallStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

int StopSignalsReceived() {
    return g_stops;
}

}  // namespace kiv
