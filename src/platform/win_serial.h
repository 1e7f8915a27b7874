#pragma once

// The pieces of the Win32 serial port that need no device: how a port name
// becomes a device path, how line settings become a DCB, what an error code
// means to the user, and how the system's device descriptions read.
#include <windows.h>

#include <string>

#include "platform/port_diagnosis.h"
#include "serial/port_settings_text.h"

namespace kiv {

// The path CreateFile opens for a port name: "COM7" becomes "\\.\COM7" (the
// only form that reaches COM10 and above); a name that already is a device
// path ("\\.\..."), is kept.
std::wstring DevicePathOf(const std::string& device);

// Sets the line fields of dcb from settings and turns off everything that
// could hold or alter the bytes: flow control, XON/XOFF, error
// replacement, dropping of NUL bytes, aborting on a line error. DTR and RTS
// are raised, as a modem cable expects of an open port.
void FillDcb(const LineSettings& settings, DCB& dcb);

// Timeouts for a port KIV only writes to: a write waits for as long as the
// line takes (bytes are never cut off), a read returns at once.
COMMTIMEOUTS WriteOnlyTimeouts();

// What a failed CreateFile of a port means: no such port, held by another
// program (Windows gives a COM port to one program at a time, and says
// "access denied" to the next), refused, or something else.
OpenProblem OpenProblemOf(DWORD error);

// The system's own words for an error code, without the trailing line
// break, in UTF-8; "error N" when the system has none.
std::string SystemErrorText(DWORD error);

// The port name at the end of a friendly name: "USB-SERIAL CH340 (COM7)"
// gives "COM7"; empty when the name does not end in "(COMn)".
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
