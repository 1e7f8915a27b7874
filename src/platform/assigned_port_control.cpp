#include "platform/assigned_port_control.h"

#include <QTimer>
#include <iostream>

#include "model/errors.h"
#include "model/one_line.h"
#include "model/texts.h"
#include "platform/port_directory.h"

namespace kiv {
namespace {

// How long closing waits for a receiver to read what is still queued: the
// pseudo-terminal throws away what it holds when it closes.
constexpr int kDrainLimitMs = 100;

}  // namespace

AssignedPortControl::AssignedPortControl(PortDirectory& directory) : m_directory(directory) {}

AssignedPortControl::~AssignedPortControl() = default;

void AssignedPortControl::setYielder(Yielder* yielder, MillisecondClock* clock) {
    m_yielder = yielder;
    m_clock = clock;
    m_serial.setYielder(yielder, clock);
    if (m_pty) m_pty->setYielder(yielder, clock);
}

std::string AssignedPortControl::virtualPath() const {
    return m_pty && m_pty->PortOpen() ? m_pty->SlavePath() : std::string();
}

std::string AssignedPortControl::lastSystemError() const {
    return m_virtualError.empty() ? m_serial.lastSystemError() : m_virtualError;
}

void AssignedPortControl::setOutBufferSize(std::int16_t bytes) {
    m_serial.setOutBufferSize(bytes);
    m_outBufferSize = bytes;
}

void AssignedPortControl::setCommPort(std::int16_t port) {
    m_serial.setCommPort(port);
    m_commPort = port;
}

void AssignedPortControl::setSettings(const std::string& settings) {
    m_serial.setSettings(settings);
    m_settings = settings;
}

bool AssignedPortControl::PortOpen() const {
    if (m_pty && !m_ptyClosing) return m_pty->PortOpen();
    return m_serial.PortOpen();
}

void AssignedPortControl::Report(const std::string& text) {
    if (m_report) m_report(text);
}

void AssignedPortControl::setPortOpen(bool open) {
    if (!open) {
        if (m_pty && !m_ptyClosing) {
            Retire();
        } else {
            m_serial.setPortOpen(false);
        }
        Report("");
        return;
    }
    if (PortOpen())
        Raise(ErrorKind::Port, Say(TextId::PortAlreadyOpen, {"COM" + std::to_string(m_commPort)}));
    m_virtualError.clear();
    // The same virtual port closed a moment ago in this same action comes
    // back as it was: its receiver reads on.
    if (m_pty && m_ptyClosing && m_ptyPort == m_commPort) {
        m_pty->setOutBufferSize(m_outBufferSize);
        m_pty->setSettings(m_settings);
        m_pty->setPortOpen(true);
        m_ptyClosing = false;
        m_directory.setVirtualPath(m_commPort, m_pty->SlavePath());
        Report("COM" + std::to_string(m_commPort) + ": 虚拟端口 " + m_pty->SlavePath());
        return;
    }
    // A new open looks at the devices as they are now.
    m_directory.Refresh();
    const PortMap map = m_directory.CurrentMap();
    if (map.isVirtual(m_commPort)) {
        OpenVirtual();
        return;
    }
    const std::string& device = map.device(m_commPort);
    if (device.empty()) {
        m_virtualError = Say(TextId::PortHasNoDevice, {std::to_string(m_commPort)});
        Raise(ErrorKind::Port, m_virtualError);
    }
    m_serial.setPortMap(map);
    m_serial.setPortOpen(true);
    Report("COM" + std::to_string(m_commPort) + ": " + device);
}

void AssignedPortControl::OpenVirtual() {
    if (m_pty) {
        m_retired.push_back(std::move(m_pty));
        DropRetired();
    }
    std::unique_ptr<PtyPort> pty;
    try {
        pty = std::make_unique<PtyPort>();
        pty->setCommPort(static_cast<std::int16_t>(m_commPort));
        pty->setOutBufferSize(m_outBufferSize);
        pty->setSettings(m_settings);
    } catch (const KivError& e) {
        m_virtualError = e.what();
        throw;
    }
    pty->setYielder(m_yielder, m_clock);
    pty->setPortOpen(true);
    m_pty = std::move(pty);
    m_ptyPort = m_commPort;
    m_ptyClosing = false;
    const std::string& path = m_pty->SlavePath();
    m_directory.setVirtualPath(m_commPort, path);
    std::cerr << "kiv: COM" << m_commPort << " is the virtual port " << OneLine(path) << std::endl;
    Report("COM" + std::to_string(m_commPort) + ": 虚拟端口 " + path);
}

void AssignedPortControl::Retire() {
    m_pty->setPortOpen(false);
    m_ptyClosing = true;
    m_directory.setVirtualPath(m_ptyPort, {});
    // Dropped when the window is idle again, unless reopened before.
    QTimer::singleShot(0, &m_context, [this] {
        if (m_pty && m_ptyClosing) {
            m_retired.push_back(std::move(m_pty));
            m_ptyClosing = false;
        }
        DropRetired();
    });
}

void AssignedPortControl::DropRetired() {
    // A write waiting for room inside a yield still runs on the old one; it
    // notices the close and returns, and the next call drops it.
    if (m_outputDepth > 0) return;
    for (auto& pty : m_retired) {
        if (pty->Queued() > 0) pty->Drain(kDrainLimitMs);
    }
    m_retired.clear();
}

std::size_t AssignedPortControl::Output(std::span<const std::uint8_t> bytes) {
    if (!m_pty || m_ptyClosing) return m_serial.Output(bytes);
    PtyPort* pty = m_pty.get();
    struct Depth {
        AssignedPortControl& self;
        explicit Depth(AssignedPortControl& s) : self(s) { ++self.m_outputDepth; }
        ~Depth() {
            if (--self.m_outputDepth == 0 && !self.m_retired.empty()) {
                QTimer::singleShot(0, &self.m_context, [s = &self] { s->DropRetired(); });
            }
        }
    } depth(*this);
    return pty->Output(bytes);
}

LineWatch* AssignedPortControl::Watch() {
    if (m_pty && !m_ptyClosing) return m_pty->Watch();
    return m_serial.Watch();
}

}  // namespace kiv
