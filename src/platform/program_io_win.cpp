// Windows gives a program its command line in UTF-16, and a console shows
// bytes in its own code page (437, 936, ...), in which the program's UTF-8
// reads as mojibake. So the arguments are taken from the UTF-16 command
// line, and standard output and error go through a buffer of their own:
// to a console as UTF-16 (WriteConsoleW), which every code page shows; to
// a file or a pipe as the UTF-8 bytes, each line ending in CR LF as the C
// runtime's text mode writes it.
#include <windows.h>

// After windows.h, which it needs.
#include <io.h>
#include <shellapi.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "platform/program_io.h"

namespace kiv {
namespace {

std::string Utf8Of(const wchar_t* text) {
    const int wide = static_cast<int>(wcslen(text));
    if (wide == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), size, nullptr, nullptr);
    return out;
}

// errno for a write the system refused: a reader that has gone is EPIPE,
// as on Linux, not the C runtime's EINVAL.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_NO_DATA:
        case ERROR_BROKEN_PIPE:
        case ERROR_PIPE_NOT_CONNECTED:
            return EPIPE;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        default:
            return EIO;
    }
}

// How many bytes at the end of [text, text + size) start a UTF-8 sequence
// that is not complete yet: they wait for the rest.
std::size_t CutSequence(const char* text, std::size_t size) {
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        const auto c = static_cast<unsigned char>(text[size - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
    }
    return 0;
}

class StandardStreamBuffer final : public std::streambuf {
  public:
    explicit StandardStreamBuffer(DWORD which) : m_handle(GetStdHandle(which)) {
        DWORD mode = 0;
        m_console = m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE &&
                    GetConsoleMode(m_handle, &mode) != 0;
        setp(m_buffer, m_buffer + sizeof m_buffer);
    }

  protected:
    int_type overflow(int_type c) override {
        if (!Drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    int sync() override { return Drain() ? 0 : -1; }

  private:
    // Writes what is buffered; a sequence cut at the end of the buffer
    // waits for its rest before it goes to a console.
    bool Drain() {
        const auto size = static_cast<std::size_t>(pptr() - pbase());
        const std::size_t kept = m_console ? CutSequence(pbase(), size) : 0;
        const bool written = m_console ? ToConsole(pbase(), size - kept) : ToFile(pbase(), size);
        std::memmove(m_buffer, pbase() + size - kept, kept);
        setp(m_buffer, m_buffer + sizeof m_buffer);
        pbump(static_cast<int>(kept));
        return written;
    }

    bool ToConsole(const char* text, std::size_t size) {
        if (size == 0) return true;
        const int count = static_cast<int>(size);
        const int wide = MultiByteToWideChar(CP_UTF8, 0, text, count, nullptr, 0);
        if (wide <= 0) return Failed(GetLastError());
        std::wstring out(static_cast<std::size_t>(wide), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, text, count, out.data(), wide);
        for (std::size_t at = 0; at < out.size();) {
            DWORD done = 0;
            const auto part = static_cast<DWORD>(out.size() - at);
            if (!WriteConsoleW(m_handle, out.data() + at, part, &done, nullptr) || done == 0)
                return Failed(GetLastError());
            at += done;
        }
        return true;
    }

    bool ToFile(const char* text, std::size_t size) {
        std::string out;
        out.reserve(size + size / 16);
        for (std::size_t i = 0; i < size; ++i) {
            if (text[i] == '\n') out += '\r';
            out += text[i];
        }
        for (std::size_t at = 0; at < out.size();) {
            DWORD done = 0;
            const auto part = static_cast<DWORD>(out.size() - at);
            if (!WriteFile(m_handle, out.data() + at, part, &done, nullptr) || done == 0)
                return Failed(GetLastError());
            at += done;
        }
        return true;
    }

    static bool Failed(DWORD error) {
        errno = ErrnoOf(error);
        return false;
    }

    HANDLE m_handle;
    bool m_console = false;
    char m_buffer[4096];
};

StandardStreamBuffer& ErrorBuffer() {
    // Never freed: std::cerr may be flushed as the program ends, after
    // every object of ours is gone.
    static auto* err = new StandardStreamBuffer(STD_ERROR_HANDLE);
    return *err;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(Utf8Of(wide[i]));
    LocalFree(wide);
    return args;
}

void SetUpStandardStreams() {
    static auto* out = new StandardStreamBuffer(STD_OUTPUT_HANDLE);
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(out);
    std::cerr.rdbuf(&ErrorBuffer());
}

void WriteStandardError(const std::string& text) {
    StandardStreamBuffer& err = ErrorBuffer();
    err.sputn(text.data(), static_cast<std::streamsize>(text.size()));
    err.pubsync();
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

void EndAtOnce(const char* text, int exitCode) {
    [[maybe_unused]] const int n = _write(2, text, static_cast<unsigned>(std::strlen(text)));
    _exit(exitCode);
}

}  // namespace kiv
