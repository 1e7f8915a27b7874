#pragma once

#include <cstdint>
#include <string>

#include "serial/port_settings_text.h"

namespace kiv {

// What every port control accepts, whatever system drives the device: the
// checks a setter makes before anything reaches the device, each raising
// KivError(ErrorKind::Port) with what is wrong. KIV reads what comes back
// (the line monitor's LineWatch) but sets none of the receive side's
// behaviour, so the receive-side members only have to hold sane values.
void CheckInBufferSize(std::int16_t bytes);
void CheckOutBufferSize(std::int16_t bytes);
// 0 text, 1 raw bytes: the two modes the control has.
void CheckInputMode(std::int32_t mode);
void CheckInputLen(std::int16_t len);
// Only emptying a buffer means anything; there is no way to fill one.
void CheckInBufferCount(std::int16_t count);
void CheckOutBufferCount(std::int16_t count);
void CheckRThreshold(std::int16_t threshold);
// 1..4, the window's COM numbers.
void CheckCommPort(std::int16_t port);
// The settings text taken apart.
LineSettings CheckSettings(const std::string& settings);

// How messages name a port: "COM1 (/dev/ttyUSB0)", and "COM3" alone for
// the system's own COM3 behind the window's COM3.
std::string PortLabel(int port, const std::string& device);

}  // namespace kiv
