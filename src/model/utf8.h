#pragma once

#include <cstddef>
#include <string>

namespace kiv {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none
// (a stray byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i);

}  // namespace kiv
