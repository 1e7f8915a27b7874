#pragma once

#include <array>
#include <string>

#include "model/form.h"

namespace kiv {

// Which device each of the window's port numbers COM1..COM4 opens. The
// window only knows the numbers; on this platform the devices have other
// names, so the mapping is ours to choose and the user may override it.
class PortMap {
  public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = kPortCount;

    // COM1..COM4 open the system's own ports of those numbers: the on-board
    // serial ports /dev/ttyS0../dev/ttyS3 on Linux, COM1..COM4 on Windows.
    PortMap();
    // No device for any number: what the assigned devices are filled into.
    static PortMap Unassigned();
    // Every number opens `device`, and messages name that device alone: a
    // user who named one device (kiv-cli's --device) knows no port number,
    // and where devices are COM names, "COM1 (COM13)" would name a second,
    // real port.
    static PortMap OneDevice(std::string device);

    // port is 1..4; anything else is a programming error and throws
    // std::out_of_range.
    const std::string& device(int port) const;
    // Also ends a virtual port at that number.
    void setDevice(int port, std::string device);
    // The port is a pseudo-terminal the program creates when it opens.
    bool isVirtual(int port) const { return m_virtual[Index(port)]; }
    void setVirtual(int port);

    // One line per port, "COM1: /dev/ttyS0", for a tooltip.
    std::string Describe() const;
    // How messages name the port at number `port`: "COM1 (/dev/ttyUSB0)";
    // the device alone when it is the port's own COM name or the map has
    // one device.
    std::string Label(int port) const;

    bool operator==(const PortMap&) const = default;

  private:
    static std::size_t Index(int port);

    std::array<std::string, kLastPort> m_devices;
    std::array<bool, kLastPort> m_virtual{};
    bool m_oneDevice = false;
};

// Applies one command-line value "COMn=DEVICE" (n 1..4, DEVICE any
// non-empty path or name) to map. Returns an empty string when accepted,
// else a text saying what is wrong, and leaves map unchanged.
std::string ApplyPortMapping(const std::string& value, PortMap& map);

}  // namespace kiv
