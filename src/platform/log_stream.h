#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <variant>

namespace kiv {

// What stands at a log's path when it is not a file the log replaces: a
// pipe that a program reads (a shell's >(...), a named pipe), or the null
// device. The log is then written straight into it, as into standard
// output.
struct LogIsAFile {};  // anything else: a file's rules decide (OpenLogFile)
using LogStream = std::variant<LogIsAFile, std::unique_ptr<std::ostream>, std::string>;

// Opens the pipe or the null device at `path` for writing without ever
// waiting: a pipe that no program reads is refused at once (the text says
// why, without the path). Everything else gives LogIsAFile, the file rules'
// to take or refuse.
LogStream OpenLogStream(const std::string& path);

}  // namespace kiv
