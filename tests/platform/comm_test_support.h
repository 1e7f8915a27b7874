#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "model/errors.h"

namespace kiv::testing {

// The kind of KivError call raised, or nothing when it returned.
inline std::optional<ErrorKind> RaisedKind(const std::function<void()>& call) {
    try {
        call();
    } catch (const KivError& error) {
        return error.kind();
    }
    return std::nullopt;
}

inline std::vector<std::uint8_t> Concat(const std::vector<std::vector<std::uint8_t>>& frames) {
    std::vector<std::uint8_t> all;
    for (const auto& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

}  // namespace kiv::testing
