#include "platform/port_directory.h"

#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <cstdio>

#include "model/one_line.h"
#include "platform/port_naming.h"
#include "platform/serial_device_list.h"

namespace kiv {
namespace {

std::size_t Index(int port) {
    return static_cast<std::size_t>(port - PortMap::kFirstPort);
}

// A device the system's list leaves out (a pseudo-terminal, a node made by
// hand, a link to either) is there as long as its path leads to something.
bool PathLeadsSomewhere(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

}  // namespace

QString PortSettingsKey(int port) {
    return QStringLiteral("ports/COM%1").arg(port);
}

QString PortDirectory::DefaultSettingsFile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kiv"),
                     QStringLiteral("kiv"))
        .fileName();
}

PortDirectory::PortDirectory(DeviceList& devices, QString settingsFile)
    : m_list(devices), m_settingsFile(std::move(settingsFile)) {
    const QSettings settings(m_settingsFile, QSettings::IniFormat);
    for (int port = PortMap::kFirstPort; port <= PortMap::kLastPort; ++port) {
        m_ports[Index(port)] =
            DecodeAssignment(settings.value(PortSettingsKey(port)).toString().toStdString());
    }
    Normalise(m_ports);
}

void PortDirectory::Refresh() {
    m_devices = m_list.Read();
    ++m_generation;
    // Where the system names the ports COM1, COM2, ... itself, a number means
    // that port until the user says otherwise.
    if (!SystemNamesComPorts() && AssignNewDevices(m_ports, m_devices)) Save();
}

void PortDirectory::ChooseDevice(int port, const std::string& identity) {
    kiv::ChooseDevice(m_ports, port, identity);
    ++m_generation;
    Save();
}

void PortDirectory::ChooseVirtual(int port) {
    kiv::ChooseVirtual(m_ports, port);
    ++m_generation;
    Save();
}

void PortDirectory::Save() {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    for (int port = PortMap::kFirstPort; port <= PortMap::kLastPort; ++port) {
        const std::string text = EncodeAssignment(m_ports[Index(port)]);
        if (text.empty()) {
            settings.remove(PortSettingsKey(port));
        } else {
            settings.setValue(PortSettingsKey(port), QString::fromStdString(text));
        }
    }
    settings.sync();
    const std::string error =
        settings.status() == QSettings::NoError
            ? std::string()
            : "cannot save the port assignments to " + m_settingsFile.toStdString();
    // Said once: the window works on without saving.
    if (!error.empty() && error != m_saveError)
        std::fprintf(stderr, "kiv: %s\n", OneLine(error).c_str());
    m_saveError = error;
}

PortMap PortDirectory::CurrentMap() const {
    PortMap map = PortMap::Unassigned();
    // The console is no device to send to: a machine with nothing else
    // starts on the virtual port too, where the system has one.
    const bool virtualDefault = VirtualPortOffered() && NothingAssigned(m_ports) &&
                                std::all_of(m_devices.begin(), m_devices.end(),
                                            [](const SerialDevice& d) { return d.console; });
    for (int port = PortMap::kFirstPort; port <= PortMap::kLastPort; ++port) {
        if (!m_overrides.device(port).empty()) {
            map.setDevice(port, m_overrides.device(port));
            continue;
        }
        const PortAssignment& a = m_ports[Index(port)];
        if (VirtualPortOffered() && (a.kind == PortAssignment::Kind::Virtual ||
                                     (virtualDefault && port == PortMap::kFirstPort))) {
            map.setVirtual(port);
        } else if (a.kind == PortAssignment::Kind::Device) {
            // A device away from the system is opened by its identity, which
            // fails with the system's own "no such device".
            const SerialDevice* present = FindDevice(m_devices, a.identity);
            map.setDevice(port, present != nullptr ? present->path : a.identity);
        } else if (SystemNamesComPorts()) {
            map.setDevice(port, SystemPortName(port));
        }
    }
    return map;
}

void PortDirectory::setVirtualPath(int port, std::string path) {
    std::string& shown = m_virtualPaths.at(Index(port));
    if (shown == path) return;
    shown = std::move(path);
    ++m_generation;
}

const std::string& PortDirectory::virtualPath(int port) const {
    return m_virtualPaths.at(Index(port));
}

std::string PortDirectory::Describe(int port) const {
    const PortMap map = CurrentMap();
    if (!m_overrides.device(port).empty()) return m_overrides.device(port) + "（启动时指定）";
    if (map.isVirtual(port)) {
        const std::string& path = virtualPath(port);
        return path.empty() ? "虚拟端口" : "虚拟端口 " + path;
    }
    const PortAssignment& a = m_ports.at(Index(port));
    if (a.kind != PortAssignment::Kind::Device) {
        if (!SystemNamesComPorts()) return "未分配";
        const std::string own = SystemPortName(port);
        const SerialDevice* present = FindDevice(m_devices, own);
        return present != nullptr ? present->Summary() : own + " (未连接)";
    }
    if (const SerialDevice* present = FindDevice(m_devices, a.identity)) {
        return present->Summary();
    }
    if (PathLeadsSomewhere(a.identity)) return a.identity;
    return a.identity + " (未连接)";
}

}  // namespace kiv
