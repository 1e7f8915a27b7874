#include "app/setup_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kiv {
namespace {

// A setup is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kLargestSetup = 1 << 20;

}  // namespace

std::variant<Setup, std::string> ReadSetupFile(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return path + ": " + ec.message();
    if (size > kLargestSetup) return path + ": too large for a setup file";
    std::ifstream in(path, std::ios::binary);
    if (!in) return path + ": " + std::strerror(errno);
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return path + ": read error";
    auto parsed = ParseSetup(text.str());
    if (auto* refusal = std::get_if<SetupRefusal>(&parsed))
        return path + ": " + refusal->Describe();
    return std::get<Setup>(parsed);
}

std::string WriteSetupFile(const std::string& path, const Setup& setup, const std::string& writer) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return path + ": " + std::strerror(errno);
        out << WriteSetup(setup, writer);
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return path + ": write error";
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::remove(temporary.c_str());
        return path + ": " + ec.message();
    }
    return "";
}

}  // namespace kiv
