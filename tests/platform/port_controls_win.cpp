// Windows has one port control: the Win32 one. No device is opened here.
#include "platform/port_controls.h"
#include "platform/win_comm_control.h"

namespace kiv::testing {

std::vector<PortControlKind> PortControlsOfThisSystem() {
    return {{"WinCommControl", [] {
                 return ControlUnderTest{{}, std::make_unique<WinCommControl>()};
             }}};
}

}  // namespace kiv::testing
