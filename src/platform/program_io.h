#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kiv {

// How a program without a window meets its system. Inside the program every
// text is UTF-8: the arguments it is given, the paths it opens, the
// messages it writes.

// The arguments after the program's name, as UTF-8. Linux passes them as
// typed; Windows has them in UTF-16, which argv would give in the ANSI code
// page, losing every character outside it (a Chinese folder name, "无").
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes standard output and standard error (std::cout, std::cerr) show
// the program's UTF-8 as text wherever they go: on a Windows console
// through the console's own UTF-16 output, whatever its code page; into a
// file or a pipe as the UTF-8 bytes themselves, as on Linux, where nothing
// changes. A write that fails leaves the system's reason in errno, EPIPE
// for a reader that has gone. Call it first thing in main.
void SetUpStandardStreams();

// Writes `text` on standard error at once, as SetUpStandardStreams shows
// it, whatever std::cerr is pointed at meanwhile (a run may quiet it).
void WriteStandardError(const std::string& text);

// Whether `stream` shows on a terminal (a console) rather than going into a
// file or a pipe.
bool IsTerminal(std::FILE* stream);

// Writes `text` (plain ASCII) on standard error and ends the program at
// once with `exitCode`, from any thread, whatever the others are doing: no
// stream, lock or destructor of the program is touched on the way out.
[[noreturn]] void EndAtOnce(const char* text, int exitCode);

}  // namespace kiv
