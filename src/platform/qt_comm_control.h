#pragma once

#include <QMetaObject>
#include <QSerialPort>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/port_map.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"
#include "serial/port_settings_text.h"
#include "serial/unsent_frames.h"

namespace kiv {

class MillisecondClock;
class Yielder;

// The window's serial port control over QSerialPort. Single-threaded: it
// lives on the window thread, and every call returns or raises there.
//
// Line settings, the port number and OutBufferSize given while the port is
// open are kept and take effect at the next open: the program always closes
// the port before changing them, and some devices (a pty among them) refuse
// such changes on an open port.
class QtCommControl final : public CommControl, public LineWatch {
  public:
    // Most bytes Output lets wait in this program for the line. Qt has no
    // limit of its own, so a stalled line would otherwise grow memory
    // without end.
    static constexpr qint64 kDefaultQueueLimit = 4096;
    // What OutBufferSize is until the program sets it.
    static constexpr std::int16_t kDefaultOutBufferSize = 512;

    explicit QtCommControl(PortMap map = PortMap());
    ~QtCommControl() override;
    QtCommControl(const QtCommControl&) = delete;
    QtCommControl& operator=(const QtCommControl&) = delete;

    // While Output waits for room it lets the window run through yielder,
    // waking by clock; both are owned elsewhere and must outlive this. With
    // no yielder Output blocks in short slices instead.
    void setYielder(Yielder* yielder, MillisecondClock* clock);
    // Used from the next open on.
    void setPortMap(PortMap map) { m_map = std::move(map); }
    const PortMap& portMap() const { return m_map; }
    void setQueueLimit(qint64 bytes) { m_queueLimit = bytes; }
    // Where other programs' lock files are looked for before each open.
    void setLockDirectories(std::vector<std::string> dirs) { m_lockDirectories = std::move(dirs); }

    // Why the last open failed or the device was lost, in the system's
    // words; empty when nothing failed yet.
    std::string lastSystemError() const { return m_lastSystemError; }
    // Bytes Output accepted that are still waiting in this program.
    qint64 queuedBytes() const { return m_port.isOpen() ? m_port.bytesToWrite() : 0; }
    // Bytes Output accepted that have not reached the line yet: those
    // waiting here and those the system still holds.
    std::int64_t pendingBytes() const;
    // The port itself, for diagnostics and tests; it is not to be driven
    // from outside.
    const QSerialPort& device() const { return m_port; }

    void setInBufferSize(std::int16_t bytes) override;
    // 0 is accepted and means that Output puts nothing on the line (it still
    // raises when the port is closed): the window passes its frame length
    // unchanged, and a frame with no filled slot has no bytes.
    void setOutBufferSize(std::int16_t bytes) override;
    void setInputMode(std::int32_t mode) override;
    void setInputLen(std::int16_t len) override;
    void setInBufferCount(std::int16_t count) override;
    void setOutBufferCount(std::int16_t count) override;
    void setRThreshold(std::int16_t threshold) override;
    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;

    bool PortOpen() const override { return m_port.isOpen(); }
    void setPortOpen(bool open) override;

    // Writes the first min(size, OutBufferSize) bytes as one piece, then
    // hands them to the system without waiting for them to leave. When the
    // queue is over its limit it first waits for room, for as long as it
    // takes: a receiver that stops reading for a while must still get every
    // frame whole and in order, and the window stays usable meanwhile
    // (closing the port ends the wait). A frame is never cut.
    std::size_t Output(std::span<const std::uint8_t> bytes) override;

    // The port is opened for reading too: what comes back (a receiver's
    // replies, a loopback plug) is taken as it arrives into a bounded store.
    LineWatch* Watch() override { return this; }
    const ArrivedStore& Arrived() override;
    std::int64_t BytesQueued() override { return pendingBytes(); }
    std::uint64_t FramesDropped() override { return m_unsent.droppedFrames(); }

  private:
    void Open();
    void TakeArrived();
    void OnPortError(QSerialPort::SerialPortError error);
    void MarkLost(const std::string& reason);
    void RaiseIfNotWritable();
    void PushOut();
    // started: the frame's front is on the line already (a kept tail).
    void WriteStraight(std::span<const std::uint8_t> frame, bool started = false);
    void WaitForRoom();
    std::string OpenPortLabel() const { return m_openLabel; }
    [[noreturn]] void RaisePort(const std::string& what) const;
    // Raises the reason the last open of device failed, in plain words.
    // settingsStage: the line settings were refused before the device was
    // touched.
    [[noreturn]] void RaiseOpenFailure(const std::string& device, const std::string& label,
                                       bool settingsStage) const;

    QSerialPort m_port;
    QMetaObject::Connection m_errorConnection;
    QMetaObject::Connection m_readConnection;
    ArrivedStore m_arrived;
    PortMap m_map;

    // What the next open uses.
    int m_commPort = 1;
    LineSettings m_settings;
    std::string m_settingsText = "9600,n,8,1";
    std::int16_t m_outBufferSize = kDefaultOutBufferSize;

    // What the open port was opened with.
    int m_openPort = 0;
    std::string m_openDevice;
    // The device file opened, a link resolved: the same device whatever
    // name the map gives it.
    std::string m_openPath;
    std::string m_openLabel;
    std::int16_t m_openOutBufferSize = 0;
    // Counts opens, so that a wait can tell the port was reopened under it.
    std::uint64_t m_session = 0;
    // Copies of what waits in Qt's queue, and the rest of a frame cut by
    // a close, for the next open of the same device.
    UnsentFrames m_unsent;

    Yielder* m_yielder = nullptr;
    MillisecondClock* m_clock = nullptr;
    qint64 m_queueLimit = kDefaultQueueLimit;

    bool m_lost = false;
    std::string m_lastSystemError;
    std::vector<std::string> m_lockDirectories;
};

}  // namespace kiv
