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

// Windows takes "com5" for COM5; the program's own lists and messages write
// COM names in capitals, so the typed name is written that way too.
std::string TypedDeviceName(const std::string& typed) {
    const std::size_t start = typed.rfind("\\\\.\\", 0) == 0 ? 4 : 0;
    if (typed.size() < start + 4) return typed;
    std::string name = typed;
    for (std::size_t i = start; i < start + 3; ++i)
        if (name[i] >= 'a' && name[i] <= 'z') name[i] = static_cast<char>(name[i] - 'a' + 'A');
    return name.compare(start, 3, "COM") == 0 ? name : typed;
}

}  // namespace kiv
