// The control against a line that misbehaves: a device that vanishes, a
// line that stops taking bytes. Each case drives a real pty; a reader that
// stops for seconds and a device held by another program are in
// tests/hardening/line_faults_test.cpp, through the whole send loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <vector>

#include "platform/comm_test_support.h"
#include "platform/event_loop_yielder.h"
#include "platform/qt_comm_control.h"
#include "support/pty_pair.h"

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

}  // namespace
}  // namespace kiv
