#pragma once

#include <string>

namespace kiv {

// How this system names its serial ports, for everything that turns the
// window's COM numbers into devices.

// The device COM number `port` (1..4) stands for when nothing else is said:
// the on-board UARTs /dev/ttyS0../dev/ttyS3 on Linux, the system's own
// COM1..COM4 where the system itself names ports that way.
std::string SystemPortName(int port);

// True where the system's own port names are the COM numbers: there a
// number keeps meaning the system's port of that name until the user
// assigns another device to it, and new devices are not given numbers by
// themselves.
bool SystemNamesComPorts();

// True where the program can make a virtual port (a pseudo-terminal) for a
// receiver on the same machine.
bool VirtualPortOffered();

// The device a name the user typed stands for. A bare name is a device
// under /dev on Linux ("ttyUSB0"), a COM port on Windows ("com5" is COM5,
// as Windows itself takes it); a full path is kept as typed.
std::string TypedDeviceName(const std::string& typed);

}  // namespace kiv
