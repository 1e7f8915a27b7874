#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "support/child_process.h"

namespace kiv::testing {

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
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
    m_out = out[0];
    m_err = err[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
    if (m_err >= 0) close(m_err);
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds guard) {
    const auto until = std::chrono::steady_clock::now() + guard;
    for (;;) {
        const auto nl = m_outBuffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_outBuffer.substr(0, nl);
            m_outBuffer.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return "";
        pollfd p{m_out, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
        char buf[512];
        const ssize_t n = read(m_out, buf, sizeof buf);
        if (n <= 0) return "";
        m_outBuffer.append(buf, static_cast<std::size_t>(n));
    }
}

void ChildProcess::Signal(int signo) {
    if (m_pid > 0) kill(m_pid, signo);
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
        Drain(m_err, m_errors);
        Drain(m_out, m_outBuffer);
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) break;
        if (std::chrono::steady_clock::now() > until) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
    Drain(m_err, m_errors);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

LineReader::LineReader(const std::string& path) {
    m_fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
}

LineReader::~LineReader() {
    if (m_fd >= 0) close(m_fd);
}

std::vector<std::uint8_t> LineReader::Read(std::size_t count, std::chrono::milliseconds idleGuard) {
    std::vector<std::uint8_t> got;
    auto quietUntil = std::chrono::steady_clock::now() + idleGuard;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            quietUntil - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{m_fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        std::uint8_t buf[4096];
        const ssize_t n = read(m_fd, buf, std::min(sizeof buf, count - got.size()));
        // A wake-up with nothing to read yet is not the end of the line; a
        // hang-up is (the program closed its side).
        const bool hungUp = (p.revents & (POLLHUP | POLLERR)) != 0;
        if ((n < 0 && (errno == EINTR || errno == EAGAIN)) || (n == 0 && !hungUp)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
        quietUntil = std::chrono::steady_clock::now() + idleGuard;
    }
    return got;
}

}  // namespace kiv::testing
