#pragma once

#include <optional>
#include <string>
#include <utility>

#include "model/errors.h"

namespace kiv {

// What an action came to, for callers that need more than the message box
// the user sees: whether it succeeded and, when not, the control at fault
// (named as the form names it: "sendText1(3)", "autosendtext1", "Combo1(1)";
// empty when no one box is to blame) and what was wrong.
struct Outcome {
    bool ok = true;
    std::string box;
    std::string reason;
    // The kind of error behind a failure that an error raised.
    std::optional<ErrorKind> kind;

    static Outcome Done() { return {}; }
    static Outcome Failed(std::string box, std::string reason) {
        return {false, std::move(box), std::move(reason), std::nullopt};
    }
    static Outcome Failed(std::string box, const KivError& error) {
        return {false, std::move(box), error.what(), error.kind()};
    }
    explicit operator bool() const { return ok; }
};

}  // namespace kiv
