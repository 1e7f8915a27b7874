#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/port_assignment.h"
#include "platform/port_map.h"

namespace kiv {

class DeviceList;

// The window's COM numbers and the devices behind them: the devices present
// (from a DeviceList), the assignments kept in a settings file between runs,
// the one-run overrides from the command line, and the virtual port while
// it is open. Everything that shows or opens a COM number asks here.
class PortDirectory {
  public:
    // Reads the saved assignments from `settingsFile` (an INI file; it need
    // not exist yet). Call Refresh() before the first use.
    PortDirectory(DeviceList& devices, QString settingsFile);

    // The usual settings file: kiv.ini in the user's configuration folder.
    static QString DefaultSettingsFile();

    // Reads the device list again, gives new devices their numbers and
    // saves what changed.
    void Refresh();

    const std::vector<SerialDevice>& devices() const { return m_devices; }
    const PortAssignments& assignments() const { return m_ports; }

    // The user's choices for COM number `port`, saved at once.
    void ChooseDevice(int port, const std::string& identity);
    void ChooseVirtual(int port);

    // `--port COMn=DEVICE`: the numbers given a device in `overrides` open
    // that device for this run, whatever is assigned.
    void setOverrides(PortMap overrides) {
        m_overrides = std::move(overrides);
        ++m_generation;
    }

    // What each number opens now. An unassigned number has no device; with
    // no device present but the console and nothing saved, COM1 is the
    // virtual port.
    PortMap CurrentMap() const;

    // The receiving side of the open virtual port at `port`; empty when none.
    void setVirtualPath(int port, std::string path);
    const std::string& virtualPath(int port) const;

    // One line saying what `port` is, for the port box's list. An assigned
    // device counts as away ("(未连接)") when the system does not list it and
    // nothing stands at its path.
    std::string Describe(int port) const;

    // Counts changes to anything Describe shows, so a view can tell when to
    // redraw.
    std::uint64_t generation() const { return m_generation; }

  private:
    void Save();

    DeviceList& m_list;
    QString m_settingsFile;
    std::vector<SerialDevice> m_devices;
    PortAssignments m_ports;
    PortMap m_overrides = PortMap::Unassigned();
    std::array<std::string, kPortCount> m_virtualPaths;
    std::uint64_t m_generation = 1;
    // Why the last save failed, so that the same failure is said once.
    std::string m_saveError;
};

// The settings keys of the four numbers: group "ports", keys COM1..COM4.
QString PortSettingsKey(int port);

}  // namespace kiv
