#pragma once

#include <string>

// How the device manager of Windows describes a serial port, read as plain
// text so that the rules can be checked anywhere.
namespace kiv {

// The port name at the end of a friendly name: "USB-SERIAL CH340 (COM7)"
// gives "COM7", in capitals as the system names its ports; empty when the
// name does not end in "(COMn)" (n from 1, no leading zero, at most three
// digits).
std::string PortNameInFriendlyName(const std::string& friendlyName);

// The friendly name without its port: "USB-SERIAL CH340 (COM7)" gives
// "USB-SERIAL CH340"; a name without "(COMn)" at its end is kept whole.
std::string DescriptionOfFriendlyName(const std::string& friendlyName);

// The USB vendor and product of a hardware id such as
// "USB\VID_1A86&PID_7523&REV_0264" or "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000";
// -1 where it names none.
struct UsbIds {
    int vendorId = -1;
    int productId = -1;
};
UsbIds UsbIdsOfHardwareId(const std::string& hardwareId);

}  // namespace kiv
