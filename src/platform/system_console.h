#pragma once

#include <string>

namespace kiv {

// Whether device is a console the system is using now: the kernel writes
// its messages there and a login prompt may read from it, so binary frames
// sent to it would land in both. True when, under systemRoot (the real
// root, or a test's folder standing in for it), the device's
// sys/class/tty/<name>/console reads Y, or <name> is one of those in
// sys/class/tty/console/active, or proc/cmdline names it with console=.
// <name> is the last element of the path the device resolves to (ttyS0 for
// /dev/ttyS0, ttyAMA0 for a /dev/serial0 link).
bool IsSystemConsole(const std::string& device, const std::string& systemRoot = "/");

}  // namespace kiv
