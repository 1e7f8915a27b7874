#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/pty.h"

namespace kiv {
namespace {

bool MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

RawPty::RawPty() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_error = std::string("openpty: ") + std::strerror(errno);
        m_master = m_slave = -1;
        return;
    }
    if (!MakeRaw(m_master) || !MakeRaw(m_slave)) {
        m_error = std::string("raw pty: ") + std::strerror(errno);
        ::close(m_master);
        ::close(m_slave);
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = name;
}

RawPty::~RawPty() {
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

void RawPty::SetMasterNonBlocking() {
    if (m_master >= 0) ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

void RawPty::CloseMaster() {
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

}  // namespace kiv
