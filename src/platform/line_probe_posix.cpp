#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/line_probe.h"

namespace kiv {

LineState ProbeLine(std::intptr_t handle) {
    pollfd pfd{};
    pfd.fd = static_cast<int>(handle);
    pfd.events = POLLOUT;
    int ready = 0;
    do {
        ready = ::poll(&pfd, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return LineState::Gone;
    if (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) return LineState::Gone;
    if (pfd.revents & POLLOUT) return LineState::Writable;
    return LineState::Full;
}

std::int64_t QueuedInDevice(std::intptr_t handle) {
    int queued = 0;
    if (::ioctl(static_cast<int>(handle), TIOCOUTQ, &queued) != 0) return -1;
    return queued;
}

LineWrite WriteToLine(std::intptr_t handle, std::span<const std::uint8_t> bytes) {
    LineWrite result;
    while (result.written < static_cast<std::int64_t>(bytes.size())) {
        const auto rest = bytes.subspan(static_cast<std::size_t>(result.written));
        const ssize_t n = ::write(static_cast<int>(handle), rest.data(), rest.size());
        if (n > 0) {
            result.written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            result.state = LineState::Full;
            break;
        } else {
            result.state = LineState::Gone;
            result.reason = std::strerror(errno);
            break;
        }
    }
    return result;
}

}  // namespace kiv
