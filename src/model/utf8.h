#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kiv {

// Length of the well-formed UTF-8 sequence at s[i], or 0 when there is none
// (a stray byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
std::size_t Utf8SequenceAt(const std::string& s, std::size_t i);

// Paths come and go as UTF-8 whatever the system's own code page: a path
// made from UTF-8 text, and the UTF-8 text of a path. (A path made from a
// plain string would read it in the ANSI code page on Windows.)
std::filesystem::path Utf8Path(const std::string& utf8);
std::string Utf8Text(const std::filesystem::path& path);

}  // namespace kiv
