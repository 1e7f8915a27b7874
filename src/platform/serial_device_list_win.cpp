// The serial ports Windows lists under HARDWARE\DEVICEMAP\SERIALCOMM (every
// port a driver has made, USB adapters and null-modem emulators included),
// described with what the device manager shows for them: the friendly name
// ("USB-SERIAL CH340 (COM7)"), the maker and the USB ids.
#include <windows.h>
// clang-format off
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <QString>
#include <algorithm>
#include <map>

#include "platform/serial_device_list.h"
#include "platform/win_serial.h"

namespace kiv {
namespace {

std::string Utf8(const wchar_t* text) {
    return QString::fromWCharArray(text).toStdString();
}

// The port names in the registry's list, "COM1", "COM7", ...
std::vector<std::string> RegisteredPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        const std::string port = Utf8(data);
        if (!port.empty()) ports.push_back(port);
    }
    RegCloseKey(key);
    return ports;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr))
        return {};
    // A multi-string (the hardware ids) reads as its first entry.
    return Utf8(buffer);
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t data[64] = {};
    DWORD bytes = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) ==
            ERROR_SUCCESS &&
        type == REG_SZ)
        name = Utf8(data);
    RegCloseKey(key);
    return name;
}

// What the device manager knows about each present port, by port name.
std::map<std::string, SerialDevice> DescribedPorts() {
    std::map<std::string, SerialDevice> described;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return described;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const std::string friendly = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
        std::string port = PortNameOf(set, device);
        if (port.empty()) port = PortNameInFriendlyName(friendly);
        if (port.empty()) continue;
        SerialDevice d;
        d.path = port;
        d.description = DescriptionOfFriendlyName(friendly);
        if (d.description.empty()) d.description = DeviceProperty(set, device, SPDRP_DEVICEDESC);
        d.manufacturer = DeviceProperty(set, device, SPDRP_MFG);
        const UsbIds ids = UsbIdsOfHardwareId(DeviceProperty(set, device, SPDRP_HARDWAREID));
        d.vendorId = ids.vendorId;
        d.productId = ids.productId;
        described.emplace(port, std::move(d));
    }
    SetupDiDestroyDeviceInfoList(set);
    return described;
}

}  // namespace

std::vector<SerialDevice> SystemDeviceList::Read() {
    std::map<std::string, SerialDevice> described = DescribedPorts();
    std::vector<SerialDevice> devices;
    for (const std::string& port : RegisteredPorts()) {
        if (std::any_of(devices.begin(), devices.end(),
                        [&](const SerialDevice& d) { return d.path == port; }))
            continue;
        const auto found = described.find(port);
        if (found != described.end()) {
            devices.push_back(found->second);
        } else {
            SerialDevice d;
            d.path = port;
            devices.push_back(std::move(d));
        }
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return NaturalLess(a.path, b.path);
    });
    return devices;
}

}  // namespace kiv
