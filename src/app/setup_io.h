#pragma once

#include <string>
#include <variant>

#include "model/setup_file.h"

namespace kiv {

// Reads and parses a setup file; a file that cannot be read or taken gives
// a text naming the file (and the line at fault). A regular file or a pipe
// is read (a link leads to one), up to the same size limit; a device, a
// folder or a socket is refused, naming what stands there.
std::variant<Setup, std::string> ReadSetupFile(const std::string& path);

// Writes a setup file, replacing a regular file of that name only once the
// new text is complete on disk, with the old file's permissions. A link is
// written through to the regular file it leads to and stays a link. Nothing
// else is written over (a folder, a device, a pipe, a link to one of these):
// that is refused before anything is touched. Returns an empty text, or
// what went wrong in one line.
std::string WriteSetupFile(const std::string& path, const Setup& setup, const std::string& writer);

}  // namespace kiv
