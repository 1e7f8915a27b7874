#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/port_map.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"
#include "serial/port_settings_text.h"
#include "serial/unsent_frames.h"

namespace kiv {

class MillisecondClock;
class Yielder;

// The window's serial port control on the Win32 serial functions
// (CreateFile on "\\.\COMn", SetCommState, SetCommTimeouts, WriteFile,
// ClearCommError). Single-threaded: it lives on the window thread, and every
// call returns or raises there.
//
// Frames are written with overlapped I/O: Output hands a frame to the
// system and returns; the write's completion routine runs on the window
// thread when its event loop next sleeps, and starts the next queued frame. Each frame is one
// write, so the line never carries part of one; when a close gives up a write the driver
// took in part, the frame's rest goes first at the next open of the same port. Line settings, the
// port number and OutBufferSize given while the port is open take effect at the next open, as with
// the other port controls.
class WinCommControl final : public CommControl, public LineWatch {
  public:
    // Most bytes Output lets wait in this program behind the write under way.
    static constexpr std::int64_t kDefaultQueueLimit = 4096;
    // What OutBufferSize is until the program sets it.
    static constexpr std::int16_t kDefaultOutBufferSize = 512;

    explicit WinCommControl(PortMap map = PortMap());
    ~WinCommControl() override;
    WinCommControl(const WinCommControl&) = delete;
    WinCommControl& operator=(const WinCommControl&) = delete;

    // While Output waits for room it lets the window run through yielder,
    // waking by clock; both are owned elsewhere and must outlive this. With
    // no yielder Output blocks in short slices instead.
    void setYielder(Yielder* yielder, MillisecondClock* clock);
    void setPortMap(PortMap map) { m_map = std::move(map); }
    const PortMap& portMap() const { return m_map; }
    void setQueueLimit(std::int64_t bytes) { m_queueLimit = bytes; }

    // Why the last open failed or the device was lost, in the system's
    // words; empty when nothing failed yet.
    std::string lastSystemError() const { return m_lastSystemError; }
    // Bytes Output accepted that wait in this program behind the write
    // under way.
    std::int64_t queuedBytes() const;
    // Bytes Output accepted that have not reached the line yet: those
    // waiting here, in the write under way and in the driver.
    std::int64_t pendingBytes() const;

    void setInBufferSize(std::int16_t bytes) override;
    void setOutBufferSize(std::int16_t bytes) override;
    void setInputMode(std::int32_t mode) override;
    void setInputLen(std::int16_t len) override;
    void setInBufferCount(std::int16_t count) override;
    void setOutBufferCount(std::int16_t count) override;
    void setRThreshold(std::int16_t threshold) override;
    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;

    bool PortOpen() const override;
    void setPortOpen(bool open) override;

    // Hands the first min(size, OutBufferSize) bytes to the system as one
    // write, or queues them behind the write under way. When the queue is
    // over its limit it first waits for room, for as long as it takes
    // (closing the port ends the wait); a frame is never cut.
    std::size_t Output(std::span<const std::uint8_t> bytes) override;

    // What came back on the line, read when asked: a read that takes only
    // what the driver holds and returns at once, beside the writes.
    LineWatch* Watch() override { return this; }
    const ArrivedStore& Arrived() override;
    std::int64_t BytesQueued() override { return pendingBytes(); }

  private:
    struct Line;

    void Open();
    void Close();
    void MarkLost(const std::string& reason);
    void RaiseIfNotWritable();
    // The write under way ended: `error` from the system, `bytes` taken.
    void Completed(unsigned long error, unsigned long bytes);
    void StartNext();
    void WaitForRoom();
    std::string OpenPortLabel() const { return m_openLabel; }
    [[noreturn]] void RaisePort(const std::string& what) const;
    [[noreturn]] void RaiseOpenFailure(unsigned long error, bool settingsStage);
    [[noreturn]] void RaiseNotSerial(unsigned long error);

    std::unique_ptr<Line> m_line;
    PortMap m_map;

    int m_commPort = 1;
    LineSettings m_settings;
    std::string m_settingsText = "9600,n,8,1";
    std::int16_t m_outBufferSize = kDefaultOutBufferSize;
    std::int16_t m_inBufferSize = 0;

    int m_openPort = 0;
    std::string m_openDevice;
    std::string m_openLabel;
    std::int16_t m_openOutBufferSize = 0;
    std::uint64_t m_session = 0;
    // The rest of a frame a close cut, for the next open of the same port.
    UnsentFrames m_unsent;

    Yielder* m_yielder = nullptr;
    MillisecondClock* m_clock = nullptr;
    std::int64_t m_queueLimit = kDefaultQueueLimit;

    bool m_lost = false;
    std::string m_lastSystemError;
    ArrivedStore m_arrived;
};

}  // namespace kiv
