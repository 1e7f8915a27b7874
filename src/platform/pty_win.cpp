// Windows has no pseudo-terminals, so there is no virtual port: the window
// does not offer one (VirtualPortOffered) and kiv-cli asks for a COM port.
// Should a saved setting still ask for one, opening it fails with a reason.
#include "model/errors.h"
#include "model/texts.h"
#include "platform/pty.h"
#include "platform/pty_port.h"

namespace kiv {
namespace {
std::string NoPty() {
    return Say(TextId::NoPseudoTerminals);
}
}  // namespace

RawPty::RawPty() : m_error(NoPty()) {}
RawPty::~RawPty() = default;
void RawPty::SetMasterNonBlocking() {}
void RawPty::CloseMaster() {}

PtyPort::PtyPort() {
    Raise(ErrorKind::Port, NoPty());
}
PtyPort::~PtyPort() = default;
void PtyPort::setInBufferSize(std::int16_t) {}
void PtyPort::setOutBufferSize(std::int16_t bytes) {
    m_outBufferSize = bytes;
}
void PtyPort::setCommPort(std::int16_t) {}
void PtyPort::setSettings(const std::string&) {}
std::size_t PtyPort::Output(std::span<const std::uint8_t>) {
    Raise(ErrorKind::Port, NoPty());
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
