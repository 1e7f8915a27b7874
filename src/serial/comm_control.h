#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kiv {

class LineWatch;  // see serial/line_watch.h

// The serial port control the window talks to: exactly the members the
// program uses. Every setter and Output raise KivError(ErrorKind::Port) when
// the port refuses them.
//
// Calling orders the program keeps:
//  - configuration: InBufferSize, OutBufferSize, InputMode, InputLen,
//    InBufferCount, OutBufferCount, RThreshold, CommPort, Settings;
//  - PortOpen is read first and set to true only when it reads false, to
//    false only when it reads true;
//  - a new frame length on an open port: close, OutBufferSize, open.
class CommControl {
  public:
    virtual ~CommControl() = default;

    virtual void setInBufferSize(std::int16_t bytes) = 0;
    virtual void setOutBufferSize(std::int16_t bytes) = 0;
    virtual void setInputMode(std::int32_t mode) = 0;
    virtual void setInputLen(std::int16_t len) = 0;
    virtual void setInBufferCount(std::int16_t count) = 0;
    virtual void setOutBufferCount(std::int16_t count) = 0;
    virtual void setRThreshold(std::int16_t threshold) = 0;
    // Port number 1..4 ("COM1".."COM4"): the device opened next.
    virtual void setCommPort(std::int16_t port) = 0;
    // "baud,parity,data,stop", parity one of n, o, e: "9600,n,8,1".
    virtual void setSettings(const std::string& settings) = 0;

    virtual bool PortOpen() const = 0;
    // true opens the device of CommPort with Settings; false closes it.
    virtual void setPortOpen(bool open) = 0;

    // Puts at most OutBufferSize bytes of the array on the line, in order,
    // and gives how many it took: 0 for a frame dropped whole, as when the
    // port was opened again while the frame waited for room.
    virtual std::size_t Output(std::span<const std::uint8_t> bytes) = 0;

    // What the control sees coming back and waiting to go out, for the line
    // monitor; nullptr from a control that sees neither.
    virtual LineWatch* Watch() { return nullptr; }
};

}  // namespace kiv
