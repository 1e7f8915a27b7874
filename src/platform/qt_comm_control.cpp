#include "platform/qt_comm_control.h"

#include <QFileInfo>
#include <algorithm>

#include "model/errors.h"
#include "model/platform.h"
#include "model/texts.h"
#include "platform/comm_control_rules.h"
#include "platform/line_probe.h"
#include "platform/port_diagnosis.h"

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

QtCommControl::QtCommControl(PortMap map)
    : m_map(std::move(map)), m_lockDirectories(DefaultLockDirectories()) {
    m_errorConnection =
        QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                         [this](QSerialPort::SerialPortError error) { OnPortError(error); });
    m_readConnection =
        QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { TakeArrived(); });
}

QtCommControl::~QtCommControl() {
    // Closing can report errors; the members the handler uses are gone by
    // the time m_port itself is destroyed.
    QObject::disconnect(m_errorConnection);
    QObject::disconnect(m_readConnection);
    if (m_port.isOpen()) m_port.close();
}

void QtCommControl::setYielder(Yielder* yielder, MillisecondClock* clock) {
    m_yielder = yielder;
    m_clock = clock;
}

void QtCommControl::RaisePort(const std::string& what) const {
    Raise(ErrorKind::Port, what);
}

void QtCommControl::setInBufferSize(std::int16_t bytes) {
    CheckInBufferSize(bytes);
}

void QtCommControl::setOutBufferSize(std::int16_t bytes) {
    CheckOutBufferSize(bytes);
    m_outBufferSize = bytes;
}

void QtCommControl::setInputMode(std::int32_t mode) {
    CheckInputMode(mode);
}

void QtCommControl::setInputLen(std::int16_t len) {
    CheckInputLen(len);
}

void QtCommControl::setInBufferCount(std::int16_t count) {
    CheckInBufferCount(count);
    if (m_port.isOpen() && !m_port.clear(QSerialPort::Input)) {
        RaisePort(
            Say(TextId::CannotDiscardReceived, {OpenPortLabel(), ToStd(m_port.errorString())}));
    }
}

void QtCommControl::setOutBufferCount(std::int16_t count) {
    CheckOutBufferCount(count);
    if (!m_port.isOpen()) return;
    // Discarding is what was asked for: a frame's rest goes too.
    m_unsent.Clear();
    if (!m_port.clear(QSerialPort::Output)) {
        RaisePort(Say(TextId::CannotDiscardUnsent, {OpenPortLabel(), ToStd(m_port.errorString())}));
    }
}

void QtCommControl::setRThreshold(std::int16_t threshold) {
    CheckRThreshold(threshold);
}

void QtCommControl::setCommPort(std::int16_t port) {
    CheckCommPort(port);
    m_commPort = port;
}

void QtCommControl::setSettings(const std::string& settings) {
    m_settings = CheckSettings(settings);
    m_settingsText = settings;
}

void QtCommControl::setPortOpen(bool open) {
    if (!open) {
        // Closing drops what has not reached the system yet, whole frames
        // only: the rest of a frame whose front is in the device already is
        // kept, and goes first when the same device opens again.
        if (m_port.isOpen()) {
            m_unsent.Close(m_openPath, static_cast<std::size_t>(m_port.bytesToWrite()));
            m_port.close();
        }
        m_lost = false;
        return;
    }
    if (m_port.isOpen()) RaisePort(Say(TextId::PortAlreadyOpen, {OpenPortLabel()}));
    Open();
}

void QtCommControl::Open() {
    const std::string device = m_map.device(m_commPort);
    const std::string label = m_map.Label(m_commPort);
    // A link (/dev/serial/by-id/...) is opened as the device it leads to,
    // so that the lock file Qt writes has the name other programs look for.
    const QString given = QString::fromLocal8Bit(device.c_str());
    const QString resolved = QFileInfo(given).canonicalFilePath();
    const QString path = resolved.isEmpty() ? given : resolved;
    m_port.setPortName(path);
    // Everything is set while closed: it then goes to the device in one step
    // at open, which even a pty accepts.
    const bool accepted =
        m_port.setBaudRate(m_settings.baud) && m_port.setParity(ToQt(m_settings.parity)) &&
        m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits)) &&
        m_port.setStopBits(m_settings.stopBits == 2 ? QSerialPort::TwoStop
                                                    : QSerialPort::OneStop) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!accepted) {
        m_lastSystemError = ToStd(m_port.errorString());
        RaiseOpenFailure(device, label, true);
    }
    // Qt's own lock file check takes a lock in the form other serial
    // programs write (no program name) or one older than half a minute for
    // stale, deletes it and opens the device anyway: look first.
    if (const std::string holder = ClaimDeviceLocks(device, m_lockDirectories); !holder.empty()) {
        m_lastSystemError = "the device's lock file names " + holder;
        OpenFailureFacts facts;
        facts.problem = OpenProblem::Busy;
        facts.label = label;
        facts.device = device;
        facts.holder = holder;
        RaisePort(ExplainOpenFailure(facts));
    }
    m_port.clearError();
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_lastSystemError = ToStd(m_port.errorString());
        RaiseOpenFailure(device, label, false);
    }
    m_openPort = m_commPort;
    m_openDevice = device;
    m_openPath = path.toStdString();
    m_openLabel = label;
    m_openOutBufferSize = m_outBufferSize;
    m_lost = false;
    ++m_session;
    // The receiver on this device got a frame's front before the last
    // close: its rest comes before anything else, so that every later byte
    // stays where the receiver expects it.
    if (const std::vector<std::uint8_t> tail = m_unsent.TakeTail(m_openPath); !tail.empty())
        WriteStraight(tail, true);
}

void QtCommControl::RaiseOpenFailure(const std::string& device, const std::string& label,
                                     bool settingsStage) const {
    OpenFailureFacts facts;
    facts.label = label;
    facts.device = device;
    facts.systemText = m_lastSystemError;
    facts.settings = m_settingsText;
    switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            facts.problem = OpenProblem::Missing;
            break;
        case QSerialPort::PermissionError:
            // Qt says so for a lock file held, an exclusive open and a
            // device this user may not use; the system tells them apart.
            facts.problem = OpenProblem::Busy;
            break;
        case QSerialPort::UnsupportedOperationError:
            facts.problem = OpenProblem::Refused;
            break;
        default:
            facts.problem = settingsStage ? OpenProblem::Refused : OpenProblem::Other;
            break;
    }
    AddSystemFacts(facts);
    RaisePort(ExplainOpenFailure(facts));
}

void QtCommControl::OnPortError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ResourceError && error != QSerialPort::WriteError) return;
    if (!m_port.isOpen()) return;
    // Qt reports a full output queue (EAGAIN) as a ResourceError too; that
    // one passes once the line drains and must not cost the port.
    const LineState state = ProbeLine(m_port.handle());
    if (state == LineState::Full) {
        m_port.clearError();
        return;
    }
    // Qt keeps retrying a vanished device from the event loop, thousands of
    // times a second, until the port is closed; close it on the first report.
    // A device that hung up while its queue was full is reported by Qt with
    // the full queue's EAGAIN, which would hide the loss: the hang-up is
    // what happened.
    MarkLost(state == LineState::Gone ? Say(TextId::DeviceHungUp) : ToStd(m_port.errorString()));
}

void QtCommControl::MarkLost(const std::string& reason) {
    m_lost = true;
    m_lastSystemError = reason;
    if (m_port.isOpen()) m_port.close();
    // The line is gone, and with it whatever receiver waited for a rest.
    m_unsent.Clear();
}

void QtCommControl::RaiseIfNotWritable() {
    if (!m_port.isOpen()) {
        if (m_lost) RaisePort(Say(TextId::PortLost, {OpenPortLabel(), m_lastSystemError}));
        RaisePort(Say(TextId::PortNotOpen));
    }
    // A device that vanished while idle reports nothing until written to;
    // ask the system directly so the loss surfaces here, not a frame later.
    if (ProbeLine(m_port.handle()) == LineState::Gone) {
        MarkLost(Say(TextId::DeviceHungUp));
        RaisePort(Say(TextId::PortLost, {OpenPortLabel(), m_lastSystemError}));
    }
}

void QtCommControl::TakeArrived() {
    if (!m_port.isOpen()) return;
    const QByteArray bytes = m_port.readAll();
    if (bytes.isEmpty()) return;
    const double ms = std::chrono::duration<double, std::milli>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count();
    m_arrived.Add(ms, std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                static_cast<std::size_t>(bytes.size())));
}

const ArrivedStore& QtCommControl::Arrived() {
    TakeArrived();
    return m_arrived;
}

std::int64_t QtCommControl::pendingBytes() const {
    if (!m_port.isOpen()) return 0;
    return m_port.bytesToWrite() + std::max<std::int64_t>(QueuedInDevice(m_port.handle()), 0);
}

void QtCommControl::PushOut() {
    // QSerialPort only queues on write; flush() makes the bytes leave now
    // instead of at the next pass of the event loop. On a full queue the
    // system would answer EAGAIN, which Qt takes for a lost device, so only
    // flush when the device can take something.
    if (m_port.bytesToWrite() > 0 && ProbeLine(m_port.handle()) == LineState::Writable) {
        m_port.flush();
    }
}

void QtCommControl::WaitForRoom() {
    if (m_yielder != nullptr && m_clock != nullptr) {
        PushOut();
        // The window keeps running; its handlers may close or reopen the
        // port meanwhile, which the caller checks after every pass.
        m_yielder->YieldUntil(m_clock->Now() + kYieldSliceMs);
    } else {
        m_port.waitForBytesWritten(kBlockingSliceMs);
    }
}

void QtCommControl::WriteStraight(std::span<const std::uint8_t> frame, bool started) {
    // Nothing waits in Qt's queue, so the frame goes to the device at once:
    // one system call, whose answer also says whether the device is still
    // there, and no write notifier left to wake the event loop afterwards.
    const LineWrite sent = WriteToLine(m_port.handle(), frame);
    if (sent.state == LineState::Gone) {
        MarkLost(sent.reason);
        RaisePort(Say(TextId::PortLost, {OpenPortLabel(), m_lastSystemError}));
    }
    if (sent.written == static_cast<std::int64_t>(frame.size())) return;
    // The device is full: Qt's queue keeps the rest, right behind the part
    // already taken, and its notifier sends it once the line has room.
    const auto rest = frame.subspan(static_cast<std::size_t>(sent.written));
    const qint64 queued =
        m_port.write(reinterpret_cast<const char*>(rest.data()), static_cast<qint64>(rest.size()));
    if (queued != static_cast<qint64>(rest.size())) {
        RaisePort(Say(TextId::WriteRefused, {OpenPortLabel(), ToStd(m_port.errorString())}));
    }
    m_unsent.Add(rest, started || sent.written > 0);
}

std::size_t QtCommControl::Output(std::span<const std::uint8_t> bytes) {
    if (m_port.isOpen() && m_port.bytesToWrite() == 0 && m_openOutBufferSize > 0 &&
        !bytes.empty()) {
        const std::size_t count =
            std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(m_openOutBufferSize));
        m_unsent.Taken(0);
        WriteStraight(bytes.first(count));
        return count;
    }
    const std::uint64_t session = m_session;
    for (;;) {
        RaiseIfNotWritable();
        // The port was closed and opened again while the frame waited for
        // room: the window does that to apply a new frame length, so the
        // frame belongs to a plan that is no longer in force and the new
        // OutBufferSize would cut it or pad it. The close dropped every byte
        // still queued before it; the waiting frame goes with them, whole.
        if (m_session != session) return 0;
        const qint64 count =
            std::min<qint64>(static_cast<qint64>(bytes.size()), m_openOutBufferSize);
        if (count == 0) return 0;
        const qint64 queued = m_port.bytesToWrite();
        // An empty queue always takes the frame, so a frame longer than
        // the limit still goes out.
        if (queued == 0 || queued + count <= m_queueLimit) {
            m_unsent.Taken(static_cast<std::size_t>(queued));
            const qint64 written = m_port.write(reinterpret_cast<const char*>(bytes.data()), count);
            if (written != count) {
                RaisePort(
                    Say(TextId::WriteRefused, {OpenPortLabel(), ToStd(m_port.errorString())}));
            }
            m_unsent.Add(bytes.first(static_cast<std::size_t>(count)), false);
            PushOut();
            // flush() may have found the device gone and closed the port.
            if (!m_port.isOpen())
                RaisePort(Say(TextId::PortLost, {OpenPortLabel(), m_lastSystemError}));
            return static_cast<std::size_t>(count);
        }
        WaitForRoom();
    }
}

}  // namespace kiv
