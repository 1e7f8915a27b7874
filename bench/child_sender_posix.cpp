#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "child_sender.h"
#include "rusage_posix.h"

namespace kiv::bench {

Usage RunChild(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // What the program says goes to a file, shown only when it fails, so
    // that the table stays readable.
    std::FILE* errors = std::tmpfile();
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, STDOUT_FILENO);
        if (errors != nullptr) ::dup2(::fileno(errors), STDERR_FILENO);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
    }
    std::string said;
    if (errors != nullptr) {
        std::rewind(errors);
        char buf[512];
        while (std::fgets(buf, sizeof buf, errors) != nullptr) said += buf;
        std::fclose(errors);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(program + " ended with status " + std::to_string(status) + ": " +
                                 said);
    }
    return FromRusage(usage);
}

ChildSendFunction KivCliSender(std::string program) {
    return [program](const std::string& devicePath, int periodMs, int frames) {
        return RunChild(program, {"--device", devicePath, "--frame", "5,6,sinx1,sinx2", "--period",
                                  std::to_string(periodMs), "--frames", std::to_string(frames)});
    };
}

ChildSendFunction WindowSender(std::string program, std::string page, int slotCount, bool noise) {
    return
        [program, page, slotCount, noise](const std::string& devicePath, int periodMs, int frames) {
            std::vector<std::string> args = {devicePath, std::to_string(periodMs),
                                             std::to_string(frames), page};
            if (slotCount > 0) args.push_back(std::to_string(slotCount));
            if (slotCount > 0 && noise) args.emplace_back("noise");
            return RunChild(program, args);
        };
}

}  // namespace kiv::bench
