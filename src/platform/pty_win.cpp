// Windows has no pseudo-terminals, so there is no virtual port: the window
// does not offer one (VirtualPortOffered) and kiv-cli asks for a COM port.
// Should a saved setting still ask for one, opening it fails with a reason.
#include "model/errors.h"
#include "platform/pty.h"
#include "platform/pty_port.h"

namespace kiv {
namespace {
constexpr const char* kNoPty =
    "this system has no pseudo-terminals for a virtual port; choose a COM port (a null-modem "
    "emulator pair such as com0com gives two connected ones)";
}

RawPty::RawPty() : m_error(kNoPty) {}
RawPty::~RawPty() = default;
void RawPty::SetMasterNonBlocking() {}
void RawPty::CloseMaster() {}

PtyPort::PtyPort() {
    Raise(ErrorKind::Port, kNoPty);
}
PtyPort::~PtyPort() = default;
void PtyPort::setInBufferSize(std::int16_t) {}
void PtyPort::setOutBufferSize(std::int16_t bytes) {
    m_outBufferSize = bytes;
}
void PtyPort::setCommPort(std::int16_t) {}
void PtyPort::setSettings(const std::string&) {}
void PtyPort::Output(std::span<const std::uint8_t>) {
    Raise(ErrorKind::Port, kNoPty);
}
int PtyPort::Queued() const {
    return 0;
}
void PtyPort::Drain(int) const {}
const ArrivedStore& PtyPort::Arrived() {
    return m_arrived;
}
bool PtyPort::ReceiverHolds() {
    return true;
}
void PtyPort::WaitForRoom(std::size_t) {}

}  // namespace kiv
