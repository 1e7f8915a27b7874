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

PtyPort::PtyPort() : PortControlBase(PortMap(), kPolledSlices) {
    RaisePort(NoPty());
}
PtyPort::~PtyPort() = default;
int PtyPort::Queued() const {
    return 0;
}
void PtyPort::Drain(int) const {}
bool PtyPort::ReceiverHolds() {
    return true;
}
void PtyPort::OpenDevice() {
    RaisePort(NoPty());
}
TextId PtyPort::NotOpenText(bool) const {
    return TextId::NoPseudoTerminals;
}
std::int64_t PtyPort::QueueLimit() const {
    return 0;
}
void PtyPort::WriteBehind(std::span<const std::uint8_t>, std::int64_t) {
    RaisePort(NoPty());
}
void PtyPort::Block(std::uint32_t) {}
void PtyPort::ReadArrived() {}

}  // namespace kiv
