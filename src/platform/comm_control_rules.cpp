#include "platform/comm_control_rules.h"

#include "model/errors.h"
#include "model/texts.h"
#include "platform/port_map.h"

namespace kiv {
namespace {

[[noreturn]] void RaisePort(const std::string& what) {
    Raise(ErrorKind::Port, what);
}

}  // namespace

void CheckInBufferSize(std::int16_t bytes) {
    if (bytes < 0) RaisePort(Say(TextId::MemberNegative, {"InBufferSize", std::to_string(bytes)}));
}

void CheckOutBufferSize(std::int16_t bytes) {
    if (bytes < 0) RaisePort(Say(TextId::MemberNegative, {"OutBufferSize", std::to_string(bytes)}));
}

void CheckInputMode(std::int32_t mode) {
    if (mode != 0 && mode != 1)
        RaisePort(Say(TextId::MemberNotZeroOrOne, {"InputMode", std::to_string(mode)}));
}

void CheckInputLen(std::int16_t len) {
    if (len < 0) RaisePort(Say(TextId::MemberNegative, {"InputLen", std::to_string(len)}));
}

void CheckInBufferCount(std::int16_t count) {
    if (count != 0)
        RaisePort(Say(TextId::MemberOnlyZero, {"InBufferCount", std::to_string(count)}));
}

void CheckOutBufferCount(std::int16_t count) {
    if (count != 0)
        RaisePort(Say(TextId::MemberOnlyZero, {"OutBufferCount", std::to_string(count)}));
}

void CheckRThreshold(std::int16_t threshold) {
    if (threshold < 0)
        RaisePort(Say(TextId::MemberNegative, {"RThreshold", std::to_string(threshold)}));
}

void CheckCommPort(std::int16_t port) {
    if (port < PortMap::kFirstPort || port > PortMap::kLastPort) {
        RaisePort(Say(TextId::MemberOutOfRange,
                      {"CommPort", std::to_string(port), std::to_string(PortMap::kFirstPort),
                       std::to_string(PortMap::kLastPort)}));
    }
}

LineSettings CheckSettings(const std::string& settings) {
    const auto parsed = ParseLineSettings(settings);
    if (!parsed) RaisePort(Say(TextId::MemberNotLineSettings, {"Settings", settings}));
    return *parsed;
}

std::string PortLabel(int port, const std::string& device) {
    const std::string number = "COM" + std::to_string(port);
    // Windows' own COM3 behind the window's COM3 is one port, named once.
    if (device == number || device == "\\\\.\\" + number) return number;
    return number + " (" + device + ")";
}

}  // namespace kiv
