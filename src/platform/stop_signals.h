#pragma once

namespace kiv {

// SIGINT and SIGTERM only raise a flag; the send loop looks at it between
// clock readings, so the frame under way always completes.
void InstallStopSignals();
// How many stop signals have arrived so far.
int StopSignalsReceived();

}  // namespace kiv
