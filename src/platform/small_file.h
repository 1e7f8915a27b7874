#pragma once

#include <cstddef>
#include <string>

namespace kiv {

// The first `limit` bytes of a small system file (a lock file, a sysfs
// flag, /proc/cmdline), or nothing when it cannot be read: such files are
// read as they are now, and a missing one means the same as an empty one.
std::string ReadSmallFile(const std::string& path, std::size_t limit);

}  // namespace kiv
