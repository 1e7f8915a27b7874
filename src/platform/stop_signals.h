#pragma once

namespace kiv {

// SIGINT and SIGTERM only raise a flag; the program looks at it between
// clock readings, so the frame under way always completes. A write to a
// pipe whose reader has gone fails with an error instead of ending the
// program.
void InstallStopSignals();
// How many stop signals have arrived so far.
int StopSignalsReceived();
// A descriptor that becomes readable with every stop signal, so that an
// event loop asleep in a long wait wakes for it (watch it with a socket
// notifier and read it empty); -1 before InstallStopSignals.
int StopSignalWakeFd();

}  // namespace kiv
