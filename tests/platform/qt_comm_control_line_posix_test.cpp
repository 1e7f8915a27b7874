// The control against a line that misbehaves: a device that vanishes, a
// line that stops taking bytes. Each case drives a real pty; a reader that
// stops for seconds and a device held by another program are in
// tests/hardening/line_faults_test.cpp, through the whole send loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/comm_test_support.h"
#include "platform/event_loop_yielder.h"
#include "platform/qt_comm_control.h"
#include "support/pty_pair.h"
#include "support/table_cases.h"

namespace kiv {
namespace {

using testing::EventLoopYielder;
using testing::PtyPair;
using testing::RaisedKind;
using testing::SteadyMillisecondClock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kMarker = 0xEE;

class QtCommControlLineTest : public ::testing::Test {
  protected:
    QtCommControlLineTest() {
        m_map.setDevice(1, m_pty.slavePath());
        m_control.setPortMap(m_map);
        m_control.setOutBufferSize(10);
        m_control.setCommPort(1);
    }

    // Sends frames from a small alphabet (never the marker) until the line
    // stops taking them and some wait in the control.
    int FillUntilQueued() {
        const Bytes frame = {0x30, 0x31, 0x32, 0x33, 0x34};
        int frames = 0;
        while (m_control.queuedBytes() == 0 && frames < 1'000'000) {
            m_control.Output(frame);
            ++frames;
        }
        return frames;
    }

    // Reads the far end while running the event loop until nothing waits in
    // the control any more; what is still on its way is left to the caller.
    Bytes DrainWhileQueued() {
        Bytes received;
        while (m_control.queuedBytes() > 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            const auto more = m_pty.ReadAvailable();
            received.insert(received.end(), more.begin(), more.end());
        }
        return received;
    }

    static void RunEventLoop(int passes) {
        for (int i = 0; i < passes; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }

    PtyPair m_pty;
    PortMap m_map;
    QtCommControl m_control;
};

TEST_F(QtCommControlLineTest, ADeviceGoneWhileIdleRaisesAtTheNextOutput) {
    m_control.setPortOpen(true);
    m_control.Output(Bytes{1, 2, 3});
    ASSERT_EQ(m_pty.ReadUntilMarker(kMarker), (Bytes{1, 2, 3}));

    m_pty.CloseMaster();
    EXPECT_EQ(RaisedKind([&] { m_control.Output(Bytes{4, 5, 6}); }), ErrorKind::Port);
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_FALSE(m_control.lastSystemError().empty());
    EXPECT_EQ(RaisedKind([&] { m_control.Output(Bytes{7}); }), ErrorKind::Port);
}

TEST_F(QtCommControlLineTest, ADeviceGoneWithBytesQueuedIsClosedOnceWithoutAStorm) {
    m_control.setPortOpen(true);
    ASSERT_GT(FillUntilQueued(), 0);
    ASSERT_GT(m_control.queuedBytes(), 0);

    int failures = 0;
    QObject::connect(
        &m_control.device(), &QSerialPort::errorOccurred,
        [&failures](QSerialPort::SerialPortError error) {
            if (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) {
                ++failures;
            }
        });
    m_pty.CloseMaster();
    // Only the event loop sees the loss here. Left open, Qt would report it
    // over and over, tens of thousands of times in these passes.
    RunEventLoop(200);
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(m_control.lastSystemError().empty());
    EXPECT_EQ(RaisedKind([&] { m_control.Output(Bytes{1}); }), ErrorKind::Port);
}

TEST_F(QtCommControlLineTest, AFullLineThatQtReportsAsAnErrorKeepsThePortAndEveryByte) {
    m_control.setPortOpen(true);
    const int frames = FillUntilQueued();
    ASSERT_GT(frames, 0);
    int reports = 0;
    QObject::connect(
        &m_control.device(), &QSerialPort::errorOccurred,
        [&reports](QSerialPort::SerialPortError error) {
            if (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) ++reports;
        });
    // Flushed, Qt writes whatever the line says; a full line answers EAGAIN,
    // which Qt reports as it reports a vanished device.
    const_cast<QSerialPort&>(m_control.device()).flush();
    ASSERT_GE(reports, 1) << "Qt reported nothing: the case was not reached";
    EXPECT_TRUE(m_control.PortOpen());
    EXPECT_TRUE(m_control.lastSystemError().empty()) << m_control.lastSystemError();

    // Once the far end reads, every frame arrives, and sending goes on.
    m_control.Output(Bytes{0x35});
    Bytes received = DrainWhileQueued();
    const auto rest = m_pty.ReadUntilMarker(kMarker);
    received.insert(received.end(), rest.begin(), rest.end());
    Bytes sent;
    for (int i = 0; i < frames; ++i) sent.insert(sent.end(), {0x30, 0x31, 0x32, 0x33, 0x34});
    sent.push_back(0x35);
    EXPECT_TRUE(received == sent) << "received " << received.size() << " of " << sent.size();
}

TEST_F(QtCommControlLineTest, AfterALostDeviceANewOneOpensUnderTheSameNumber) {
    m_control.setPortOpen(true);
    m_pty.CloseMaster();
    EXPECT_EQ(RaisedKind([&] { m_control.Output(Bytes{1}); }), ErrorKind::Port);
    ASSERT_FALSE(m_control.PortOpen());

    PtyPair replacement;
    m_map.setDevice(1, replacement.slavePath());
    m_control.setPortMap(m_map);
    m_control.setPortOpen(true);
    m_control.Output(Bytes{9, 8, 7});
    EXPECT_EQ(replacement.ReadUntilMarker(kMarker), (Bytes{9, 8, 7}));
}

TEST_F(QtCommControlLineTest, OutBufferCountZeroDropsWhatWaits) {
    m_control.setPortOpen(true);
    FillUntilQueued();
    ASSERT_GT(m_control.queuedBytes(), 0);
    m_control.setOutBufferCount(0);
    EXPECT_EQ(m_control.queuedBytes(), 0);
    EXPECT_TRUE(m_control.PortOpen());
}

TEST_F(QtCommControlLineTest, ClosingThePortDuringAWaitEndsOutputWithAnError) {
    SteadyMillisecondClock clock;
    EventLoopYielder yielder;
    // A handler run during the wait closes the port, as the serial page's
    // close button would.
    yielder.onYield = [&] { m_control.setPortOpen(false); };
    m_control.setYielder(&yielder, &clock);
    m_control.setPortOpen(true);
    FillUntilQueued();
    while (yielder.yields == 0) {
        const auto raised = RaisedKind([&] { m_control.Output(Bytes{0x30, 0x31, 0x32}); });
        if (yielder.yields > 0) {
            EXPECT_EQ(raised, ErrorKind::Port);
        }
    }
    EXPECT_FALSE(m_control.PortOpen());
}

TEST_F(QtCommControlLineTest, AReopenDuringAWaitDropsTheWaitingFrameWhole) {
    SteadyMillisecondClock clock;
    EventLoopYielder yielder;
    // As the window does for a new frame length: close, size, open.
    yielder.onYield = [&] {
        if (yielder.yields > 1) return;
        m_control.setPortOpen(false);
        m_control.setOutBufferSize(3);
        m_control.setPortOpen(true);
    };
    m_control.setYielder(&yielder, &clock);
    m_control.setPortOpen(true);
    FillUntilQueued();
    const Bytes frame = {0x41, 0x42, 0x43, 0x44, 0x45};
    std::size_t took = frame.size();
    while (yielder.yields == 0) took = m_control.Output(frame);
    ASSERT_TRUE(m_control.PortOpen());
    // The frame that waited says it was not taken.
    EXPECT_EQ(took, 0U);
    // The next frame is cut to the new length by the port's own rule.
    EXPECT_EQ(m_control.Output(Bytes{0x61, 0x62, 0x63, 0x64, 0x65}), 3U);
    Bytes onLine = DrainWhileQueued();
    const auto rest = m_pty.ReadUntilMarker(kMarker);
    onLine.insert(onLine.end(), rest.begin(), rest.end());
    ASSERT_GE(onLine.size(), 3U);
    EXPECT_EQ(Bytes(onLine.end() - 3, onLine.end()), (Bytes{0x61, 0x62, 0x63}));
    // Whatever reached the line of the frames sent before the reopen came
    // whole: never the first three bytes of the frame that waited.
    std::size_t run = 0;
    for (std::size_t i = 0; i + 3 < onLine.size(); ++i) {
        if (onLine[i] >= 0x41 && onLine[i] <= 0x45) {
            ++run;
        } else {
            EXPECT_EQ(run % frame.size(), 0U) << "a cut frame ending at byte " << i;
            run = 0;
        }
    }
    EXPECT_EQ(run % frame.size(), 0U);
}

// A frame whose front is in the device when the port closes: its rest is
// kept, and only the same device gets it, first, when it opens again. The
// line is filled with frames of 1000 bytes, each of its own byte value, so
// that every frame shows on the line as one run of 1000 equal bytes.
enum class Reopen { SameDevice, ThroughALink, AnotherDevice };

struct ReopenCase {
    const char* name;
    Reopen reopen;
};

using kiv::testing::PrintTo;

class ReopenAfterACutTest : public ::testing::TestWithParam<ReopenCase> {};

// Lengths of the runs of equal bytes.
std::vector<std::size_t> Runs(const Bytes& bytes) {
    std::vector<std::size_t> runs;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 0 || bytes[i] != bytes[i - 1]) runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

// Reads `pty` while running the event loop until the control has nothing
// waiting, then everything else up to now.
Bytes ReadAll(PtyPair& pty, const QtCommControl& control) {
    Bytes received;
    while (control.queuedBytes() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        const auto more = pty.ReadAvailable();
        received.insert(received.end(), more.begin(), more.end());
    }
    const auto rest = pty.ReadUntilMarker(kMarker);
    received.insert(received.end(), rest.begin(), rest.end());
    return received;
}

TEST_P(ReopenAfterACutTest, TheRestOfTheCutFrameGoesFirstToTheSameDeviceOnly) {
    constexpr std::size_t kLength = 1000;
    PtyPair first;
    PtyPair second;
    const std::filesystem::path link =
        std::filesystem::temp_directory_path() / ("kiv-reopen-" + std::to_string(::getpid()));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(first.slavePath(), link);
    // Gone however the test ends.
    const std::unique_ptr<const std::filesystem::path, void (*)(const std::filesystem::path*)>
        removeLink(&link, [](const std::filesystem::path* p) { std::filesystem::remove(*p); });
    PortMap map;
    map.setDevice(1, first.slavePath());
    QtCommControl control(map);
    control.setOutBufferSize(static_cast<std::int16_t>(kLength));
    control.setCommPort(1);
    control.setPortOpen(true);
    std::uint8_t value = 0;
    while (control.queuedBytes() == 0 && value < 200) {
        ++value;
        control.Output(Bytes(kLength, value));
    }
    const auto cutRest = static_cast<std::size_t>(control.queuedBytes());
    ASSERT_NE(cutRest % kLength, 0U) << "no frame was cut: the case was not reached";

    control.setPortOpen(false);
    if (GetParam().reopen == Reopen::ThroughALink) map.setDevice(1, link.string());
    if (GetParam().reopen == Reopen::AnotherDevice) map.setDevice(1, second.slavePath());
    control.setPortMap(map);
    control.setOutBufferSize(3);
    control.setPortOpen(true);
    EXPECT_EQ(control.Output(Bytes{0xF1, 0xF2, 0xF3, 0xF4}), 3U);

    PtyPair& reopened = GetParam().reopen == Reopen::AnotherDevice ? second : first;
    const Bytes onReopened = ReadAll(reopened, control);
    control.setPortOpen(false);
    Bytes onFirst = onReopened;
    if (GetParam().reopen == Reopen::AnotherDevice) {
        // The first line is still full: what the control put on it is read
        // before the marker can go in behind it.
        onFirst = first.ReadExactly(value * kLength - cutRest);
        const auto more = first.ReadUntilMarker(kMarker);
        EXPECT_TRUE(more.empty()) << more.size() << " bytes more on the first device";
    }

    const std::vector<std::size_t> runs = Runs(onFirst);
    ASSERT_GE(runs.size(), 2U);
    if (GetParam().reopen == Reopen::AnotherDevice) {
        // The other device's receiver never saw the cut frame's front.
        EXPECT_EQ(onReopened, (Bytes{0xF1, 0xF2, 0xF3}));
        EXPECT_LT(runs.back(), kLength) << "the cut frame's rest reached the first device";
        for (std::size_t i = 0; i + 1 < runs.size(); ++i) EXPECT_EQ(runs[i], kLength) << i;
    } else {
        ASSERT_GE(onFirst.size(), 3U);
        EXPECT_EQ(Bytes(onFirst.end() - 3, onFirst.end()), (Bytes{0xF1, 0xF2, 0xF3}));
        // Every frame before the reopen is whole, the cut one too, and no
        // byte of the rest came twice.
        for (std::size_t i = 0; i + 3 < runs.size(); ++i) EXPECT_EQ(runs[i], kLength) << i;
        EXPECT_EQ(onFirst[onFirst.size() - 4], value) << "the cut frame is not the last before";
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, ReopenAfterACutTest,
                         ::testing::Values(ReopenCase{"SameDevice", Reopen::SameDevice},
                                           ReopenCase{"ThroughALink", Reopen::ThroughALink},
                                           ReopenCase{"AnotherDevice", Reopen::AnotherDevice}),
                         [](const ::testing::TestParamInfo<ReopenCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kiv
