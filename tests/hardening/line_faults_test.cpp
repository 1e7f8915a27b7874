// Faults on a real pseudo-terminal, through the real serial port control and
// the real send loop running on the program's own clock and yield: the
// device vanishes in each phase of a cycle and comes back as a new device
// under the same COM1, the reader stops reading for seconds, another program
// holds the device. After each fault the user's next "串口打开" works and
// frames flow again, whole and in order.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QSerialPort>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/forwarding_comm_control.h"
#include "serial/port_open_close.h"
#include "platform/qt_comm_control.h"
#include "signal/signal_params.h"
#include "support/pty_pair.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "app/startup.h"

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
    WatchedPort(Model& w, QtCommControl& port) : ForwardingCommControl(port), w_(w) {}

    void Output(std::span<const std::uint8_t> bytes) override {
        inWrite_ = true;
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{inWrite_};
        if (beforeWrite) beforeWrite();
        inner().Output(bytes);
        written.emplace_back(bytes.begin(), bytes.begin() + w_.slotCount);
        if (stopAfter && written.size() >= *stopAfter) pausesend_Click(w_);
    }

    // True while the loop is inside a write, waits for room included.
    bool inWrite() const { return inWrite_; }

    std::vector<Bytes> written;
    std::function<void()> beforeWrite;
    std::optional<std::size_t> stopAfter;

  private:
    Model& w_;
    bool inWrite_ = false;
};

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class LineFaultTest : public ::testing::Test {
  protected:
    LineFaultTest() : device_(std::make_unique<PtyPair>()), port_(w_, control_) {
        MapCom1ToDevice();
        control_.setYielder(&yielder_, &clock_);
        w_.messageBox = &box_;
        w_.clock = &clock_;
        w_.yielder = &yielder_;
        w_.random = &random_;
        w_.MSComm1 = &port_;
        StartUp(w_);
        for (int i = 1; i <= 10; ++i) w_.sendText1(i).Text = kSlots[i - 1];
        SetPeriod(1);
        QObject::connect(
            &control_.device(), &QSerialPort::errorOccurred,
            [this](QSerialPort::SerialPortError error) {
                if (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) {
                    ++lineErrors_;
                }
            });
        yielder_.setBeforeYield([this] { OnYield(); });
    }

    ~LineFaultTest() override { yielder_.setBeforeYield(nullptr); }

    void SetUp() override { ASSERT_TRUE(box_.shown.empty()) << box_.shown[0].text; }

    // Also sets trix1 to rise from 0 to 255 in 255 periods and rest one
    // period, so that its byte counts the frames.
    void SetPeriod(int ms) {
        w_.fuction_t1(7).Text = std::to_string(255 * ms);
        w_.fuction_t2(7).Text = "0";
        w_.fuction_t3(7).Text = std::to_string(ms);
        w_.fuction_am(7).Text = "255";
        w_.fuction_a0(7).Text = "0";
        Command4_Click(w_);
        w_.autosendtext1.Text = std::to_string(ms);
        Command7_Click(w_);
    }

    void MapCom1ToDevice() {
        PortMap map;
        map.setDevice(1, device_->slavePath());
        control_.setPortMap(map);
    }

    // The device comes back: a new one, under the same port number.
    void ReplaceDevice() {
        device_ = std::make_unique<PtyPair>();
        received_.clear();
        MapCom1ToDevice();
    }

    void Read() {
        if (readingPaused_ || !device_->masterOpen()) return;
        const Bytes more = device_->ReadAvailable();
        received_.insert(received_.end(), more.begin(), more.end());
    }

    // Runs where any other handler of the window would: inside the loop's
    // yields, and inside a write that waits for room.
    void OnYield() {
        if (Clock::now() > deadline_) {
            // A guard against a loop that never ends, not a timing check.
            guardFired_ = true;
            Optionclose_Click(w_);
            return;
        }
        Read();
        if (onYield) onYield();
    }

    // Starts sending and returns when the loop has ended: after `frames`
    // more frames, or earlier through a fault.
    void Send(std::optional<std::size_t> frames) {
        port_.stopAfter.reset();
        if (frames) port_.stopAfter = port_.written.size() + *frames;
        deadline_ = Clock::now() + std::chrono::seconds(60);
        starsend_Click(w_);
    }

    // Everything that was written from frame `first` on, once it has arrived.
    void ExpectWholeFramesInOrderFrom(std::size_t first) {
        Bytes expected;
        for (std::size_t k = first; k < port_.written.size(); ++k) {
            const Bytes& frame = port_.written[k];
            ASSERT_EQ(frame.size(), 10U);
            EXPECT_EQ(Bytes(frame.begin() + 1, frame.end()), kFixedBytes) << "frame " << k;
            if (k > first) {
                // One frame composed per write: none skipped, none sent twice.
                EXPECT_EQ(frame[0], static_cast<std::uint8_t>(port_.written[k - 1][0] + 1))
                    << "frame " << k;
            }
            expected.insert(expected.end(), frame.begin(), frame.end());
        }
        const auto guard = Clock::now() + std::chrono::seconds(20);
        while (received_.size() < expected.size() && Clock::now() < guard) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const Bytes more = device_->ReadExactly(expected.size() - received_.size(),
                                                    std::chrono::milliseconds(5));
            received_.insert(received_.end(), more.begin(), more.end());
        }
        ASSERT_EQ(received_.size(), expected.size());
        EXPECT_TRUE(received_ == expected) << "frames arrived cut, lost or out of order";
    }

    void ExpectClosedLook() {
        EXPECT_FALSE(control_.PortOpen());
        EXPECT_FALSE(w_.portOpened);
        EXPECT_FALSE(w_.isSending);
        EXPECT_EQ(w_.Shape1(0).BackColor, kBlack);
        EXPECT_EQ(w_.Shape1(1).BackColor, kBlack);
        EXPECT_TRUE(w_.Label50.Caption.ends_with("CLOSE!")) << w_.Label50.Caption;
        EXPECT_TRUE(w_.Command1.Enabled);
        EXPECT_TRUE(w_.Optionclose.Value);
    }

    void ExpectOpenLook() {
        EXPECT_TRUE(control_.PortOpen());
        EXPECT_TRUE(w_.portOpened);
        EXPECT_EQ(w_.Shape1(1).BackColor, kGreen);
        EXPECT_TRUE(w_.Label50.Caption.ends_with("OPEN!")) << w_.Label50.Caption;
        EXPECT_FALSE(w_.Command1.Enabled);
    }

    std::unique_ptr<PtyPair> device_;
    QtCommControl control_;
    SteadyMillisecondClock clock_;
    QtYielder yielder_;
    testing::FakeMessageBox box_;
    testing::FakeRandom random_;
    Model w_;
    WatchedPort port_;

    Bytes received_;
    bool readingPaused_ = false;
    std::function<void()> onYield;
    Clock::time_point deadline_ = Clock::now() + std::chrono::seconds(60);
    bool guardFired_ = false;
    int lineErrors_ = 0;
};

enum class Phase { FirstWait, SecondWait, Write };

class DeviceVanishes : public LineFaultTest, public ::testing::WithParamInterface<Phase> {};

TEST_P(DeviceVanishes, SendingStopsCleanlyAndANewDeviceUnderTheSameNumberSendsAgain) {
    // The first wait needs a half period of at least 1 ms to yield at all.
    SetPeriod(2);
    Optionopen_Click(w_);
    ASSERT_TRUE(control_.PortOpen()) << control_.lastSystemError();

    const Phase phase = GetParam();
    constexpr std::size_t kFramesBefore = 20;
    bool vanished = false;
    auto vanish = [&] {
        Read();
        device_->CloseMaster();
        vanished = true;
    };
    onYield = [&] {
        if (vanished || port_.written.size() < kFramesBefore || port_.inWrite()) return;
        const std::uint32_t lamp = w_.Shape1(1).BackColor;
        if ((phase == Phase::FirstWait && lamp == kLightGreen) ||
            (phase == Phase::SecondWait && lamp == kGreen)) {
            vanish();
        }
    };
    port_.beforeWrite = [&] {
        if (phase == Phase::Write && !vanished && port_.written.size() >= kFramesBefore) vanish();
    };
    Send(std::nullopt);  // only the fault can end this loop
    onYield = nullptr;
    port_.beforeWrite = nullptr;

    ASSERT_FALSE(guardFired_) << "the loop kept running on a vanished device";
    ASSERT_TRUE(vanished);
    // The loop ended through its error path: black lamps, no message, the
    // port closed once and no storm of errors.
    EXPECT_EQ(w_.Shape1(0).BackColor, kBlack);
    EXPECT_EQ(w_.Shape1(1).BackColor, kBlack);
    EXPECT_FALSE(control_.PortOpen());
    EXPECT_TRUE(box_.shown.empty());
    EXPECT_LE(lineErrors_, 1);
    EXPECT_FALSE(control_.lastSystemError().empty());
    // What reached the line before is the start of what was written.
    Bytes sent;
    for (const Bytes& f : port_.written) sent.insert(sent.end(), f.begin(), f.end());
    ASSERT_LE(received_.size(), sent.size());
    EXPECT_TRUE(std::equal(received_.begin(), received_.end(), sent.begin()));

    // Opening before the device is back is refused like any missing device.
    Optionopen_Click(w_);
    ASSERT_EQ(box_.shown.size(), 1U);
    EXPECT_EQ(box_.shown[0].text, kOpenFailed);
    ExpectClosedLook();

    ReplaceDevice();
    Optionopen_Click(w_);
    EXPECT_EQ(box_.shown.size(), 1U) << box_.shown.back().text;
    ExpectOpenLook();
    const std::size_t first = port_.written.size();
    Send(200);
    ASSERT_FALSE(guardFired_);
    EXPECT_EQ(port_.written.size(), first + 200);
    ExpectWholeFramesInOrderFrom(first);
}

INSTANTIATE_TEST_SUITE_P(EachPhaseOfACycle, DeviceVanishes,
                         ::testing::Values(Phase::FirstWait, Phase::SecondWait, Phase::Write),
                         [](const ::testing::TestParamInfo<Phase>& info) {
                             switch (info.param) {
                                 case Phase::FirstWait:
                                     return std::string("FirstWait");
                                 case Phase::SecondWait:
                                     return std::string("SecondWait");
                                 case Phase::Write:
                                     break;
                             }
                             return std::string("Write");
                         });

TEST_F(LineFaultTest, AReaderThatStopsForSecondsGetsEveryFrameWholeAndInOrder) {
    Optionopen_Click(w_);
    ASSERT_TRUE(control_.PortOpen()) << control_.lastSystemError();

    // The reader stops after a few frames. Once the line and the control's
    // queue are full, the loop waits inside its write; the reader stays away
    // two more seconds, then reads again, and sending ends 300 frames later.
    enum class Reader { Reading, Stopped, Resumed } reader = Reader::Reading;
    std::optional<Clock::time_point> heldSince;
    double cpuAtHold = 0.0, cpuWhileHeld = 0.0;
    double secondsHeld = 0.0;
    qint64 mostQueued = 0;
    onYield = [&] {
        mostQueued = std::max(mostQueued, control_.queuedBytes());
        if (reader == Reader::Reading && port_.written.size() >= 50) {
            reader = Reader::Stopped;
            readingPaused_ = true;
        }
        if (reader != Reader::Stopped || !port_.inWrite()) return;
        if (!heldSince) {
            heldSince = Clock::now();
            cpuAtHold = ProcessCpuSeconds();
            return;
        }
        if (Clock::now() - *heldSince < std::chrono::seconds(2)) return;
        secondsHeld = std::chrono::duration<double>(Clock::now() - *heldSince).count();
        cpuWhileHeld = ProcessCpuSeconds() - cpuAtHold;
        reader = Reader::Resumed;
        readingPaused_ = false;
        port_.stopAfter = port_.written.size() + 300;
    };
    Send(100'000);
    onYield = nullptr;

    ASSERT_FALSE(guardFired_);
    ASSERT_EQ(reader, Reader::Resumed) << "the line never filled, so nothing was tested";
    EXPECT_TRUE(box_.shown.empty());
    EXPECT_TRUE(control_.PortOpen());
    // Memory stays bounded while the reader is away...
    EXPECT_LE(mostQueued, QtCommControl::kDefaultQueueLimit);
    // ...and the wait for it sleeps: a loop polling the line would use a
    // whole core over these seconds.
    EXPECT_LT(cpuWhileHeld, 0.5 * secondsHeld)
        << cpuWhileHeld << " s of CPU in " << secondsHeld << " s of waiting";
    ExpectWholeFramesInOrderFrom(0);
}

TEST_F(LineFaultTest, ADeviceHeldByAnotherProgramIsRefusedUntilItIsReleased) {
    QSerialPort other;
    other.setPortName(QString::fromStdString(device_->slavePath()));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();

    Optionopen_Click(w_);
    ASSERT_EQ(box_.shown.size(), 1U);
    EXPECT_EQ(box_.shown[0].text, kOpenFailed);
    ExpectClosedLook();
    EXPECT_TRUE(other.isOpen()) << "the device was taken from the program holding it";

    other.close();
    Optionopen_Click(w_);
    EXPECT_EQ(box_.shown.size(), 1U) << box_.shown.back().text;
    ExpectOpenLook();
    Send(100);
    ASSERT_FALSE(guardFired_);
    ExpectWholeFramesInOrderFrom(0);
}

}  // namespace
}  // namespace kiv
