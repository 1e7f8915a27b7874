#pragma once

#include <QString>
#include <string>
#include <vector>

#include "platform/port_assignment.h"

namespace kiv {

// The serial devices present now. Read afresh on every call: adapters come
// and go while the program runs.
class DeviceList {
  public:
    virtual ~DeviceList() = default;
    virtual std::vector<SerialDevice> Read() = 0;
};

// The serial ports the system lists: on Linux what QSerialPortInfo lists
// (USB adapters, boards, the UARTs that have a driver), each with its
// /dev/serial/by-id name where it has one, and the system's console marked
// as such (systemRoot stands in for / in tests); on Windows the ports under
// HARDWARE\DEVICEMAP\SERIALCOMM with the device manager's descriptions
// (byIdDir and systemRoot are not used there).
class SystemDeviceList final : public DeviceList {
  public:
    explicit SystemDeviceList(QString byIdDir = QStringLiteral("/dev/serial/by-id"),
                              std::string systemRoot = "/")
        : m_byIdDir(std::move(byIdDir)), m_systemRoot(std::move(systemRoot)) {}
    std::vector<SerialDevice> Read() override;

  private:
    QString m_byIdDir;
    std::string m_systemRoot;
};

// Fills in byId for each device that one of the links in `byIdDir` points
// to (the first link in name order when there are several).
void AttachByIdNames(std::vector<SerialDevice>& devices, const QString& byIdDir);

}  // namespace kiv
