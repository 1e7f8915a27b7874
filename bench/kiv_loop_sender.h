#pragma once

#include <optional>

#include "send_function.h"

namespace kiv::bench {

// The program's own send loop, when one is plugged in (see the .cpp).
std::optional<SendFunction> RegisteredKivLoop();

}  // namespace kiv::bench
