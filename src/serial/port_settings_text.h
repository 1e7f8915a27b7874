#pragma once

#include <optional>
#include <string>

#include "model/form.h"

namespace kiv {

// A settings text "baud,parity,data,stop" taken apart.
struct LineSettings {
    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    int stopBits = 1;
    bool operator==(const LineSettings&) const = default;
};

// Reads a settings text such as "9600,n,8,1" or "19200,e,7,2". Accepts a
// positive whole baud rate, parity n/o/e (either case), 5..8 data bits and
// 1 or 2 stop bits; anything else gives nothing.
std::optional<LineSettings> ParseLineSettings(const std::string& text);

}  // namespace kiv
