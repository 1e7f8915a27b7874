#include "platform/port_naming.h"

namespace kiv {

std::string SystemPortName(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}

bool SystemNamesComPorts() {
    return false;
}

bool VirtualPortOffered() {
    return true;
}

std::string TypedDeviceName(const std::string& typed) {
    if (typed.empty() || typed.front() == '/') return typed;
    return "/dev/" + typed;
}

}  // namespace kiv
