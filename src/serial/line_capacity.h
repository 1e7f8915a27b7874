#pragma once

#include <cstdint>
#include <optional>

#include "model/form.h"

namespace kiv {

// How one byte travels on the line: a start bit, the data bits, a parity bit
// if any, and the stop bits. Stop bits are counted in halves, so that a
// port offering 1.5 stop bits is weighed right.
struct CharacterFormat {
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopHalfBits = 2;  // 2: one stop bit, 3: one and a half, 4: two
};

// Half bits one byte takes on the line; 0 for a format no port has (fewer
// than 1 data bit or 1 stop bit).
std::uint32_t HalfBitsPerByte(const CharacterFormat& format);

// The baud rate a line needs to carry `frameBytes` bytes every `periodMs`
// milliseconds: frameBytes x bits per byte x 1000 / periodMs, rounded up.
// No frame needs no rate (0). A period of 0 or less sends frames back to
// back without pause, which no rate can keep up with: that is the empty
// result. Rates too large to count stay at the largest count.
std::optional<std::uint64_t> BaudNeeded(std::int64_t frameBytes, const CharacterFormat& format,
                                        std::int64_t periodMs);

// Whether a line running at `baud` carries what `needed` asks for.
bool LineKeepsUp(const std::optional<std::uint64_t>& needed, std::int64_t baud);

}  // namespace kiv
