#pragma once

#include <string>
#include <string_view>

namespace kiv {

// What a shell can offer after an option of kiv-cli, read from the option's
// row: nothing for an option without a value, file names for a FILE or a
// PATH, the alternatives of a value shown as "a|b|c", and nothing to offer
// for any other value (a number, a frame).
enum class CompletionKind { NoValue, Files, Words, Free };
CompletionKind CompletionOf(std::string_view value, bool takesValue);

// The bash completion script of kiv-cli, made from kCliOptions, the table
// that --help lists: every option, and the values the rows say.
std::string BashCompletion();

}  // namespace kiv
