#include "platform/qt_comm_control.h"

#include <algorithm>

#include "platform/line_probe.h"
#include "model/errors.h"
#include "model/platform.h"

namespace kiv {
namespace {

// One wait slice while the queue is over its limit: short enough that the
// window stays responsive and a freed line is noticed at once, long enough
// that a stuck line costs no measurable CPU.
constexpr std::uint32_t kYieldSliceMs = 5;
constexpr int kBlockingSliceMs = 10;

std::string ToStd(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QSerialPort::Parity ToQt(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return QSerialPort::OddParity;
        case Parity::Even:
            return QSerialPort::EvenParity;
        case Parity::None:
            break;
    }
    return QSerialPort::NoParity;
}

}  // namespace

QtCommControl::QtCommControl(PortMap map) : map_(std::move(map)) {
    errorConnection_ =
        QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                         [this](QSerialPort::SerialPortError error) { OnPortError(error); });
}

QtCommControl::~QtCommControl() {
    // Closing can report errors; the members the handler uses are gone by
    // the time port_ itself is destroyed.
    QObject::disconnect(errorConnection_);
    if (port_.isOpen()) port_.close();
}

void QtCommControl::setYielder(Yielder* yielder, MillisecondClock* clock) {
    yielder_ = yielder;
    clock_ = clock;
}

void QtCommControl::RaisePort(const std::string& what) const {
    Raise(ErrorKind::Port, what);
}

std::string QtCommControl::PortLabel(int port, const std::string& device) const {
    return "COM" + std::to_string(port) + " (" + device + ")";
}

std::string QtCommControl::OpenPortLabel() const {
    return PortLabel(openPort_, openDevice_);
}

// KIV never reads the line, so the receive-side members only have to hold
// sane values; nothing below them would use the values.
void QtCommControl::setInBufferSize(std::int16_t bytes) {
    if (bytes < 0) RaisePort("InBufferSize " + std::to_string(bytes) + " is negative");
}

void QtCommControl::setOutBufferSize(std::int16_t bytes) {
    if (bytes < 0) RaisePort("OutBufferSize " + std::to_string(bytes) + " is negative");
    outBufferSize_ = bytes;
}

void QtCommControl::setInputMode(std::int32_t mode) {
    // 0 text, 1 raw bytes: the two modes the control has.
    if (mode != 0 && mode != 1) RaisePort("InputMode " + std::to_string(mode) + " is not 0 or 1");
}

void QtCommControl::setInputLen(std::int16_t len) {
    if (len < 0) RaisePort("InputLen " + std::to_string(len) + " is negative");
}

void QtCommControl::setInBufferCount(std::int16_t count) {
    // Only emptying the buffer means anything; there is no way to fill it.
    if (count != 0) RaisePort("InBufferCount can only be set to 0, not " + std::to_string(count));
    if (port_.isOpen() && !port_.clear(QSerialPort::Input)) {
        RaisePort(OpenPortLabel() +
                  ": cannot discard received bytes: " + ToStd(port_.errorString()));
    }
}

void QtCommControl::setOutBufferCount(std::int16_t count) {
    if (count != 0) RaisePort("OutBufferCount can only be set to 0, not " + std::to_string(count));
    if (port_.isOpen() && !port_.clear(QSerialPort::Output)) {
        RaisePort(OpenPortLabel() + ": cannot discard unsent bytes: " + ToStd(port_.errorString()));
    }
}

void QtCommControl::setRThreshold(std::int16_t threshold) {
    if (threshold < 0) RaisePort("RThreshold " + std::to_string(threshold) + " is negative");
}

void QtCommControl::setCommPort(std::int16_t port) {
    if (port < PortMap::kFirstPort || port > PortMap::kLastPort) {
        RaisePort("CommPort " + std::to_string(port) + " is not 1..4");
    }
    commPort_ = port;
}

void QtCommControl::setSettings(const std::string& settings) {
    const auto parsed = ParseLineSettings(settings);
    if (!parsed) RaisePort("Settings \"" + settings + "\" are not baud,parity,data,stop");
    settings_ = *parsed;
}

void QtCommControl::setPortOpen(bool open) {
    if (!open) {
        // Closing drops what has not reached the system yet; the program
        // only closes between frames or to stop.
        if (port_.isOpen()) port_.close();
        lost_ = false;
        return;
    }
    if (port_.isOpen()) RaisePort(OpenPortLabel() + " is already open");
    Open();
}

void QtCommControl::Open() {
    const std::string device = map_.device(commPort_);
    const std::string label = PortLabel(commPort_, device);
    port_.setPortName(QString::fromLocal8Bit(device.c_str()));
    // Everything is set while closed: it then goes to the device in one step
    // at open, which even a pty accepts.
    const bool accepted =
        port_.setBaudRate(settings_.baud) && port_.setParity(ToQt(settings_.parity)) &&
        port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits)) &&
        port_.setStopBits(settings_.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
        port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!accepted) {
        lastSystemError_ = ToStd(port_.errorString());
        RaisePort(label + ": settings refused: " + lastSystemError_);
    }
    port_.clearError();
    if (!port_.open(QIODevice::WriteOnly)) {
        lastSystemError_ = ToStd(port_.errorString());
        RaisePort("cannot open " + label + ": " + lastSystemError_);
    }
    openPort_ = commPort_;
    openDevice_ = device;
    openOutBufferSize_ = outBufferSize_;
    lost_ = false;
    ++session_;
}

void QtCommControl::OnPortError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError) return;
    if (!port_.isOpen()) return;
    // Qt reports a full output queue (EAGAIN) as a ResourceError too; that
    // one passes once the line drains and must not cost the port.
    if (ProbeLine(port_.handle()) == LineState::Full) {
        port_.clearError();
        return;
    }
    // Qt keeps retrying a vanished device from the event loop, thousands of
    // times a second, until the port is closed; close it on the first report.
    MarkLost(ToStd(port_.errorString()));
}

void QtCommControl::MarkLost(const std::string& reason) {
    lost_ = true;
    lastSystemError_ = reason;
    if (port_.isOpen()) port_.close();
}

void QtCommControl::RaiseIfNotWritable() {
    if (!port_.isOpen()) {
        if (lost_) RaisePort(OpenPortLabel() + " was lost: " + lastSystemError_);
        RaisePort("the port is not open");
    }
    // A device that vanished while idle reports nothing until written to;
    // ask the system directly so the loss surfaces here, not a frame later.
    if (ProbeLine(port_.handle()) == LineState::Gone) {
        MarkLost("the device hung up or was removed");
        RaisePort(OpenPortLabel() + " was lost: " + lastSystemError_);
    }
}

void QtCommControl::PushOut() {
    // QSerialPort only queues on write; flush() makes the bytes leave now
    // instead of at the next pass of the event loop. On a full queue the
    // system would answer EAGAIN, which Qt takes for a lost device, so only
    // flush when the device can take something.
    if (port_.bytesToWrite() > 0 && ProbeLine(port_.handle()) == LineState::Writable) {
        port_.flush();
    }
}

void QtCommControl::CheckStall(StallWatch& watch) {
    if (stallLimit_.count() <= 0) return;
    const auto now = std::chrono::steady_clock::now();
    const std::int64_t inDevice = QueuedInDevice(port_.handle());
    const qint64 pending = port_.bytesToWrite() + std::max<std::int64_t>(inDevice, 0);
    if (watch.session != session_ || pending != watch.pending) {
        watch = StallWatch{session_, pending, now};
        return;
    }
    if (now - watch.since >= stallLimit_) {
        RaisePort(OpenPortLabel() + ": the line has taken no byte for " +
                  std::to_string(stallLimit_.count()) + " ms");
    }
}

void QtCommControl::WaitForRoom() {
    if (yielder_ != nullptr && clock_ != nullptr) {
        PushOut();
        // The window keeps running; its handlers may close or reopen the
        // port meanwhile, which the caller checks after every pass.
        yielder_->YieldUntil(clock_->Now() + kYieldSliceMs);
    } else {
        port_.waitForBytesWritten(kBlockingSliceMs);
    }
}

void QtCommControl::Output(std::span<const std::uint8_t> bytes) {
    StallWatch watch;
    for (;;) {
        RaiseIfNotWritable();
        // Recomputed on every pass: a reopen during the wait may have
        // brought a new OutBufferSize.
        const qint64 count =
            std::min<qint64>(static_cast<qint64>(bytes.size()), openOutBufferSize_);
        if (count == 0) return;
        const qint64 queued = port_.bytesToWrite();
        // An empty queue always takes the frame, so a frame longer than
        // the limit still goes out.
        if (queued == 0 || queued + count <= queueLimit_) {
            const qint64 written = port_.write(reinterpret_cast<const char*>(bytes.data()), count);
            if (written != count) {
                RaisePort(OpenPortLabel() + ": write refused: " + ToStd(port_.errorString()));
            }
            PushOut();
            // flush() may have found the device gone and closed the port.
            if (!port_.isOpen()) RaisePort(OpenPortLabel() + " was lost: " + lastSystemError_);
            return;
        }
        CheckStall(watch);
        WaitForRoom();
    }
}

}  // namespace kiv
