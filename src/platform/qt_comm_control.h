#pragma once

#include <QMetaObject>
#include <QSerialPort>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/port_control_base.h"

namespace kiv {

// The window's serial port control over QSerialPort, on the systems Qt's
// serial module serves (Linux here).
class QtCommControl final : public PortControlBase {
  public:
    explicit QtCommControl(PortMap map = PortMap());
    ~QtCommControl() override;

    // Where other programs' lock files are looked for before each open.
    void setLockDirectories(std::vector<std::string> dirs) { m_lockDirectories = std::move(dirs); }
    // Bytes Output accepted that are still waiting in this program.
    qint64 queuedBytes() const { return QueuedHere(); }
    std::int64_t pendingBytes() const override;
    // The port itself, for diagnostics and tests; it is not to be driven
    // from outside.
    const QSerialPort& device() const { return m_port; }

  private:
    // What QSerialPort does for each step of the base.
    bool IsOpen() const override { return m_port.isOpen(); }
    void OpenDevice() override;
    void SendKeptTail() override;
    void CloseDevice() override;
    // Qt's own queue stands in front of the device: a frame goes straight
    // to the device only while that queue is empty.
    bool Idle() override { return m_port.bytesToWrite() == 0; }
    std::int64_t QueuedHere() const override;
    void WriteNow(std::span<const std::uint8_t> frame) override;
    void WriteBehind(std::span<const std::uint8_t> frame, std::int64_t queued) override;
    void PushOut() override;
    void Block(std::uint32_t ms) override;
    // The system is asked directly: Qt says nothing of a device that went
    // away while idle.
    void ProbeLost() override;
    void ReadArrived() override;
    void DiscardReceived() override;
    void DiscardUnsent() override;

    void OnPortError(QSerialPort::SerialPortError error);
    // started: the frame's front is on the line already (a kept tail).
    void WriteStraight(std::span<const std::uint8_t> frame, bool started = false);
    // Raises the reason the last open of device failed, in plain words.
    // settingsStage: the line settings were refused before the device was
    // touched.
    [[noreturn]] void RaiseOpenFailure(const std::string& device, const std::string& label,
                                       bool settingsStage) const;

    QSerialPort m_port;
    QMetaObject::Connection m_errorConnection;
    QMetaObject::Connection m_readConnection;
    // The device file opened, a link resolved: the same device whatever
    // name the map gives it.
    std::string m_openPath;
    std::vector<std::string> m_lockDirectories;
};

}  // namespace kiv
