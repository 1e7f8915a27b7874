#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ext/stdio_filebuf.h>
#include <ostream>

#include "model/texts.h"
#include "platform/log_stream.h"

namespace kiv {
namespace {

// An output stream that owns its descriptor and closes it with itself.
class DescriptorStream : public std::ostream {
  public:
    explicit DescriptorStream(int fd) : std::ostream(nullptr), m_buffer(fd, std::ios::out) {
        rdbuf(&m_buffer);
    }

  private:
    __gnu_cxx::stdio_filebuf<char> m_buffer;
};

bool IsTheNullDevice(const struct stat& s) {
    struct stat null {};
    return S_ISCHR(s.st_mode) && ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) &&
           s.st_rdev == null.st_rdev;
}

}  // namespace

LogStream OpenLogStream(const std::string& path) {
    struct stat reached {};
    if (::stat(path.c_str(), &reached) != 0) return LogIsAFile{};
    const bool pipe = S_ISFIFO(reached.st_mode);
    if (!pipe && !IsTheNullDevice(reached)) return LogIsAFile{};
    // Without O_NONBLOCK, opening a pipe that nobody reads waits for a
    // reader for ever; with it, the open fails at once (ENXIO) instead.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (pipe && errno == ENXIO) return Say(TextId::LogPipeNoReader);
        return std::string(std::strerror(errno));
    }
    // What was opened is what was looked at, not something put there since.
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 ||
        (pipe ? !S_ISFIFO(opened.st_mode) : !IsTheNullDevice(opened))) {
        ::close(fd);
        return LogIsAFile{};
    }
    // Writes wait for the reader as they do on standard output.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::unique_ptr<std::ostream>(std::make_unique<DescriptorStream>(fd));
}

}  // namespace kiv
