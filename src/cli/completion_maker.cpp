// Build-time tool: writes kiv-cli's bash completion script into FILE,
// through a temporary file beside it and a rename.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_completion.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const std::filesystem::path target = argv[1];
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << kiv::BashCompletion();
        out.close();
        if (!out) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], temporary.c_str());
            return 1;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot rename %s: %s\n", argv[0], temporary.c_str(),
                     ec.message().c_str());
        return 1;
    }
    return 0;
}
