#pragma once

// The port control for the system's own serial devices: QSerialPort where
// Qt has it, the Win32 serial functions on Windows. Both take a PortMap,
// pace a full line through a Yielder and say how many bytes are still on
// their way (pendingBytes).
#if defined(_WIN32)
#include "platform/win_comm_control.h"
namespace kiv {
using DeviceCommControl = WinCommControl;
}
#else
#include "platform/qt_comm_control.h"
namespace kiv {
using DeviceCommControl = QtCommControl;
}
#endif
