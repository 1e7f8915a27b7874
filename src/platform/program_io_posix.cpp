// The terminal and the file system take UTF-8 bytes as they are.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/program_io.h"

namespace kiv {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
}

void SetUpStandardStreams() {}

void WriteStandardError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void EndAtOnce(const char* text, int exitCode) {
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, text, std::strlen(text));
    _exit(exitCode);
}

}  // namespace kiv
