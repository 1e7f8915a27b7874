#pragma once

#include <string>

#include "model/platform.h"
#include "platform/pty.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"

namespace kiv {

// A virtual serial port: the program writes into the master side of a
// pseudo-terminal, and a receiving program opens the slave's path. The slave
// is kept open and raw here, so the line never falls back to cooked mode
// (which would turn 0x0A into 0x0D 0x0A) between the receiver's opens.
class PtyPort : public CommControl, public LineWatch {
  public:
    // Creates the pseudo-terminal; raises KivError(Port) when none is left.
    PtyPort();
    ~PtyPort() override;
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // The path a receiver opens, e.g. /dev/pts/7.
    const std::string& SlavePath() const { return m_pty.slavePath(); }
    // Lets the window run while a write waits for the receiver to catch up.
    void setYielder(Yielder* yielder, MillisecondClock* clock) {
        m_yielder = yielder;
        m_clock = clock;
    }

    void setInBufferSize(std::int16_t bytes) override;
    void setOutBufferSize(std::int16_t bytes) override;
    void setInputMode(std::int32_t) override {}
    void setInputLen(std::int16_t) override {}
    void setInBufferCount(std::int16_t) override {}
    void setOutBufferCount(std::int16_t) override {}
    void setRThreshold(std::int16_t) override {}
    void setCommPort(std::int16_t port) override;
    void setSettings(const std::string& settings) override;
    bool PortOpen() const override { return m_open; }
    void setPortOpen(bool open) override { m_open = open; }
    std::size_t Output(std::span<const std::uint8_t> bytes) override;

    // What the receiver writes into the line, read when asked.
    LineWatch* Watch() override { return this; }
    const ArrivedStore& Arrived() override;
    std::int64_t BytesQueued() override { return Queued(); }
    // A pseudo-terminal takes bytes as fast as they come.
    bool KeepsToRate() override { return false; }

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
    void WaitForRoom(std::size_t bytes);

    RawPty m_pty;
    bool HeldElsewhere() const;

    ArrivedStore m_arrived;
    int m_openWatch = -1;  // inotify on the slave path, for ReceiverHolds
    bool m_held = false;
    bool m_open = false;
    std::int16_t m_outBufferSize = 10;
    Yielder* m_yielder = nullptr;
    MillisecondClock* m_clock = nullptr;
};

}  // namespace kiv
