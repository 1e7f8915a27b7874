// Windows names its serial ports COM1, COM2, ... itself, and those are the
// numbers the window shows. There are no pseudo-terminals; a receiver on the
// same machine uses a null-modem emulator pair instead.
#include "platform/port_naming.h"

namespace kiv {

std::string SystemPortName(int port) {
    return "COM" + std::to_string(port);
}

bool SystemNamesComPorts() {
    return true;
}

bool VirtualPortOffered() {
    return false;
}

}  // namespace kiv
