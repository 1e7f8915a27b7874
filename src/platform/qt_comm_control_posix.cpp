#include <QFileInfo>
#include <algorithm>

#include "model/errors.h"
#include "model/platform.h"
#include "model/texts.h"
#include "platform/comm_control_rules.h"
#include "platform/line_probe.h"
#include "platform/port_diagnosis.h"
#include "platform/qt_comm_control.h"

namespace kiv {
namespace {

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
    : PortControlBase(std::move(map)), m_lockDirectories(DefaultLockDirectories()) {
    m_errorConnection =
        QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                         [this](QSerialPort::SerialPortError error) { OnPortError(error); });
    m_readConnection =
        QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { ReadArrived(); });
}

QtCommControl::~QtCommControl() {
    // Closing can report errors; the members the handler uses are gone by
    // the time m_port itself is destroyed.
    QObject::disconnect(m_errorConnection);
    QObject::disconnect(m_readConnection);
    if (m_port.isOpen()) m_port.close();
}

void QtCommControl::DiscardReceived() {
    if (!m_port.clear(QSerialPort::Input)) {
        RaisePort(
            Say(TextId::CannotDiscardReceived, {OpenPortLabel(), ToStd(m_port.errorString())}));
    }
}

void QtCommControl::DiscardUnsent() {
    if (!m_port.clear(QSerialPort::Output)) {
        RaisePort(Say(TextId::CannotDiscardUnsent, {OpenPortLabel(), ToStd(m_port.errorString())}));
    }
}

void QtCommControl::CloseDevice() {
    m_unsent.Close(m_openPath, static_cast<std::size_t>(m_port.bytesToWrite()));
    m_port.close();
}

void QtCommControl::OpenDevice() {
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
    m_openDevice = device;
    m_openPath = path.toStdString();
    m_openLabel = label;
}

void QtCommControl::SendKeptTail() {
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

void QtCommControl::ProbeLost() {
    // A device that vanished while idle reports nothing until written to;
    // ask the system directly so the loss surfaces here, not a frame later.
    if (ProbeLine(m_port.handle()) == LineState::Gone) RaiseLost(Say(TextId::DeviceHungUp));
}

void QtCommControl::ReadArrived() {
    if (!m_port.isOpen()) return;
    const QByteArray bytes = m_port.readAll();
    Arrive(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                     static_cast<std::size_t>(bytes.size())));
}

std::int64_t QtCommControl::QueuedHere() const {
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
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

void QtCommControl::Block(std::uint32_t ms) {
    m_port.waitForBytesWritten(static_cast<int>(ms));
}

void QtCommControl::WriteStraight(std::span<const std::uint8_t> frame, bool started) {
    // Nothing waits in Qt's queue, so the frame goes to the device at once:
    // one system call, whose answer also says whether the device is still
    // there, and no write notifier left to wake the event loop afterwards.
    const LineWrite sent = WriteToLine(m_port.handle(), frame);
    if (sent.state == LineState::Gone) RaiseLost(sent.reason);
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

void QtCommControl::WriteNow(std::span<const std::uint8_t> frame) {
    m_unsent.Taken(0);
    WriteStraight(frame);
}

void QtCommControl::WriteBehind(std::span<const std::uint8_t> frame, std::int64_t queued) {
    m_unsent.Taken(static_cast<std::size_t>(queued));
    const auto count = static_cast<qint64>(frame.size());
    const qint64 written = m_port.write(reinterpret_cast<const char*>(frame.data()), count);
    if (written != count) {
        RaisePort(Say(TextId::WriteRefused, {OpenPortLabel(), ToStd(m_port.errorString())}));
    }
    m_unsent.Add(frame, false);
    PushOut();
    // flush() may have found the device gone and closed the port.
    if (!m_port.isOpen()) RaiseMarkedLost();
}

}  // namespace kiv
