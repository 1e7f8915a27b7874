// Faults on a real pseudo-terminal, through the real serial port control and
// the real send loop running on the program's own clock and yield: the
// device vanishes in each phase of a cycle and comes back as a new device
// under the same COM1, the reader stops reading for seconds, another program
// holds the device. After each fault the user's next "串口打开" works and
// frames flow again, whole and in order.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSerialPort>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/services.h"
#include "app/startup.h"
#include "fakes.h"
#include "platform/qt_comm_control.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/forwarding_comm_control.h"
#include "serial/port_open_close.h"
#include "signal/signal_params.h"
#include "support/pty_pair.h"
#include "support/table_cases.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using testing::PtyPair;

// Slot 1 counts frames (trix1 set up below to rise by one per frame and
// wrap at 256); the constants around it would change if the line fell back
// to cooked mode (10 and 13) or lost its place.
const char* const kSlots[10] = {"trix1", "10", "13", "17", "19", "0", "255", "127", "128", "3"};
const Bytes kFixedBytes = {10, 13, 17, 19, 0, 255, 127, 128, 3};
constexpr const char* kOpenFailed = "串口设置有误或者已被占用!";

// The window's serial port control as the loop sees it: forwards every call
// to the real control, keeps the frames each successful write put on the
// line, lets a test act just before a write, and pauses sending after a
// given number of frames.
class WatchedPort : public ForwardingCommControl {
  public:
    WatchedPort(Model& w, QtCommControl& port) : ForwardingCommControl(port), m_w(w) {}

    std::size_t Output(std::span<const std::uint8_t> bytes) override {
        m_inWrite = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{m_inWrite};
        if (beforeWrite) beforeWrite();
        const std::size_t took = inner().Output(bytes);
        written.emplace_back(bytes.begin(), bytes.begin() + m_w.slotCount);
        if (stopAfter && written.size() >= *stopAfter) pausesend_Click(m_w);
        return took;
    }

    // True while the loop is inside a write, waits for room included.
    bool inWrite() const { return m_inWrite; }

    std::vector<Bytes> written;
    std::function<void()> beforeWrite;
    std::optional<std::size_t> stopAfter;

  private:
    Model& m_w;
    bool m_inWrite = false;
};

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class LineFaultTest : public ::testing::Test {
  protected:
    LineFaultTest() : m_device(std::make_unique<PtyPair>()), m_port(m_w, m_control) {
        MapCom1ToDevice();
        m_control.setYielder(&m_yielder, &m_clock);
        Services{&m_clock, &m_yielder, &m_random, &m_port, &m_box}.AttachTo(m_w);
        StartUp(m_w);
        for (int i = 1; i <= kSlotCount; ++i) m_w.sendText1(i).Text = kSlots[i - 1];
        SetPeriod(1);
        QObject::connect(
            &m_control.device(), &QSerialPort::errorOccurred,
            [this](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) {
                    ++m_lineErrors;
                }
            });
        m_yielder.setBeforeYield([this] { OnYield(); });
    }

    ~LineFaultTest() override { m_yielder.setBeforeYield(nullptr); }

    void SetUp() override { ASSERT_TRUE(m_box.shown.empty()) << m_box.shown[0].text; }

    // Also sets trix1 to rise from 0 to 255 in 255 periods and rest one
    // period, so that its byte counts the frames.
    void SetPeriod(int ms) {
        m_w.fuction_t1(7).Text = std::to_string(255 * ms);
        m_w.fuction_t2(7).Text = "0";
        m_w.fuction_t3(7).Text = std::to_string(ms);
        m_w.fuction_am(7).Text = "255";
        m_w.fuction_a0(7).Text = "0";
        Command4_Click(m_w);
        m_w.autosendtext1.Text = std::to_string(ms);
        Command7_Click(m_w);
    }

    void MapCom1ToDevice() {
        PortMap map;
        map.setDevice(1, m_device->slavePath());
        m_control.setPortMap(map);
    }

    // The device comes back: a new one, under the same port number.
    void ReplaceDevice() {
        m_device = std::make_unique<PtyPair>();
        m_received.clear();
        MapCom1ToDevice();
    }

    void Read() {
        if (m_readingPaused || !m_device->masterOpen()) return;
        const Bytes more = m_device->ReadAvailable();
        m_received.insert(m_received.end(), more.begin(), more.end());
    }

    // Runs where any other handler of the window would: inside the loop's
    // yields, and inside a write that waits for room.
    void OnYield() {
        if (Clock::now() > m_deadline) {
            // A guard against a loop that never ends, not a timing check.
            m_guardFired = true;
            Optionclose_Click(m_w);
            return;
        }
        Read();
        if (onYield) onYield();
    }

    // Starts sending and returns when the loop has ended: after `frames`
    // more frames, or earlier through a fault.
    void Send(std::optional<std::size_t> frames) {
        m_port.stopAfter.reset();
        if (frames) m_port.stopAfter = m_port.written.size() + *frames;
        m_deadline = Clock::now() + std::chrono::seconds(60);
        starsend_Click(m_w);
    }

    // Everything that was written from frame `first` on, once it has arrived.
    void ExpectWholeFramesInOrderFrom(std::size_t first) {
        Bytes expected;
        for (std::size_t k = first; k < m_port.written.size(); ++k) {
            const Bytes& frame = m_port.written[k];
            ASSERT_EQ(frame.size(), 10U);
            EXPECT_EQ(Bytes(frame.begin() + 1, frame.end()), kFixedBytes) << "frame " << k;
            if (k > first) {
                // One frame composed per write: none skipped, none sent twice.
                EXPECT_EQ(frame[0], static_cast<std::uint8_t>(m_port.written[k - 1][0] + 1))
                    << "frame " << k;
            }
            expected.insert(expected.end(), frame.begin(), frame.end());
        }
        const auto guard = Clock::now() + std::chrono::seconds(20);
        while (m_received.size() < expected.size() && Clock::now() < guard) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const Bytes more = m_device->ReadExactly(expected.size() - m_received.size(),
                                                     std::chrono::milliseconds(5));
            m_received.insert(m_received.end(), more.begin(), more.end());
        }
        ASSERT_EQ(m_received.size(), expected.size());
        EXPECT_TRUE(m_received == expected) << "frames arrived cut, lost or out of order";
    }

    void ExpectClosedLook() {
        EXPECT_FALSE(m_control.PortOpen());
        EXPECT_FALSE(m_w.portOpened);
        EXPECT_FALSE(m_w.isSending);
        EXPECT_EQ(m_w.Shape1(0).BackColor, kBlack);
        EXPECT_EQ(m_w.Shape1(1).BackColor, kBlack);
        EXPECT_TRUE(m_w.Label50.Caption.ends_with("CLOSE!")) << m_w.Label50.Caption;
        EXPECT_TRUE(m_w.Command1.Enabled);
        EXPECT_TRUE(m_w.Optionclose.Value);
    }

    void ExpectOpenLook() {
        EXPECT_TRUE(m_control.PortOpen());
        EXPECT_TRUE(m_w.portOpened);
        EXPECT_EQ(m_w.Shape1(1).BackColor, kGreen);
        EXPECT_TRUE(m_w.Label50.Caption.ends_with("OPEN!")) << m_w.Label50.Caption;
        EXPECT_FALSE(m_w.Command1.Enabled);
    }

    std::unique_ptr<PtyPair> m_device;
    QtCommControl m_control;
    SteadyMillisecondClock m_clock;
    QtYielder m_yielder;
    testing::FakeMessageBox m_box;
    testing::FakeRandom m_random;
    Model m_w;
    WatchedPort m_port;

    Bytes m_received;
    bool m_readingPaused = false;
    std::function<void()> onYield;
    Clock::time_point m_deadline = Clock::now() + std::chrono::seconds(60);
    bool m_guardFired = false;
    int m_lineErrors = 0;
};

enum class Phase { FirstWait, SecondWait, Write };

const char* PhaseName(Phase phase) {
    switch (phase) {
        case Phase::FirstWait:
            return "FirstWait";
        case Phase::SecondWait:
            return "SecondWait";
        case Phase::Write:
            break;
    }
    return "Write";
}

void PrintTo(Phase phase, std::ostream* os) {
    *os << PhaseName(phase);
}

class DeviceVanishes : public LineFaultTest, public ::testing::WithParamInterface<Phase> {};

TEST_P(DeviceVanishes, SendingStopsCleanlyAndANewDeviceUnderTheSameNumberSendsAgain) {
    // The first wait needs a half period of at least 1 ms to yield at all.
    SetPeriod(2);
    Optionopen_Click(m_w);
    ASSERT_TRUE(m_control.PortOpen()) << m_control.lastSystemError();

    const Phase phase = GetParam();
    constexpr std::size_t kFramesBefore = 20;
    bool vanished = false;
    auto vanish = [&] {
        Read();
        m_device->CloseMaster();
        vanished = true;
    };
    onYield = [&] {
        if (vanished || m_port.written.size() < kFramesBefore || m_port.inWrite()) return;
        const std::uint32_t lamp = m_w.Shape1(1).BackColor;
        if ((phase == Phase::FirstWait && lamp == kLightGreen) ||
            (phase == Phase::SecondWait && lamp == kGreen)) {
            vanish();
        }
    };
    m_port.beforeWrite = [&] {
        if (phase == Phase::Write && !vanished && m_port.written.size() >= kFramesBefore) vanish();
    };
    Send(std::nullopt);  // only the fault can end this loop
    onYield = nullptr;
    m_port.beforeWrite = nullptr;

    ASSERT_FALSE(m_guardFired) << "the loop kept running on a vanished device";
    ASSERT_TRUE(vanished);
    // The loop ended through its error path: black lamps, no message, the
    // port closed once and no storm of errors.
    EXPECT_EQ(m_w.Shape1(0).BackColor, kBlack);
    EXPECT_EQ(m_w.Shape1(1).BackColor, kBlack);
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_TRUE(m_box.shown.empty());
    EXPECT_LE(m_lineErrors, 1);
    EXPECT_FALSE(m_control.lastSystemError().empty());
    // What reached the line before is the start of what was written.
    Bytes sent;
    for (const Bytes& f : m_port.written) sent.insert(sent.end(), f.begin(), f.end());
    ASSERT_LE(m_received.size(), sent.size());
    EXPECT_TRUE(std::equal(m_received.begin(), m_received.end(), sent.begin()));

    // Opening before the device is back is refused like any missing device.
    Optionopen_Click(m_w);
    ASSERT_EQ(m_box.shown.size(), 1U);
    EXPECT_EQ(m_box.shown[0].text, kOpenFailed);
    ExpectClosedLook();

    ReplaceDevice();
    Optionopen_Click(m_w);
    EXPECT_EQ(m_box.shown.size(), 1U) << m_box.shown.back().text;
    ExpectOpenLook();
    const std::size_t first = m_port.written.size();
    Send(200);
    ASSERT_FALSE(m_guardFired);
    EXPECT_EQ(m_port.written.size(), first + 200);
    ExpectWholeFramesInOrderFrom(first);
}

INSTANTIATE_TEST_SUITE_P(EachPhaseOfACycle, DeviceVanishes,
                         ::testing::Values(Phase::FirstWait, Phase::SecondWait, Phase::Write),
                         [](const ::testing::TestParamInfo<Phase>& info) {
                             return std::string(PhaseName(info.param));
                         });

// The queue limit in force while the reader is away is the program's own,
// 4096 bytes, which no whole number of 10-byte frames fills exactly (it
// once was also tried at 1005, which the program no longer lets anyone set).
struct QueueLimitCase {
    const char* name;
};

using kiv::testing::PrintTo;

class StalledReader : public LineFaultTest, public ::testing::WithParamInterface<QueueLimitCase> {};

TEST_P(StalledReader, GetsEveryFrameWholeAndInOrderWithinTheQueueLimit) {
    const qint64 limit = QtCommControl::kQueueLimit;
    Optionopen_Click(m_w);
    ASSERT_TRUE(m_control.PortOpen()) << m_control.lastSystemError();

    // The reader stops after a few frames. Once the line and the control's
    // queue are full, the loop waits inside its write; the reader stays away
    // two more seconds, then reads again, and sending ends 300 frames later.
    enum class Reader { Reading, Stopped, Resumed } reader = Reader::Reading;
    std::optional<Clock::time_point> heldSince;
    double cpuAtHold = 0.0, cpuWhileHeld = 0.0;
    double secondsHeld = 0.0;
    qint64 mostQueued = 0;
    onYield = [&] {
        mostQueued = std::max(mostQueued, m_control.queuedBytes());
        if (reader == Reader::Reading && m_port.written.size() >= 50) {
            reader = Reader::Stopped;
            m_readingPaused = true;
        }
        if (reader != Reader::Stopped || !m_port.inWrite()) return;
        if (!heldSince) {
            heldSince = Clock::now();
            cpuAtHold = ProcessCpuSeconds();
            return;
        }
        if (Clock::now() - *heldSince < std::chrono::seconds(2)) return;
        secondsHeld = std::chrono::duration<double>(Clock::now() - *heldSince).count();
        cpuWhileHeld = ProcessCpuSeconds() - cpuAtHold;
        reader = Reader::Resumed;
        m_readingPaused = false;
        m_port.stopAfter = m_port.written.size() + 300;
    };
    Send(100'000);
    onYield = nullptr;

    ASSERT_FALSE(m_guardFired);
    ASSERT_EQ(reader, Reader::Resumed) << "the line never filled, so nothing was tested";
    EXPECT_TRUE(m_box.shown.empty());
    EXPECT_TRUE(m_control.PortOpen());
    // Memory stays bounded while the reader is away...
    EXPECT_LE(mostQueued, limit);
    // ...and the wait for it sleeps: a loop polling the line would use a
    // whole core over these seconds.
    EXPECT_LT(cpuWhileHeld, 0.5 * secondsHeld)
        << cpuWhileHeld << " s of CPU in " << secondsHeld << " s of waiting";
    ExpectWholeFramesInOrderFrom(0);
}

INSTANTIATE_TEST_SUITE_P(Limits, StalledReader, ::testing::Values(QueueLimitCase{"Default"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LineFaultTest, ADeviceHeldByAnotherProgramIsRefusedUntilItIsReleased) {
    QSerialPort other;
    other.setPortName(QString::fromStdString(m_device->slavePath()));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();

    const Outcome refused = OpenPort(m_w);
    ASSERT_EQ(m_box.shown.size(), 1U);
    EXPECT_EQ(m_box.shown[0].text, kOpenFailed);
    ExpectClosedLook();
    EXPECT_FALSE(m_control.lastSystemError().empty());
    // The lock file names the holder: this test program.
    std::ifstream comm("/proc/self/comm");
    std::string self;
    std::getline(comm, self);
    EXPECT_NE(refused.reason.find("is held by another program: " + self + " (process " +
                                  std::to_string(::getpid()) + ")"),
              std::string::npos)
        << refused.reason;
    // The holder keeps its line and can still write on it.
    EXPECT_TRUE(other.isOpen()) << "the device was taken from the program holding it";
    ASSERT_EQ(other.write("\x07\x08\x09", 3), 3);
    ASSERT_TRUE(other.waitForBytesWritten(1000));
    EXPECT_EQ(m_device->ReadUntilMarker(0xEE), (Bytes{7, 8, 9}));

    other.close();
    Optionopen_Click(m_w);
    EXPECT_EQ(m_box.shown.size(), 1U) << m_box.shown.back().text;
    ExpectOpenLook();
    Send(100);
    ASSERT_FALSE(m_guardFired);
    ExpectWholeFramesInOrderFrom(0);
}

}  // namespace
}  // namespace kiv
