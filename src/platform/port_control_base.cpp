#include "platform/port_control_base.h"

#include <algorithm>
#include <chrono>

#include "model/errors.h"
#include "model/platform.h"
#include "platform/comm_control_rules.h"

namespace kiv {

PortControlBase::PortControlBase(PortMap map, WaitSlices slices)
    : m_map(std::move(map)), m_slices(slices) {}

void PortControlBase::setYielder(Yielder* yielder, MillisecondClock* clock) {
    m_yielder = yielder;
    m_clock = clock;
}

void PortControlBase::RaisePort(const std::string& what) const {
    Raise(ErrorKind::Port, what);
}

TextId PortControlBase::NotOpenText(bool /*waited*/) const {
    return TextId::PortNotOpen;
}

void PortControlBase::setInBufferSize(std::int16_t bytes) {
    CheckInBufferSize(bytes);
    m_inBufferSize = bytes;
}

void PortControlBase::setOutBufferSize(std::int16_t bytes) {
    CheckOutBufferSize(bytes);
    m_outBufferSize = bytes;
}

void PortControlBase::setInputMode(std::int32_t mode) {
    CheckInputMode(mode);
}

void PortControlBase::setInputLen(std::int16_t len) {
    CheckInputLen(len);
}

void PortControlBase::setInBufferCount(std::int16_t count) {
    CheckInBufferCount(count);
    if (IsOpen()) DiscardReceived();
}

void PortControlBase::setOutBufferCount(std::int16_t count) {
    CheckOutBufferCount(count);
    if (!IsOpen()) return;
    // Discarding is what was asked for: a frame's rest goes too.
    m_unsent.Clear();
    DiscardUnsent();
}

void PortControlBase::setRThreshold(std::int16_t threshold) {
    CheckRThreshold(threshold);
}

void PortControlBase::setCommPort(std::int16_t port) {
    CheckCommPort(port);
    m_commPort = port;
}

void PortControlBase::setSettings(const std::string& settings) {
    m_settings = CheckSettings(settings);
    m_settingsText = settings;
}

void PortControlBase::setPortOpen(bool open) {
    if (!open) {
        // Closing drops what has not reached the system yet, whole frames
        // only: the rest of a frame whose front is in the device already is
        // kept, and goes first when the same device opens again.
        if (IsOpen()) CloseDevice();
        m_lost = false;
        return;
    }
    if (IsOpen()) RaisePort(Say(TextId::PortAlreadyOpen, {OpenPortLabel()}));
    OpenDevice();
    m_openOutBufferSize = m_outBufferSize;
    m_lost = false;
    ++m_session;
    // The receiver on this device got a frame's front before the last
    // close: its rest comes before anything else, so that every later byte
    // stays where the receiver expects it.
    SendKeptTail();
}

void PortControlBase::MarkLost(const std::string& reason) {
    m_lost = true;
    m_lastSystemError = reason;
    if (IsOpen()) CloseDevice();
    // The line is gone, and with it whatever receiver waited for a rest.
    m_unsent.Clear();
}

void PortControlBase::RaiseLost(const std::string& reason) {
    MarkLost(reason);
    RaiseMarkedLost();
}

void PortControlBase::RaiseMarkedLost() const {
    RaisePort(Say(TextId::PortLost, {OpenPortLabel(), m_lastSystemError}));
}

void PortControlBase::RaiseIfNotWritable(bool waited) {
    if (!IsOpen()) {
        if (m_lost) RaiseMarkedLost();
        RaisePort(Say(NotOpenText(waited)));
    }
    ProbeLost();
}

void PortControlBase::Arrive(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    const double ms = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    m_arrived.Add(ms, bytes);
}

const ArrivedStore& PortControlBase::Arrived() {
    ReadArrived();
    return m_arrived;
}

void PortControlBase::WaitForRoom() {
    if (m_yielder != nullptr && m_clock != nullptr) {
        PushOut();
        // The window keeps running; its handlers may close or reopen the
        // port meanwhile, which Output checks after every pass.
        m_yielder->YieldUntil(m_clock->Now() + m_slices.yieldMs);
    } else {
        Block(m_slices.blockMs);
    }
}

std::size_t PortControlBase::Output(std::span<const std::uint8_t> bytes) {
    const auto count = [&] {
        return std::min<std::size_t>(
            bytes.size(), static_cast<std::size_t>(std::max<int>(m_openOutBufferSize, 0)));
    };
    // Nothing ahead of the frame: it goes to the system at once, without
    // asking the system first whether the device is still there (the write
    // itself tells).
    if (IsOpen() && count() > 0 && Idle()) {
        const std::size_t n = count();
        WriteNow(bytes.first(n));
        return n;
    }
    const std::uint64_t session = m_session;
    for (bool waited = false;; waited = true) {
        RaiseIfNotWritable(waited);
        Settle();
        if (!IsOpen()) continue;
        // The port was closed and opened again while the frame waited for
        // room: the window does that to apply a new frame length, so the
        // frame belongs to a plan that is no longer in force and the new
        // OutBufferSize would cut it or pad it. The close dropped every byte
        // still queued before it; the waiting frame goes with them, whole.
        if (m_session != session) return 0;
        const std::size_t n = count();
        if (n == 0) return 0;
        const std::int64_t queued = QueuedHere();
        // An empty queue always takes the frame, so a frame longer than
        // the limit still goes out.
        if (queued == 0 || queued + static_cast<std::int64_t>(n) <= QueueLimit()) {
            WriteBehind(bytes.first(n), queued);
            return n;
        }
        WaitForRoom();
    }
}

}  // namespace kiv
