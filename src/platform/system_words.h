#pragma once

#include <string>

namespace kiv {

// Words of this system that help texts use, so that each system's users
// read their own: how they name a serial device, and how they stop a
// program that runs in a terminal.

// "/dev/ttyUSB0" on Linux, "COM3" on Windows.
std::string ExampleDeviceName();
// A few of them, the longer forms included.
std::string ExampleDeviceNames();
// "SIGINT, SIGTERM or SIGHUP"; "Ctrl+C or Ctrl+Break".
std::string StopRequestNames();

}  // namespace kiv
