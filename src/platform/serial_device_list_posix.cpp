// The devices QSerialPortInfo lists, with their /dev/serial/by-id names and
// the system's console marked.
#include <QSerialPortInfo>

#include "platform/serial_device_list.h"
#include "platform/system_console.h"

namespace kiv {

std::vector<SerialDevice> SystemDeviceList::Read() {
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice d;
        d.path = info.systemLocation().toStdString();
        d.description = info.description().toStdString();
        d.manufacturer = info.manufacturer().toStdString();
        if (info.hasVendorIdentifier()) d.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier()) d.productId = info.productIdentifier();
        d.console = IsSystemConsole(d.path, m_systemRoot);
        devices.push_back(std::move(d));
    }
    AttachByIdNames(devices, m_byIdDir);
    return devices;
}

}  // namespace kiv
