#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>

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

}  // namespace kiv
