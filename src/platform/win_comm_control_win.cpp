#include <windows.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <vector>

#include "model/errors.h"
#include "model/platform.h"
#include "model/texts.h"
#include "platform/comm_control_rules.h"
#include "platform/port_assignment.h"
#include "platform/port_diagnosis.h"
#include "platform/win_comm_control.h"
#include "platform/win_serial.h"

namespace kiv {
namespace {

// How long closing lets the frame being written finish, so the receiver does
// not get its front part only; a line that takes longer is stuck anyway.
constexpr DWORD kCloseWaitMs = 200;
// How long a driver may take to give up a cancelled write.
constexpr ULONGLONG kCancelLimitMs = 2000;
// The driver's buffer sizes asked for at open; the driver may keep its own.
constexpr DWORD kDriverInBuffer = 4096;
constexpr DWORD kDriverOutBuffer = 4096;

// "COM5" of "\\\\.\\COM5"; any other name as it is.
std::string ComNameOf(const std::string& device) {
    return device.rfind("\\\\.\\", 0) == 0 ? device.substr(4) : device;
}

}  // namespace

// The open port: its handle, the write under way and the frames behind it.
// A write ends with a completion routine that the system runs on this
// thread when it next waits alertably, as Qt's event loop does when it
// sleeps: the window thread learns of it from its own wait, with no helper
// thread and nothing to poll.
struct WinCommControl::Line {
    WinCommControl* owner = nullptr;
    HANDLE port = INVALID_HANDLE_VALUE;
    // The named object that keeps a second KIV off the port (see Open).
    HANDLE claim = nullptr;
    // WriteFileEx leaves hEvent to the caller: it points back here.
    OVERLAPPED overlapped{};
    // The frame the system is writing, and how much of it went out already.
    std::vector<std::uint8_t> writing;
    std::size_t sent = 0;
    // `writing` is the rest of a frame whose front left before a close.
    bool writingTail = false;
    bool busy = false;
    // Closing: a completion only says the write is over.
    bool closing = false;
    std::deque<std::vector<std::uint8_t>> queue;
    std::int64_t queued = 0;

    ~Line() {
        if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
        if (claim != nullptr) CloseHandle(claim);
    }

    // Hands what is left of `writing` to the system. 0, or the error code
    // when the system refused the write at once.
    DWORD Issue() {
        overlapped = OVERLAPPED{};
        overlapped.hEvent = this;
        const auto size = static_cast<DWORD>(writing.size() - sent);
        if (!WriteFileEx(port, writing.data() + sent, size, &overlapped, &Written))
            return GetLastError();
        busy = true;
        return 0;
    }

    static void CALLBACK Written(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
        Line* line = static_cast<Line*>(overlapped->hEvent);
        line->busy = false;
        if (line->closing) {
            // A write finished or given up while closing still counts what
            // it took, so that the close knows how much of the frame left.
            if (error == ERROR_SUCCESS || error == ERROR_OPERATION_ABORTED) line->sent += bytes;
            return;
        }
        line->owner->Completed(error, bytes);
    }

    // Runs the completion routines that are due, waiting at most waitMs
    // for one.
    static void Settle(DWORD waitMs) { SleepEx(waitMs, TRUE); }

    // Waits, at most limitMs, for the write under way, then gives it up.
    // False when the system did not even give up a cancelled write within a
    // while: its buffer must then stay where it is.
    bool EndWrite(DWORD limitMs) {
        closing = true;
        const ULONGLONG until = GetTickCount64() + limitMs;
        while (busy && GetTickCount64() < until) Settle(1);
        if (busy) CancelIoEx(port, &overlapped);
        const ULONGLONG cancelUntil = GetTickCount64() + kCancelLimitMs;
        while (busy && GetTickCount64() < cancelUntil) Settle(10);
        closing = false;
        return !busy;
    }
};

WinCommControl::WinCommControl(PortMap map) : PortControlBase(std::move(map)) {}

WinCommControl::~WinCommControl() {
    if (m_line) CloseDevice();
}

std::int64_t WinCommControl::QueuedHere() const {
    return m_line ? m_line->queued : 0;
}

std::int64_t WinCommControl::pendingBytes() const {
    if (!m_line) return 0;
    const Line& line = *m_line;
    std::int64_t underWay = 0;
    if (line.busy && !HasOverlappedIoCompleted(&line.overlapped))
        underWay = static_cast<std::int64_t>(line.writing.size() - line.sent);
    DWORD errors = 0;
    COMSTAT status{};
    if (ClearCommError(line.port, &errors, &status))
        underWay = std::max<std::int64_t>(underWay, status.cbOutQue);
    return line.queued + underWay;
}

void WinCommControl::ReadArrived() {
    if (!m_line) return;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(m_line->port, &errors, &status) || status.cbInQue == 0) return;
    // The port's timeouts make a read return at once with what the driver
    // holds; its own event keeps it apart from the write under way.
    std::vector<std::uint8_t> buffer(std::min<DWORD>(status.cbInQue, 65536));
    OVERLAPPED reading{};
    reading.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (reading.hEvent == nullptr) return;
    DWORD got = 0;
    bool done = ReadFile(m_line->port, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                         &reading) != 0;
    if (!done && GetLastError() == ERROR_IO_PENDING)
        done = GetOverlappedResult(m_line->port, &reading, &got, TRUE) != 0;
    CloseHandle(reading.hEvent);
    if (done) Arrive(std::span(buffer.data(), static_cast<std::size_t>(got)));
}

void WinCommControl::DiscardReceived() {
    if (!PurgeComm(m_line->port, PURGE_RXCLEAR)) {
        RaisePort(
            Say(TextId::CannotDiscardReceived, {OpenPortLabel(), SystemErrorText(GetLastError())}));
    }
}

void WinCommControl::DiscardUnsent() {
    m_line->queue.clear();
    m_line->queued = 0;
    // Discarding is what was asked for: the write under way goes too.
    if (!m_line->EndWrite(0)) {
        RaiseLost(Say(TextId::DriverKeepsWrite));
    }
    // The frame given up is no frame's rest to send later.
    m_line->writing.clear();
    m_line->sent = 0;
    if (!PurgeComm(m_line->port, PURGE_TXABORT | PURGE_TXCLEAR)) {
        RaisePort(
            Say(TextId::CannotDiscardUnsent, {OpenPortLabel(), SystemErrorText(GetLastError())}));
    }
}

void WinCommControl::OpenDevice() {
    const std::string device = m_map.device(m_commPort);
    m_openDevice = device;
    m_openLabel = m_map.Label(m_commPort);
    auto line = std::make_unique<Line>();
    // Windows gives a COM port to one program at a time: no sharing.
    line->port = CreateFileW(DevicePathOf(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (line->port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // CON and the like refuse to open as a port does at all.
        if ((error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_PARAMETER) &&
            !IsComPortName(ComNameOf(device)))
            RaiseNotSerial(error);
        RaiseOpenFailure(error, false);
    }
    // A file, a pipe, NUL or the console opens as well; none of them is a
    // serial port, and the user is told so, not what the first serial call
    // on it says ("Invalid handle").
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetFileType(line->port) != FILE_TYPE_CHAR) RaiseNotSerial(ERROR_SUCCESS);
    if (!GetCommState(line->port, &dcb)) {
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION ||
            error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER)
            RaiseNotSerial(error);
        RaiseOpenFailure(error, false);
    }
    // Windows refuses a second open of a COM port by itself; where a driver
    // shares its ports (some virtual port drivers, Wine's mapped ports) a
    // named object per port still keeps two KIVs apart, and the second is
    // told the port is in use, as Windows would tell it.
    line->claim = CreateMutexW(nullptr, FALSE, ClaimNameOf(device).c_str());
    if (line->claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS)
        RaiseOpenFailure(ERROR_ACCESS_DENIED, false);
    FillDcb(m_settings, dcb);
    if (!SetCommState(line->port, &dcb)) RaiseOpenFailure(GetLastError(), true);
    COMMTIMEOUTS timeouts = WriteOnlyTimeouts();
    if (!SetCommTimeouts(line->port, &timeouts)) RaiseOpenFailure(GetLastError(), true);
    // Only advice to the driver, which may keep its own sizes.
    SetupComm(line->port, std::max<DWORD>(kDriverInBuffer, static_cast<DWORD>(m_inBufferSize)),
              kDriverOutBuffer);
    PurgeComm(line->port, PURGE_TXCLEAR | PURGE_RXCLEAR);
    line->owner = this;
    m_line = std::move(line);
    m_lastSystemError.clear();
}

void WinCommControl::SendKeptTail() {
    if (std::vector<std::uint8_t> tail = m_unsent.TakeTail(m_openDevice); !tail.empty())
        Issue(std::move(tail), true);
}

void WinCommControl::RaiseOpenFailure(unsigned long error, bool settingsStage) {
    m_lastSystemError = SystemErrorText(error);
    OpenFailureFacts facts;
    facts.label = OpenPortLabel();
    facts.device = m_openDevice;
    facts.systemText = m_lastSystemError;
    facts.settings = m_settingsText;
    facts.problem = settingsStage ? OpenProblem::Refused : OpenProblemOf(error);
    AddSystemFacts(facts);
    RaisePort(ExplainOpenFailure(facts));
}

void WinCommControl::RaiseNotSerial(unsigned long error) {
    m_lastSystemError = error == ERROR_SUCCESS ? "not a serial port" : SystemErrorText(error);
    // What the system says of it ("Invalid handle") would only mislead.
    OpenFailureFacts facts;
    facts.label = OpenPortLabel();
    facts.device = m_openDevice;
    facts.problem = OpenProblem::NotSerial;
    RaisePort(ExplainOpenFailure(facts));
}

void WinCommControl::CloseDevice() {
    std::unique_ptr<Line> line = std::move(m_line);
    // The frames queued behind the write never left: they go whole, as the
    // close means them to, and count as dropped, so that what the monitor
    // shows and records lets go of them.
    const std::size_t behind = line->queue.size();
    // A driver that keeps a cancelled write keeps its buffer too: that one
    // Line is left behind rather than freed under the system's hands, and
    // what of the frame it will still write is not known.
    if (!line->EndWrite(kCloseWaitMs)) {
        static_cast<void>(line.release());
        m_unsent.CloseWriting(m_openDevice, {}, 0, false, behind);
        return;
    }
    // The frame whose front the driver took keeps its rest for the next
    // open of this port.
    m_unsent.CloseWriting(m_openDevice, line->writing, line->sent, line->writingTail, behind);
}

void WinCommControl::Completed(unsigned long error, unsigned long bytes) {
    if (!m_line) return;
    Line& line = *m_line;
    if (error != ERROR_SUCCESS) {
        // A pulled USB adapter ends its writes with an error.
        MarkLost(SystemErrorText(error));
        return;
    }
    line.sent += bytes;
    if (line.sent < line.writing.size()) {
        // The driver took the frame's front part only: its rest goes next,
        // before anything else, so the frame stays whole on the line.
        if (const DWORD refused = line.Issue(); refused != 0) MarkLost(SystemErrorText(refused));
        return;
    }
    StartNext();
}

void WinCommControl::StartNext() {
    Line& line = *m_line;
    if (line.queue.empty()) return;
    line.writing = std::move(line.queue.front());
    line.queue.pop_front();
    line.queued -= static_cast<std::int64_t>(line.writing.size());
    line.sent = 0;
    line.writingTail = false;
    if (const DWORD error = line.Issue(); error != 0) MarkLost(SystemErrorText(error));
}

void WinCommControl::Issue(std::vector<std::uint8_t> frame, bool tail) {
    m_line->writing = std::move(frame);
    m_line->sent = 0;
    m_line->writingTail = tail;
    if (const DWORD error = m_line->Issue(); error != 0) RaiseLost(SystemErrorText(error));
}

void WinCommControl::ProbeLost() {
    // A device that vanished while idle says so here rather than a frame
    // later.
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(m_line->port, &errors, &status)) RaiseLost(SystemErrorText(GetLastError()));
}

void WinCommControl::Settle() {
    // A write that ended since the event loop last waited is taken now, so
    // the frame can go straight out.
    if (m_line && m_line->busy && HasOverlappedIoCompleted(&m_line->overlapped)) Line::Settle(0);
}

bool WinCommControl::Idle() {
    Settle();
    return m_line && !m_line->busy && m_line->queue.empty();
}

void WinCommControl::Block(std::uint32_t ms) {
    Line::Settle(ms);
}

void WinCommControl::WriteNow(std::span<const std::uint8_t> frame) {
    Issue(std::vector<std::uint8_t>(frame.begin(), frame.end()));
}

void WinCommControl::WriteBehind(std::span<const std::uint8_t> frame, std::int64_t /*queued*/) {
    if (!m_line->busy && m_line->queue.empty()) {
        WriteNow(frame);
        return;
    }
    m_line->queue.emplace_back(frame.begin(), frame.end());
    m_line->queued += static_cast<std::int64_t>(frame.size());
}

}  // namespace kiv
