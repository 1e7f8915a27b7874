#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <fstream>

#include "platform/port_diagnosis.h"

namespace kiv {
namespace {

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

}  // namespace

namespace {

bool ProcessRuns(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::string ProcessName(long pid) {
    std::string name = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm");
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0)
        name.pop_back();
    for (char& c : name)
        if (std::iscntrl(static_cast<unsigned char>(c)) != 0) c = '?';
    return name;
}

std::vector<std::string> LockNames(const std::string& device) {
    std::vector<std::string> names;
    const std::string dev = "/dev/";
    if (device.rfind(dev, 0) == 0) {
        std::string below = device.substr(dev.size());
        for (char& c : below)
            if (c == '/') c = '_';
        names.push_back(below);
    }
    const auto slash = device.find_last_of('/');
    const std::string last = slash == std::string::npos ? device : device.substr(slash + 1);
    if (!last.empty() && (names.empty() || names.front() != last)) names.push_back(last);
    return names;
}

}  // namespace

const std::vector<std::string>& DefaultLockDirectories() {
    static const std::vector<std::string> dirs = {"/run/lock", "/var/lock"};
    return dirs;
}

std::string LockHolder(const std::string& device, const std::vector<std::string>& dirs) {
    for (const std::string& dir : dirs) {
        for (const std::string& name : LockNames(device)) {
            const long pid = LockFilePid(ReadSmallFile(dir + "/LCK.." + name));
            if (!ProcessRuns(pid)) continue;
            const std::string program = ProcessName(pid);
            return (program.empty() ? std::string("a program") : program) + " (process " +
                   std::to_string(pid) + ")";
        }
    }
    return {};
}

void AddSystemFacts(OpenFailureFacts& facts) {
    facts.holder = LockHolder(facts.device);
    struct stat st {};
    if (::stat(facts.device.c_str(), &st) != 0) return;
    facts.accessDenied = ::access(facts.device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
    if (const group* g = ::getgrgid(st.st_gid); g != nullptr && st.st_gid != 0)
        facts.deviceGroup = g->gr_name;
}

}  // namespace kiv
