#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/port_control_base.h"

namespace kiv {

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
class WinCommControl final : public PortControlBase {
  public:
    explicit WinCommControl(PortMap map = PortMap());
    ~WinCommControl() override;

    // Bytes Output accepted that have not reached the line yet: those
    // waiting here, in the write under way and in the driver.
    std::int64_t pendingBytes() const override;

  private:
    struct Line;

    // Each step of the base on the Win32 serial functions.
    bool IsOpen() const override { return m_line != nullptr; }
    void OpenDevice() override;
    void CloseDevice() override;
    void SendKeptTail() override;
    // Writes are overlapped: one under way, the frames behind it queued
    // here, and their completions taken by Settle.
    void Settle() override;
    bool Idle() override;
    void WriteNow(std::span<const std::uint8_t> frame) override;
    std::int64_t QueuedHere() const override;
    void WriteBehind(std::span<const std::uint8_t> frame, std::int64_t queued) override;
    void Block(std::uint32_t ms) override;
    // ClearCommError tells of a pulled adapter before any write does.
    void ProbeLost() override;
    void DiscardUnsent() override;
    void ReadArrived() override;
    void DiscardReceived() override;

    // The write under way ended: `error` from the system, `bytes` taken.
    void Completed(unsigned long error, unsigned long bytes);
    void StartNext();
    // Hands `frame` to the system as the next write; `tail` when it is a
    // kept frame's rest.
    void Issue(std::vector<std::uint8_t> frame, bool tail = false);
    [[noreturn]] void RaiseOpenFailure(unsigned long error, bool settingsStage);
    [[noreturn]] void RaiseNotSerial(unsigned long error);

    std::unique_ptr<Line> m_line;
};

}  // namespace kiv
