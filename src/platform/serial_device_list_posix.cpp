// The devices QSerialPortInfo lists, with their /dev/serial/by-id names.
#include <QSerialPortInfo>

#include "platform/serial_device_list.h"

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
        devices.push_back(std::move(d));
    }
    AttachByIdNames(devices, m_byIdDir);
    return devices;
}

}  // namespace kiv
