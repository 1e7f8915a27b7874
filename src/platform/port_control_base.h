#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/form.h"
#include "model/texts.h"
#include "platform/port_map.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"
#include "serial/port_settings_text.h"
#include "serial/unsent_frames.h"

namespace kiv {

class MillisecondClock;
class Yielder;

// What every port control of this program does the same way, whatever
// system drives the device: the setters and their rules, opening and
// closing around the system's own steps, Output's wait for room, the loss
// of a device and the time stamp of what arrives. Each system's control
// (QSerialPort on Linux, Win32 on Windows, the virtual port's
// pseudo-terminal) supplies the small steps below that only it can take.
// Single-threaded: a control lives on the window thread, and every call
// returns or raises there.
//
// Line settings, the port number and OutBufferSize given while the port is
// open are kept and take effect at the next open: the program always closes
// the port before changing them, and some devices (a pty among them) refuse
// such changes on an open port.
class PortControlBase : public CommControl, public LineWatch {
  public:
    // Most bytes Output lets wait in this program for the line. No system
    // here has a limit of its own, so a stalled line would otherwise grow
    // memory without end.
    static constexpr std::int64_t kQueueLimit = 4096;
    // What OutBufferSize is until the program sets it.
    static constexpr std::int16_t kDefaultOutBufferSize = 512;

    // How long one wait for room lasts: short enough that the window stays
    // responsive and a freed line is noticed at once, long enough that a
    // stuck line costs no measurable CPU. yieldMs while the window runs,
    // blockMs with no yielder.
    struct WaitSlices {
        std::uint32_t yieldMs;
        std::uint32_t blockMs;
    };
    // For a control whose system wakes the window when the line takes more.
    static constexpr WaitSlices kNotifiedSlices{5, 10};
    // For a control that has to look for room itself: nothing wakes it.
    static constexpr WaitSlices kPolledSlices{1, 1};

    ~PortControlBase() override = default;
    PortControlBase(const PortControlBase&) = delete;
    PortControlBase& operator=(const PortControlBase&) = delete;

    // While Output waits for room it lets the window run through yielder,
    // waking by clock; both are owned elsewhere and must outlive this. With
    // no yielder Output blocks in short slices instead.
    void setYielder(Yielder* yielder, MillisecondClock* clock);
    // Used from the next open on.
    void setPortMap(PortMap map) { m_map = std::move(map); }

    // Why the last open failed or the device was lost, in the system's
    // words; empty when nothing failed yet.
    std::string lastSystemError() const { return m_lastSystemError; }
    // Bytes Output accepted that have not reached the line yet: those
    // waiting here and those the system still holds.
    virtual std::int64_t pendingBytes() const = 0;

    void setInBufferSize(std::int16_t bytes) final;
    // 0 is accepted and means that Output puts nothing on the line (it still
    // raises when the port is closed): the window passes its frame length
    // unchanged, and a frame with no filled slot has no bytes.
    void setOutBufferSize(std::int16_t bytes) final;
    void setInputMode(std::int32_t mode) final;
    void setInputLen(std::int16_t len) final;
    void setInBufferCount(std::int16_t count) final;
    void setOutBufferCount(std::int16_t count) final;
    void setRThreshold(std::int16_t threshold) final;
    void setCommPort(std::int16_t port) final;
    void setSettings(const std::string& settings) final;

    bool PortOpen() const final { return IsOpen(); }
    void setPortOpen(bool open) final;

    // Puts the first min(size, OutBufferSize) bytes on the line as one
    // piece. When the queue is over its limit it first waits for room, for
    // as long as it takes: a receiver that stops reading for a while must
    // still get every frame whole and in order, and the window stays usable
    // meanwhile (closing the port ends the wait). A frame is never cut.
    std::size_t Output(std::span<const std::uint8_t> bytes) final;

    // What comes back on the line (a receiver's replies, a loopback plug),
    // read when asked into a bounded store.
    LineWatch* Watch() final { return this; }
    const ArrivedStore& Arrived() final;
    std::int64_t BytesQueued() final { return pendingBytes(); }
    std::uint64_t FramesDropped() final { return m_unsent.droppedFrames(); }

  protected:
    explicit PortControlBase(PortMap map, WaitSlices slices = kNotifiedSlices);

    // The system's own steps.
    virtual bool IsOpen() const = 0;
    // Opens the device of m_commPort with m_settings, or raises why not;
    // sets m_openDevice and m_openLabel.
    virtual void OpenDevice() = 0;
    // Closes the open device, keeping the rest of a frame whose front is on
    // the line already in m_unsent.
    virtual void CloseDevice() = 0;
    // Right after an open: sends the rest of a frame the last close of the
    // same device cut, before anything else.
    virtual void SendKeptTail() {}
    // InBufferCount and OutBufferCount set to 0 on an open port.
    virtual void DiscardReceived() = 0;
    virtual void DiscardUnsent() = 0;
    // Raises (through RaiseLost) when the device vanished while idle, so the
    // loss surfaces at this frame, not a frame later.
    virtual void ProbeLost() {}
    // Takes what the system finished since it was last asked; may find the
    // device lost and close the port.
    virtual void Settle() {}
    // Bytes Output accepted that still wait in this program, and how many
    // may wait before a frame has to wait for room.
    virtual std::int64_t QueuedHere() const = 0;
    virtual std::int64_t QueueLimit() const { return kQueueLimit; }
    // Whether a frame can go to the system at once, with nothing ahead of it.
    virtual bool Idle() { return false; }
    // Puts a frame on the line: WriteNow when Idle, WriteBehind behind the
    // `queued` bytes that wait here.
    virtual void WriteNow(std::span<const std::uint8_t> frame) { WriteBehind(frame, 0); }
    virtual void WriteBehind(std::span<const std::uint8_t> frame, std::int64_t queued) = 0;
    // Hands what waits here to the system before the window runs.
    virtual void PushOut() {}
    // Waits at most ms for the line to take something, with no window.
    virtual void Block(std::uint32_t ms) = 0;
    // Reads what arrived, handing each piece to Arrive.
    virtual void ReadArrived() = 0;
    // What Output says on a port that is not open (and was not lost);
    // waited: the port closed while the frame waited for room.
    virtual TextId NotOpenText(bool waited) const;

    // Shared steps for the systems' own.
    const std::string& OpenPortLabel() const { return m_openLabel; }
    [[noreturn]] void RaisePort(const std::string& what) const;
    // The device is gone: the port closes, and every later Output says why.
    void MarkLost(const std::string& reason);
    [[noreturn]] void RaiseLost(const std::string& reason);
    // Says the port was lost, for the reason already marked.
    [[noreturn]] void RaiseMarkedLost() const;
    // Keeps bytes that came back, stamped with when they were taken.
    void Arrive(std::span<const std::uint8_t> bytes);

    PortMap m_map;
    // What the next open uses.
    int m_commPort = 1;
    LineSettings m_settings;
    std::string m_settingsText{kDefaultLineSettings};
    std::int16_t m_outBufferSize = kDefaultOutBufferSize;
    std::int16_t m_inBufferSize = 0;

    // What the open port was opened with.
    std::string m_openDevice;
    std::string m_openLabel;
    std::int16_t m_openOutBufferSize = 0;
    // Copies of what waits in the system's queue, and the rest of a frame
    // cut by a close, for the next open of the same device.
    UnsentFrames m_unsent;

    std::string m_lastSystemError;

  private:
    void RaiseIfNotWritable(bool waited);
    void WaitForRoom();

    const WaitSlices m_slices;
    // Counts opens, so that a wait can tell the port was reopened under it.
    std::uint64_t m_session = 0;
    bool m_lost = false;
    Yielder* m_yielder = nullptr;
    MillisecondClock* m_clock = nullptr;
    ArrivedStore m_arrived;
};

}  // namespace kiv
