#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/errors.h"
#include "model/texts.h"
#include "platform/comm_control_rules.h"
#include "platform/pty_port.h"

namespace kiv {
namespace {

// The line discipline holds 4096 bytes of unread input; stay below it so a
// write never goes out in part.
constexpr int kLineCapacity = 4000;

}  // namespace

PtyPort::PtyPort() : PortControlBase(PortMap(), kPolledSlices) {
    if (!m_pty.ok()) RaisePort(Say(TextId::NoPseudoTerminal, {m_pty.error()}));
    m_pty.SetMasterNonBlocking();
    // Only opens and closes from now on are seen: this program's own slave
    // descriptor was opened with the pair, and stays open.
    m_openWatch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_openWatch >= 0 &&
        inotify_add_watch(m_openWatch, m_pty.slavePath().c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(m_openWatch);
        m_openWatch = -1;
    }
}

PtyPort::~PtyPort() {
    if (m_openWatch >= 0) close(m_openWatch);
}

bool PtyPort::ReceiverHolds() {
    if (m_openWatch < 0) return true;
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t n = read(m_openWatch, events, sizeof events);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->mask & IN_Q_OVERFLOW) {
                close(m_openWatch);
                m_openWatch = -1;
                return true;
            }
            if (e->mask & IN_OPEN) m_held = true;
            // Equal events in a row arrive as one, so the opens cannot be
            // counted: a close is checked against the holders themselves.
            if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) m_held = HeldElsewhere();
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return m_held;
}

// Whether a descriptor of any process this program may look at, other
// than its own slave descriptor, names the slave's path.
bool PtyPort::HeldElsewhere() const {
    const pid_t self = getpid();
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return true;
    bool held = false;
    while (!held) {
        const dirent* p = readdir(processes);
        if (p == nullptr) break;
        const std::string pid = p->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string fds = "/proc/" + pid + "/fd";
        DIR* dir = opendir(fds.c_str());
        if (dir == nullptr) continue;  // gone, or not ours to see
        while (const dirent* f = readdir(dir)) {
            if (f->d_name[0] == '.') continue;
            if (std::stol(pid) == self && std::atoi(f->d_name) == m_pty.slave()) continue;
            char target[256];
            const ssize_t n = readlink((fds + "/" + f->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == m_pty.slavePath()) {
                held = true;
                break;
            }
        }
        closedir(dir);
    }
    closedir(processes);
    return held;
}

void PtyPort::OpenDevice() {
    m_openDevice = m_pty.slavePath();
    m_openLabel = PortLabel(m_commPort, m_openDevice);
    m_open = true;
}

TextId PtyPort::NotOpenText(bool waited) const {
    return waited ? TextId::PortClosedWhileWaiting : TextId::PortClosed;
}

void PtyPort::ReadArrived() {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = read(m_pty.master(), buffer, sizeof buffer);
        if (n <= 0) break;
        Arrive(std::span(buffer, static_cast<std::size_t>(n)));
    }
}

int PtyPort::Queued() const {
    int queued = 0;
    if (ioctl(m_pty.slave(), FIONREAD, &queued) != 0) return 0;
    return queued;
}

void PtyPort::Drain(int limitMs) const {
    // Bytes written to the master reach the slave's queue a moment later, so
    // an empty queue counts only once it has stayed empty for a while.
    int quietMs = 0;
    for (int waited = 0; waited < limitMs && quietMs < 20; ++waited) {
        quietMs = Queued() > 0 ? 0 : quietMs + 1;
        usleep(1000);
    }
}

std::int64_t PtyPort::QueueLimit() const {
    return kLineCapacity;
}

void PtyPort::Block(std::uint32_t ms) {
    usleep(ms * 1000);
}

void PtyPort::WriteBehind(std::span<const std::uint8_t> frame, std::int64_t /*queued*/) {
    const std::size_t n = frame.size();
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = write(m_pty.master(), frame.data() + done, n - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
        } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
            RaisePort(Say(TextId::WriteFailed, {std::strerror(errno)}));
        } else {
            // Finish the frame: a part of one on the line would shift every
            // later byte for the receiver.
            pollfd p{m_pty.master(), POLLOUT, 0};
            poll(&p, 1, 10);
        }
    }
}

}  // namespace kiv
