#pragma once

#include <string>
#include <variant>

#include "model/setup_file.h"

namespace kiv {

// Reads and parses a setup file; a file that cannot be read or taken gives
// a text naming the file (and the line at fault).
std::variant<Setup, std::string> ReadSetupFile(const std::string& path);

// Writes a setup file, replacing any file of that name only once the new
// text is complete on disk. Returns an empty text, or what went wrong.
std::string WriteSetupFile(const std::string& path, const Setup& setup, const std::string& writer);

}  // namespace kiv
