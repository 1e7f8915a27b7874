#include "platform/port_map.h"

#include <stdexcept>

#include "platform/comm_control_rules.h"
#include "platform/port_naming.h"

namespace kiv {

PortMap::PortMap() {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        m_devices[Index(port)] = SystemPortName(port);
    }
}

PortMap PortMap::Unassigned() {
    PortMap map;
    map.m_devices = {};
    return map;
}

PortMap PortMap::OneDevice(std::string device) {
    PortMap map;
    map.m_devices.fill(device);
    map.m_oneDevice = true;
    return map;
}

std::size_t PortMap::Index(int port) {
    if (port < kFirstPort || port > kLastPort) {
        throw std::out_of_range("port number " + std::to_string(port) + " is not 1..4");
    }
    return static_cast<std::size_t>(port - kFirstPort);
}

const std::string& PortMap::device(int port) const {
    return m_devices[Index(port)];
}

void PortMap::setDevice(int port, std::string device) {
    m_devices[Index(port)] = std::move(device);
    m_virtual[Index(port)] = false;
    m_oneDevice = false;
}

void PortMap::setVirtual(int port) {
    m_devices[Index(port)].clear();
    m_virtual[Index(port)] = true;
    m_oneDevice = false;
}

std::string PortMap::Label(int port) const {
    return m_oneDevice ? device(port) : PortLabel(port, device(port));
}

std::string PortMap::Describe() const {
    std::string text;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (!text.empty()) text += '\n';
        text += "COM" + std::to_string(port) + ": " + (isVirtual(port) ? "virtual" : device(port));
    }
    return text;
}

std::string ApplyPortMapping(const std::string& value, PortMap& map) {
    const auto equals = value.find('=');
    if (equals == std::string::npos) {
        return "\"" + value + "\" is not of the form COMn=DEVICE";
    }
    const std::string name = value.substr(0, equals);
    const std::string device = value.substr(equals + 1);
    // Exactly "COM" and one digit 1..4, as the window names them; lower case
    // is forgiven because the name is typed on a command line.
    const bool comPrefix = name.size() == 4 && (name[0] == 'C' || name[0] == 'c') &&
                           (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm');
    if (!comPrefix || name[3] < '0' + PortMap::kFirstPort || name[3] > '0' + PortMap::kLastPort) {
        return "\"" + name + "\" is not a port name COM1..COM4";
    }
    if (device.empty()) {
        return "no device given for " + name;
    }
    map.setDevice(name[3] - '0', device);
    return {};
}

}  // namespace kiv
