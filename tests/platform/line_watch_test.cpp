// The port controls' view of the bytes coming back, on real
// pseudo-terminals: a line joined back to itself (the loopback plug) and a
// receiver that answers on the virtual port.
#include "serial/line_watch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/pty.h"
#include "platform/pty_port.h"
#include "platform/qt_comm_control.h"
#include "sending/loopback_matcher.h"
#include "sending/sent_frames.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr auto kCeiling = std::chrono::seconds(20);

// A pseudo-terminal whose far end sends every byte straight back, as a
// plug joining TX and RX would; `change` may alter a byte on its way.
class LoopbackLine {
  public:
    explicit LoopbackLine(std::uint8_t (*change)(std::uint8_t) = nullptr) : m_change(change) {
        m_echo = std::thread([this] { Run(); });
    }
    ~LoopbackLine() {
        m_stop = true;
        m_echo.join();
    }
    const std::string& path() const { return m_pty.slavePath(); }

  private:
    void Run() {
        std::uint8_t buffer[256];
        while (!m_stop) {
            pollfd p{m_pty.master(), POLLIN, 0};
            // The bound only lets the thread see m_stop.
            if (poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = read(m_pty.master(), buffer, sizeof buffer);
            if (n <= 0) continue;
            if (m_change != nullptr)
                for (ssize_t i = 0; i < n; ++i) buffer[i] = m_change(buffer[i]);
            for (ssize_t done = 0; done < n;) {
                const ssize_t w =
                    write(m_pty.master(), buffer + done, static_cast<size_t>(n - done));
                if (w > 0) done += w;
            }
        }
    }

    RawPty m_pty;
    std::uint8_t (*m_change)(std::uint8_t);
    std::atomic<bool> m_stop{false};
    std::thread m_echo;
};

// Frame i: five bytes, 0xFF in every fourth frame.
Bytes FrameOf(int i) {
    return {static_cast<std::uint8_t>(i), 0x0A, 0x0D,
            static_cast<std::uint8_t>(i % 4 == 3 ? 0xFF : 0x11), 0x13};
}

TEST(LineWatch, LoopbackCountOnAPtyJoinedBackToItself) {
    const struct {
        const char* name;
        std::uint8_t (*change)(std::uint8_t);
        std::uint64_t equal, different;
    } cases[] = {
        {"a clean line", nullptr, 40, 0},
        {"a line that loses the top bit of 0xFF",
         [](std::uint8_t b) -> std::uint8_t { return b == 0xFF ? 0x7F : b; }, 30, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackLine line(c.change);
        PortMap map;
        map.setDevice(1, line.path());
        QtCommControl port(map);
        port.setOutBufferSize(5);
        port.setPortOpen(true);
        ASSERT_NE(port.Watch(), nullptr);

        SentFrames sent;
        LoopbackMatcher matcher;
        matcher.Update(sent, 1, port.Watch()->Arrived());
        Bytes stream;
        for (int i = 0; i < 40; ++i) {
            const Bytes frame = FrameOf(i);
            port.Output(frame);
            sent.Push(i, frame);
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
        const auto until = std::chrono::steady_clock::now() + kCeiling;
        while (matcher.equal() + matcher.different() < 40 &&
               std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            matcher.Update(sent, 1, port.Watch()->Arrived());
        }
        EXPECT_EQ(matcher.equal(), c.equal);
        EXPECT_EQ(matcher.different(), c.different);
        EXPECT_EQ(matcher.missed(), 0u);
        EXPECT_EQ(matcher.extraBytes(), 0u);

        const ArrivedStore& arrived = port.Watch()->Arrived();
        Bytes back;
        for (std::uint64_t at = arrived.oldest(); at < arrived.total(); ++at)
            back.push_back(arrived.At(at));
        ASSERT_EQ(back.size(), stream.size());
        for (std::size_t i = 0; i < stream.size(); ++i)
            EXPECT_EQ(back[i], c.change ? c.change(stream[i]) : stream[i]) << i;
        for (std::size_t i = 1; i < arrived.chunks().size(); ++i)
            EXPECT_LE(arrived.chunks()[i - 1].ms, arrived.chunks()[i].ms);
        EXPECT_EQ(port.Watch()->BytesQueued(), 0);
        port.setPortOpen(false);
    }
}

// On the virtual port the receiver's replies come back at the master.
TEST(LineWatch, VirtualPortTakesTheReceiversReplies) {
    PtyPort port;
    port.setPortOpen(true);
    ASSERT_NE(port.Watch(), nullptr);
    const int receiver = open(port.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(receiver, 0);
    const Bytes reply = {'O', 'K', 0x0D, 0x00, 0xFF};
    ASSERT_EQ(write(receiver, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
    const auto until = std::chrono::steady_clock::now() + kCeiling;
    while (port.Arrived().total() < reply.size() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Bytes back;
    for (std::uint64_t at = port.Arrived().oldest(); at < port.Arrived().total(); ++at)
        back.push_back(port.Arrived().At(at));
    EXPECT_EQ(back, reply);
    // What the program sent and the receiver has not read yet.
    const Bytes frame = {1, 2, 3};
    port.Output(frame);
    const auto queuedBy = std::chrono::steady_clock::now() + kCeiling;
    while (port.BytesQueued() < 3 && std::chrono::steady_clock::now() < queuedBy) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(port.BytesQueued(), 3);
    close(receiver);
}

}  // namespace
}  // namespace kiv
