#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/setup_file.h"

namespace kiv {

// A whole number lo..hi in decimal digits (a minus sign allowed), or nothing.
std::optional<long> WholeNumber(const std::string& text, long lo, long hi);

// kiv-cli's rules for the values a user gives, whichever way they arrive (an
// option or a setup file). Each returns nothing when the value is accepted,
// or the rule it broke, to follow the value in a message.
std::optional<std::string> BaudFault(const std::string& text);
// `notes` gets what an accepted period does that it may not seem to (a
// fraction rounded, 0 sends as fast as the line goes).
std::optional<std::string> PeriodFault(const std::string& text, std::vector<std::string>& notes);
std::optional<std::string> SlotFault(const std::string& text);
// A frame plan of ten slot texts (missing ones empty): the rule it breaks
// when it has no slot to send, and in `notes` the slots it will not send
// because an earlier one is empty (the frame ends at the first empty slot).
std::optional<std::string> PlanFault(const std::vector<std::string>& slots,
                                     std::vector<std::string>& notes);
// A text for a key of the frame format ([frame] in a setup, the frame
// options): a byte list for the header and trailer, one of the table's
// names (or "" for none) for the choices, 0 or 1 for the length byte.
std::optional<std::string> FrameFault(FrameSetupKey key, const std::string& text);
// A signal parameter text for box "t1".."a0" by the signal pages' reading.
std::optional<std::string> ParameterFault(const std::string& key, const std::string& text);

// Lowest and highest baud rate kiv-cli passes on to the device.
constexpr long kMinBaud = 1;
constexpr long kMaxBaud = 4000000;

}  // namespace kiv
