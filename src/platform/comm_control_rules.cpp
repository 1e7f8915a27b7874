#include "platform/comm_control_rules.h"

#include "model/errors.h"
#include "platform/port_map.h"

namespace kiv {
namespace {

[[noreturn]] void RaisePort(const std::string& what) {
    Raise(ErrorKind::Port, what);
}

}  // namespace

void CheckInBufferSize(std::int16_t bytes) {
    if (bytes < 0) RaisePort("InBufferSize " + std::to_string(bytes) + " is negative");
}

void CheckOutBufferSize(std::int16_t bytes) {
    if (bytes < 0) RaisePort("OutBufferSize " + std::to_string(bytes) + " is negative");
}

void CheckInputMode(std::int32_t mode) {
    if (mode != 0 && mode != 1) RaisePort("InputMode " + std::to_string(mode) + " is not 0 or 1");
}

void CheckInputLen(std::int16_t len) {
    if (len < 0) RaisePort("InputLen " + std::to_string(len) + " is negative");
}

void CheckInBufferCount(std::int16_t count) {
    if (count != 0) RaisePort("InBufferCount can only be set to 0, not " + std::to_string(count));
}

void CheckOutBufferCount(std::int16_t count) {
    if (count != 0) RaisePort("OutBufferCount can only be set to 0, not " + std::to_string(count));
}

void CheckRThreshold(std::int16_t threshold) {
    if (threshold < 0) RaisePort("RThreshold " + std::to_string(threshold) + " is negative");
}

void CheckCommPort(std::int16_t port) {
    if (port < PortMap::kFirstPort || port > PortMap::kLastPort) {
        RaisePort("CommPort " + std::to_string(port) + " is not 1..4");
    }
}

LineSettings CheckSettings(const std::string& settings) {
    const auto parsed = ParseLineSettings(settings);
    if (!parsed) RaisePort("Settings \"" + settings + "\" are not baud,parity,data,stop");
    return *parsed;
}

std::string PortLabel(int port, const std::string& device) {
    const std::string number = "COM" + std::to_string(port);
    // Windows' own COM3 behind the window's COM3 is one port, named once.
    if (device == number || device == "\\\\.\\" + number) return number;
    return number + " (" + device + ")";
}

}  // namespace kiv
