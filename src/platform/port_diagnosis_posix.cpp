#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/texts.h"
#include "platform/port_diagnosis.h"
#include "platform/small_file.h"

namespace kiv {
namespace {

// Lock files and process names are a line or a few bytes.
constexpr std::size_t kLockFileLimit = 256;

bool ProcessRuns(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool ProcessGone(long pid) {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

std::string ProcessName(long pid) {
    std::string name = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm", kLockFileLimit);
    while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back())) != 0)
        name.pop_back();
    for (char& c : name)
        if (std::iscntrl(static_cast<unsigned char>(c)) != 0) c = '?';
    return name;
}

void AddNames(const std::string& path, std::vector<std::string>& names) {
    const auto add = [&names](std::string name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    };
    const std::string dev = "/dev/";
    const std::string below = path.rfind(dev, 0) == 0 ? path.substr(dev.size()) : path;
    for (const char separator : {'_', ':'}) {
        std::string name = below;
        for (char& c : name)
            if (c == '/') c = separator;
        add(name);
    }
    const auto slash = path.find_last_of('/');
    add(slash == std::string::npos ? path : path.substr(slash + 1));
}

// The first folder on the path that this user may not enter (search), or
// "" when there is none to blame.
std::string FolderNotEntered(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::access(folder.c_str(), X_OK) != 0 && errno == EACCES) return folder;
    }
    return "";
}

std::string Describe(long pid) {
    const std::string program = ProcessName(pid);
    return Say(TextId::ProgramWithPid,
               {program.empty() ? Say(TextId::SomeProgram) : program, std::to_string(pid)});
}

}  // namespace

std::vector<std::string> LockFileNames(const std::string& device) {
    std::vector<std::string> names;
    if (device.empty()) return names;
    AddNames(device, names);
    // A link (/dev/serial/by-id/..., a symlink of the user's) locks the same
    // device as its target, whose name other programs lock it by.
    char resolved[PATH_MAX];
    if (::realpath(device.c_str(), resolved) != nullptr && device != resolved)
        AddNames(resolved, names);
    return names;
}

const std::vector<std::string>& DefaultLockDirectories() {
    static const std::vector<std::string> dirs = {"/run/lock", "/var/lock"};
    return dirs;
}

std::string LockHolder(const std::string& device, const std::vector<std::string>& dirs) {
    const std::vector<std::string> names = LockFileNames(device);
    for (const std::string& dir : dirs) {
        for (const std::string& name : names) {
            const long pid = LockFilePid(ReadSmallFile(dir + "/LCK.." + name, kLockFileLimit));
            if (ProcessRuns(pid)) return Describe(pid);
        }
    }
    return {};
}

std::string ClaimDeviceLocks(const std::string& device, const std::vector<std::string>& dirs) {
    const std::string holder = LockHolder(device, dirs);
    if (!holder.empty()) return holder;
    for (const std::string& dir : dirs) {
        for (const std::string& name : LockFileNames(device)) {
            const std::string path = dir + "/LCK.." + name;
            const std::string text = ReadSmallFile(path, kLockFileLimit);
            // Read again just before removing: a program that took the
            // device meanwhile has written its own lock over the stale one.
            if (ProcessGone(LockFilePid(text)) && ReadSmallFile(path, kLockFileLimit) == text)
                ::unlink(path.c_str());
        }
    }
    return {};
}

void AddSystemFacts(OpenFailureFacts& facts) {
    facts.holder = LockHolder(facts.device);
    struct stat st {};
    if (::stat(facts.device.c_str(), &st) != 0) {
        const int why = errno;
        facts.unreachable = std::strerror(why);
        facts.pathMissing = why == ENOENT || why == ENOTDIR;
        if (why == EACCES) facts.deniedFolder = FolderNotEntered(facts.device);
        return;
    }
    facts.accessDenied = ::access(facts.device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
    const passwd* owner = ::getpwuid(st.st_uid);
    facts.deviceOwner = owner != nullptr ? owner->pw_name : std::to_string(st.st_uid);
    const group* g = ::getgrgid(st.st_gid);
    facts.deviceGroup = g != nullptr ? g->gr_name : std::to_string(st.st_gid);
    facts.deviceMode = static_cast<int>(st.st_mode & 07777);
}

}  // namespace kiv
