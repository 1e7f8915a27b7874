#pragma once

#include <string>

#include "platform/port_control_base.h"
#include "platform/pty.h"

namespace kiv {

// A virtual serial port: the program writes into the master side of a
// pseudo-terminal, and a receiving program opens the slave's path. The slave
// is kept open and raw here, so the line never falls back to cooked mode
// (which would turn 0x0A into 0x0D 0x0A) between the receiver's opens.
// Opening and closing it only let Output write or refuse: the line stays.
class PtyPort final : public PortControlBase {
  public:
    // Creates the pseudo-terminal; raises KivError(Port) when none is left.
    PtyPort();
    ~PtyPort() override;

    // The path a receiver opens, e.g. /dev/pts/7.
    const std::string& SlavePath() const { return m_pty.slavePath(); }

    std::int64_t pendingBytes() const override { return Queued(); }
    // Bytes written but not yet read by the receiver.
    int Queued() const;
    // Waits, at most `limitMs`, for the receiver to read what was sent:
    // closing the pseudo-terminal throws away what it still holds.
    void Drain(int limitMs) const;
    // Whether another program holds SlavePath() open now (true as well when
    // the system cannot tell, so that nobody waits for ever). Bytes written
    // while no receiver holds the line wait in it, where a receiver that sets
    // the line up with a flush (as many do on open) throws them away; and a
    // program that only sets the line up (stty) opens it for a moment and
    // closes it again. A sender that cares starts once a receiver has held
    // the line open for a while.
    bool ReceiverHolds();

  private:
    bool IsOpen() const override { return m_open; }
    void OpenDevice() override;
    void CloseDevice() override { m_open = false; }
    // The line keeps what the receiver has not read, as a cable would.
    void DiscardReceived() override {}
    void DiscardUnsent() override {}
    std::int64_t QueuedHere() const override { return Queued(); }
    std::int64_t QueueLimit() const override;
    void WriteBehind(std::span<const std::uint8_t> frame, std::int64_t queued) override;
    void Block(std::uint32_t ms) override;
    void ReadArrived() override;
    TextId NotOpenText(bool waited) const override;

    bool HeldElsewhere() const;

    RawPty m_pty;
    int m_openWatch = -1;  // inotify on the slave path, for ReceiverHolds
    bool m_held = false;
    bool m_open = false;
};

}  // namespace kiv
