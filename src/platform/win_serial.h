#pragma once

// The pieces of the Win32 serial port that need no device: how a port name
// becomes a device path, how line settings become a DCB, and what an error
// code means to the user. How the device manager's names read is in
// device_names.h.
#include <windows.h>

#include <string>

#include "platform/device_names.h"
#include "platform/port_diagnosis.h"
#include "serial/port_settings_text.h"

namespace kiv {

// The path CreateFile opens for a port name: "COM7" becomes "\\.\COM7" (the
// only form that reaches COM10 and above); a name that already is a device
// path ("\\.\..."), is kept.
std::wstring DevicePathOf(const std::string& device);

// The name of the object that marks a port as KIV's while it is open, the
// same for every spelling of the port ("com7", "COM7", "\\.\COM7"), and
// visible to every session on the machine.
std::wstring ClaimNameOf(const std::string& device);

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
}  // namespace kiv
