#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// Which device each of the window's port numbers COM1..COM4 stands for,
// kept between runs. Plain C++: the rules are the same whatever lists the
// devices and wherever the assignments are stored.
namespace kiv {

// One serial device the system lists.
struct SerialDevice {
    std::string path;  // what opens it: /dev/ttyUSB0, COM7
    // Its name under /dev/serial/by-id, which stays the same when the
    // adapter is plugged in again or the machine restarts; empty for
    // devices without one (on-board UARTs).
    std::string byId;
    std::string description;
    std::string manufacturer;
    int vendorId = -1;  // -1: not known
    int productId = -1;
    // The system's console (kernel messages, a login prompt): frames sent
    // there would land in it, so the program never gives it a number of
    // its own accord; the user still may.
    bool console = false;

    // The key an assignment is kept under.
    const std::string& Identity() const { return byId.empty() ? path : byId; }
    // An on-board UART (/dev/ttyS*, /dev/ttyAMA*...): these take the low
    // numbers first, as on the machines COM numbers come from.
    bool IsUart() const;
    // "path · description · maker · 0403:6001", leaving out what is unknown;
    // "path · 系统控制台 · ..." for the console.
    std::string Summary() const;
};

struct PortAssignment {
    enum class Kind { None, Device, Virtual };
    Kind kind = Kind::None;
    std::string identity;  // Kind::Device only; always an assignable path (IsAssignablePath)
    // Chosen by the user. An assignment the program made itself may be
    // given to a new device while its own device is away and no number is
    // left; a chosen one never.
    bool chosen = false;

    bool operator==(const PortAssignment&) const = default;
};

// COM1..COM4 at indexes 0..3.
using PortAssignments = std::array<PortAssignment, 4>;

// What an assignment is stored as, one text per COM number: "" none,
// "virtual" the virtual port, "auto /dev/..." made by the program, and the
// bare path for a device the user chose (so a hand-written "/dev/ttyUSB1"
// means what it says). Decode accepts any text; what it cannot read is no
// assignment.
std::string EncodeAssignment(const PortAssignment& assignment);
PortAssignment DecodeAssignment(std::string_view text);

// A device path the assignments can hold: absolute ("/dev/ttyUSB0",
// "\\.\COM7") or a port name the system gives ("COM7"), without blanks at
// either end or control characters.
bool IsAssignablePath(std::string_view path);
// "COM" and a number from 1 without leading zeros: "COM7", "COM12".
bool IsComPortName(std::string_view name);
// "/..." or a Windows device path "\\.\...".
bool IsAbsoluteDevicePath(std::string_view path);

// Makes stored assignments consistent: a device named at more than one
// number keeps only the lowest.
void Normalise(PortAssignments& ports);

// What the device list shows for the system's console.
inline constexpr const char* kSystemConsoleText = "系统控制台";

// Gives each present device that has no number the lowest free one: UARTs
// first in the order of their paths, then the others in the order of their
// paths (which keeps the result the same however the list is ordered).
// Free means unassigned or, when none of those is left, assigned by the
// program to a device that is not present. The console gets no number, and
// loses one the program gave it before it was the console; the user's own
// choice of it stands. Returns true when anything changed.
bool AssignNewDevices(PortAssignments& ports, const std::vector<SerialDevice>& present);

// The user's choices for COM number `port` (1..4). A device keeps at most
// one number, so choosing it here takes it from wherever it was.
void ChooseDevice(PortAssignments& ports, int port, const std::string& identity);
void ChooseVirtual(PortAssignments& ports, int port);

// Nothing assigned at all: on a machine with no serial device this makes
// COM1 the virtual port.
bool NothingAssigned(const PortAssignments& ports);

// The present device with this identity, or nullptr.
const SerialDevice* FindDevice(const std::vector<SerialDevice>& present,
                               const std::string& identity);

// Paths compared with their digit runs as numbers: ttyS2 before ttyS10.
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace kiv
