#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kiv::testing {

// A program run by a test, with its standard output and error captured.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output, or "" when the program closed it or
    // nothing came within the guard (which only keeps a broken test from hanging).
    std::string ReadLine(std::chrono::milliseconds guard = std::chrono::seconds(20));
    void Signal(int signo);
    // Waits for the exit and returns the exit code (128 + signal when killed).
    int Wait(std::chrono::milliseconds guard = std::chrono::seconds(30));
    // Everything the program wrote to standard error, after Wait.
    const std::string& errors() const { return m_errors; }
    // Standard output not yet read as lines, after Wait.
    const std::string& output() const { return m_outBuffer; }

  private:
    void Drain(int fd, std::string& into);
    int m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outBuffer;
    std::string m_errors;
};

// Opens a pseudo-terminal's slave path for reading raw bytes.
class LineReader {
  public:
    explicit LineReader(const std::string& path);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;
    // Reads until count bytes arrived or nothing came for idleGuard.
    std::vector<std::uint8_t> Read(std::size_t count,
                                   std::chrono::milliseconds idleGuard = std::chrono::seconds(5));
    bool ok() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

  private:
    int m_fd = -1;
};

}  // namespace kiv::testing
