#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/model.h"

namespace kiv {

// What the line needs for the applied frame plan and period, set against the
// port's applied rate.
struct LineCapacity {
    std::optional<std::uint64_t> needed;  // empty: no rate keeps up (period 0)
    std::int64_t portBaud = 0;            // 0 when the applied rate is unknown
    bool paced = true;                    // false: the open line ignores the rate
    bool keepsUp = true;
};

// From the applied plan (the whole frame's length in its format, and
// sendPeriod), the serial page's applied choices (portChoices into the
// boxes' lists) and whether the port's line keeps to a rate at all.
LineCapacity CapacityOf(const Model& w);

// "" when the line keeps up; otherwise the one line the send page and the
// line monitor show in red: "需要至少 N 波特".
std::string CapacityWarning(const Model& w);

// The same for kiv-cli, in English, naming the port's rate:
// "warning: the line needs at least N baud for this plan (the port runs at M)".
std::string CapacityWarningForConsole(const Model& w);

}  // namespace kiv
