#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/form.h"
#include "platform/device_comm_control.h"
#include "platform/pty_port.h"
#include "serial/comm_control.h"

namespace kiv {

class PortDirectory;

// The window's serial port control: opening a COM number opens what the
// directory assigns to it, a device through the system's port control or,
// for the virtual port, a fresh pseudo-terminal (the one kiv-cli uses).
//
// Closing the virtual port closes the pseudo-terminal, so a receiver sees
// the end of the line, but only once the window is idle again: an apply
// that closes and reopens the port in one go (a new frame length) keeps
// the same pseudo-terminal and its path.
class AssignedPortControl final : public CommControl {
  public:
    explicit AssignedPortControl(PortDirectory& directory);
    ~AssignedPortControl() override;
    AssignedPortControl(const AssignedPortControl&) = delete;
    AssignedPortControl& operator=(const AssignedPortControl&) = delete;

    void setYielder(Yielder* yielder, MillisecondClock* clock);
    // Told "COM1: 虚拟端口 /dev/pts/5" (or the device) when a port opens,
    // and "" when it closes.
    void setOpenReporter(std::function<void(const std::string&)> report) {
        m_report = std::move(report);
    }

    DeviceCommControl& serial() { return m_serial; }
    // The receiving side of the open virtual port; empty when none is open.
    std::string virtualPath() const;
    std::string lastSystemError() const;

    void setInBufferSize(std::int16_t bytes) override { m_serial.setInBufferSize(bytes); }
    void setOutBufferSize(std::int16_t bytes) override;
    void setInputMode(std::int32_t mode) override { m_serial.setInputMode(mode); }
    void setInputLen(std::int16_t len) override { m_serial.setInputLen(len); }
    void setInBufferCount(std::int16_t count) override { m_serial.setInBufferCount(count); }
    void setOutBufferCount(std::int16_t count) override { m_serial.setOutBufferCount(count); }
    void setRThreshold(std::int16_t threshold) override { m_serial.setRThreshold(threshold); }
    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;

    bool PortOpen() const override;
    void setPortOpen(bool open) override;
    std::size_t Output(std::span<const std::uint8_t> bytes) override;
    // The open port's: the virtual port's or the device's.
    LineWatch* Watch() override;

  private:
    void OpenVirtual();
    void Retire();
    void DropRetired();
    void Report(const std::string& text);

    PortDirectory& m_directory;
    DeviceCommControl m_serial;
    // The virtual port, open or closed and waiting to be dropped.
    std::unique_ptr<PtyPort> m_pty;
    int m_ptyPort = 0;
    bool m_ptyClosing = false;
    // Pseudo-terminals to close once no Output is running on them.
    std::vector<std::unique_ptr<PtyPort>> m_retired;
    int m_outputDepth = 0;
    QObject m_context;

    int m_commPort = 1;
    std::string m_settings{kDefaultLineSettings};
    std::int16_t m_outBufferSize = DeviceCommControl::kDefaultOutBufferSize;
    std::string m_virtualError;
    Yielder* m_yielder = nullptr;
    MillisecondClock* m_clock = nullptr;
    std::function<void(const std::string&)> m_report;
};

}  // namespace kiv
