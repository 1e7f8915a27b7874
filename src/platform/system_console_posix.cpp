#include <climits>
#include <cstdlib>
#include <sstream>

#include "platform/small_file.h"
#include "platform/system_console.h"

namespace kiv {
namespace {

// A kernel command line is at most a page.
constexpr std::size_t kConsoleFileLimit = 4096;

std::string LastElement(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool NamedInCommandLine(const std::string& cmdline, const std::string& name) {
    std::istringstream words(cmdline);
    const std::string key = "console=";
    for (std::string word; words >> word;) {
        if (word.rfind(key, 0) != 0) continue;
        // console=ttyS0,115200n8 and console=/dev/ttyS0 both name ttyS0.
        std::string value = word.substr(key.size(), word.find(',') - key.size());
        if (value.rfind("/dev/", 0) == 0) value = value.substr(5);
        if (value == name) return true;
    }
    return false;
}

}  // namespace

bool IsSystemConsole(const std::string& device, const std::string& systemRoot) {
    char resolved[PATH_MAX];
    const std::string path = ::realpath(device.c_str(), resolved) != nullptr ? resolved : device;
    const std::string name = LastElement(path);
    if (name.empty() || name == "." || name == "..") return false;
    const std::string root =
        systemRoot.empty() || systemRoot.back() == '/' ? systemRoot : systemRoot + "/";
    const std::string tty = root + "sys/class/tty/";
    const std::string flag = ReadSmallFile(tty + name + "/console", kConsoleFileLimit);
    if (flag.find_first_not_of(" \t\r\n") != std::string::npos &&
        flag[flag.find_first_not_of(" \t\r\n")] == 'Y')
        return true;
    std::istringstream active(ReadSmallFile(tty + "console/active", kConsoleFileLimit));
    for (std::string word; active >> word;)
        if (word == name) return true;
    return NamedInCommandLine(ReadSmallFile(root + "proc/cmdline", kConsoleFileLimit), name);
}

}  // namespace kiv
