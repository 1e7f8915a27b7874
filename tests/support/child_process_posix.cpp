#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/child_process.h"

namespace kiv::testing {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds guard) {
    const auto until = std::chrono::steady_clock::now() + guard;
    for (;;) {
        const auto nl = outBuffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = outBuffer_.substr(0, nl);
            outBuffer_.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "";
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
        char buf[512];
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0) return "";
        outBuffer_.append(buf, static_cast<std::size_t>(n));
    }
}

void ChildProcess::Signal(int signo) {
    if (pid_ > 0) kill(pid_, signo);
}

void ChildProcess::Drain(int fd, std::string& into) {
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return;
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return;
        into.append(buf, static_cast<std::size_t>(n));
    }
}

int ChildProcess::Wait(std::chrono::milliseconds guard) {
    const auto until = std::chrono::steady_clock::now() + guard;
    int status = 0;
    for (;;) {
        Drain(err_, errors_);
        Drain(out_, outBuffer_);
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (std::chrono::steady_clock::now() > until) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    Drain(err_, errors_);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

LineReader::LineReader(const std::string& path) {
    fd_ = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
}

LineReader::~LineReader() {
    if (fd_ >= 0) close(fd_);
}

std::vector<std::uint8_t> LineReader::Read(std::size_t count, std::chrono::milliseconds idleGuard) {
    std::vector<std::uint8_t> got;
    while (got.size() < count) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(idleGuard.count())) <= 0) break;
        std::uint8_t buf[4096];
        const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

}  // namespace kiv::testing
