#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/comm_test_support.h"
#include "platform/port_diagnosis.h"
#include "platform/qt_comm_control.h"
#include "support/pty_pair.h"

namespace kiv {
namespace {

using testing::Concat;
using testing::PtyPair;
using testing::RaisedKind;
using Bytes = std::vector<std::uint8_t>;

// Never sent by these tests, so it can close off what the port sent.
constexpr std::uint8_t kMarker = 0xEE;

class QtCommControlTest : public ::testing::Test {
  protected:
    QtCommControlTest() {
        m_map.setDevice(1, m_pty.slavePath());
        m_control.setPortMap(m_map);
    }

    void OpenWithOutBufferSize(std::int16_t size) {
        m_control.setOutBufferSize(size);
        m_control.setCommPort(1);
        m_control.setPortOpen(true);
    }

    PtyPair m_pty;
    PortMap m_map;
    QtCommControl m_control;
};

TEST_F(QtCommControlTest, OpensTheMappedDeviceWithTheGivenSettings) {
    PortMap map;
    map.setDevice(3, m_pty.slavePath());
    m_control.setPortMap(map);
    m_control.setCommPort(3);
    m_control.setSettings("19200,e,7,2");
    m_control.setPortOpen(true);
    ASSERT_TRUE(m_control.PortOpen());
    const QSerialPort& port = m_control.device();
    EXPECT_EQ(port.portName().toStdString(), m_pty.slavePath().substr(std::string("/dev/").size()));
    EXPECT_EQ(port.baudRate(), 19200);
    EXPECT_EQ(port.parity(), QSerialPort::EvenParity);
    EXPECT_EQ(port.dataBits(), QSerialPort::Data7);
    EXPECT_EQ(port.stopBits(), QSerialPort::TwoStop);
    EXPECT_EQ(port.flowControl(), QSerialPort::NoFlowControl);
}

TEST_F(QtCommControlTest, SettingsGivenWhileOpenWaitForTheNextOpen) {
    m_control.setSettings("9600,n,8,1");
    OpenWithOutBufferSize(10);
    m_control.setSettings("56000,o,6,1");
    EXPECT_EQ(m_control.device().baudRate(), 9600);
    EXPECT_EQ(m_control.device().parity(), QSerialPort::NoParity);

    m_control.setPortOpen(false);
    m_control.setPortOpen(true);
    EXPECT_EQ(m_control.device().baudRate(), 56000);
    EXPECT_EQ(m_control.device().parity(), QSerialPort::OddParity);
    EXPECT_EQ(m_control.device().dataBits(), QSerialPort::Data6);
    EXPECT_EQ(m_control.device().stopBits(), QSerialPort::OneStop);
}

TEST_F(QtCommControlTest, PutsEveryFrameOnTheLineWholeAndInOrder) {
    OpenWithOutBufferSize(10);
    // Line feeds, carriage returns, XON/XOFF and NUL would be altered or
    // eaten by a line that is not raw.
    const std::vector<Bytes> frames = {
        {0x00, 0x0A, 0x0D, 0xFF},       {0x11, 0x13, 0x7F}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {0x0A},
        {0x80, 0x03, 0x1B, 0x04, 0x1C},
    };
    for (const auto& frame : frames) m_control.Output(frame);
    // Nothing ran Qt's event loop: the bytes must have left at Output.
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), Concat(frames));
}

struct TruncationCase {
    std::int16_t outBufferSize;
    std::size_t arrayLength;
    std::size_t expectedOnLine;
};

void PrintTo(const TruncationCase& c, std::ostream* os) {
    *os << "OutBufferSize " << c.outBufferSize << ", " << c.arrayLength << " bytes given, "
        << c.expectedOnLine << " expected";
}

class OutBufferSizeLimit : public QtCommControlTest,
                           public ::testing::WithParamInterface<TruncationCase> {};

TEST_P(OutBufferSizeLimit, OnlyTheLeadingBytesGoOut) {
    const auto& row = GetParam();
    Bytes frame(row.arrayLength);
    for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(0x41 + i);
    OpenWithOutBufferSize(row.outBufferSize);
    m_control.Output(frame);
    m_control.setPortOpen(false);
    const Bytes expected(frame.begin(),
                         frame.begin() + static_cast<std::ptrdiff_t>(row.expectedOnLine));
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, OutBufferSizeLimit,
                         ::testing::Values(TruncationCase{4, 10, 4}, TruncationCase{10, 10, 10},
                                           TruncationCase{1, 10, 1}, TruncationCase{0, 10, 0},
                                           TruncationCase{12, 10, 10}, TruncationCase{3, 2, 2},
                                           TruncationCase{5, 0, 0}),
                         [](const auto& info) { return "row" + std::to_string(info.index); });

TEST_F(QtCommControlTest, OutBufferSizeGivenWhileOpenWaitsForTheNextOpen) {
    const Bytes frame = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    OpenWithOutBufferSize(10);
    m_control.setOutBufferSize(4);
    m_control.Output(frame);
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), frame);

    m_control.setPortOpen(false);
    m_control.setPortOpen(true);
    m_control.Output(frame);
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), (Bytes{1, 2, 3, 4}));
}

TEST_F(QtCommControlTest, OutputRaisesOnAClosedPort) {
    const Bytes frame = {1, 2, 3};
    m_control.setOutBufferSize(10);
    EXPECT_EQ(RaisedKind([&] { m_control.Output(frame); }), ErrorKind::Port);

    OpenWithOutBufferSize(10);
    m_control.setPortOpen(false);
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_EQ(RaisedKind([&] { m_control.Output(frame); }), ErrorKind::Port);
    // Even when nothing would be written, a closed port is an error.
    m_control.setOutBufferSize(0);
    EXPECT_EQ(RaisedKind([&] { m_control.Output(frame); }), ErrorKind::Port);
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), Bytes{});
}

TEST_F(QtCommControlTest, AMissingDeviceRaisesWithTheSystemReason) {
    // A name of this process's own: Qt takes the device's lock file before
    // it finds the device missing, so another test opening the same missing
    // name at that moment would make it look held, not missing.
    const std::string missing = "/dev/kiv-test-no-such-device-" + std::to_string(::getpid());
    PortMap map;
    map.setDevice(2, missing);
    m_control.setPortMap(map);
    m_control.setCommPort(2);
    try {
        m_control.setPortOpen(true);
        FAIL() << "opening a missing device returned";
    } catch (const KivError& error) {
        EXPECT_EQ(error.kind(), ErrorKind::Port);
        const std::string what = error.what();
        EXPECT_NE(what.find(missing), std::string::npos) << what;
        EXPECT_NE(what.find("COM2"), std::string::npos) << what;
        EXPECT_NE(what.find("there is no such device"), std::string::npos) << what;
        EXPECT_FALSE(m_control.lastSystemError().empty());
        EXPECT_NE(what.find(m_control.lastSystemError()), std::string::npos) << what;
    }
    EXPECT_FALSE(m_control.PortOpen());
}

TEST_F(QtCommControlTest, OpeningAnOpenPortRaisesAndKeepsItOpen) {
    OpenWithOutBufferSize(10);
    EXPECT_EQ(RaisedKind([&] { m_control.setPortOpen(true); }), ErrorKind::Port);
    ASSERT_TRUE(m_control.PortOpen());
    m_control.Output(Bytes{5});
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), Bytes{5});
}

TEST_F(QtCommControlTest, ThePortNumberGivenWhileOpenWaitsForTheNextOpen) {
    PtyPair other;
    m_map.setDevice(2, other.slavePath());
    m_control.setPortMap(m_map);
    OpenWithOutBufferSize(10);
    m_control.setCommPort(2);
    m_control.Output(Bytes{1});
    m_control.setPortOpen(false);
    m_control.setPortOpen(true);
    m_control.Output(Bytes{2});
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), Bytes{1});
    EXPECT_EQ(other.ReadUntilMarker(kMarker), Bytes{2});
}

// Another serial program's lock file for the pseudo-terminal, in the forms
// such programs write, naming this test's own (running) process.
std::string LockName(const std::string& device) {
    std::string name = device.substr(std::string("/dev/").size());
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

std::string BinaryPid(std::int32_t pid) {
    std::string bytes(sizeof pid, '\0');
    std::memcpy(bytes.data(), &pid, sizeof pid);
    return bytes;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ForeignLockTest : public QtCommControlTest {
  protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("kiv-foreign-lock-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_control.setLockDirectories({m_dir.string()});
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Opens COM`port` and returns the reason it was refused ("" when it opened).
    std::string Refusal(int port) {
        m_control.setCommPort(static_cast<std::int16_t>(port));
        try {
            m_control.setPortOpen(true);
        } catch (const KivError& error) {
            EXPECT_EQ(error.kind(), ErrorKind::Port);
            return error.what();
        }
        return "";
    }
    std::filesystem::path m_dir;
    const std::string m_self = std::to_string(::getpid());
};

TEST_F(ForeignLockTest, ALiveLockInEitherFormRefusesTheOpenAndIsLeftAlone) {
    const auto lock = m_dir / LockName(m_pty.slavePath());
    const std::string forms[] = {"      " + m_self + "\n", BinaryPid(::getpid()),
                                 m_self + "\nminicom\nhost\n"};
    for (const std::string& form : forms) {
        std::ofstream(lock, std::ios::binary) << form;
        const std::string reason = Refusal(1);
        EXPECT_NE(reason.find("is held by another program"), std::string::npos) << reason;
        EXPECT_NE(reason.find("(process " + m_self + ")"), std::string::npos) << reason;
        EXPECT_FALSE(m_control.PortOpen());
        EXPECT_EQ(ReadAll(lock), form) << "the other program's lock is kept";
    }
    // The same device reached through a link is refused too.
    const auto link = m_dir / "by-id-port0";
    std::filesystem::create_symlink(m_pty.slavePath(), link);
    m_map.setDevice(2, link.string());
    m_control.setPortMap(m_map);
    const std::string reason = Refusal(2);
    EXPECT_NE(reason.find("COM2 (" + link.string() + ") is held by another program"),
              std::string::npos)
        << reason;
    EXPECT_TRUE(std::filesystem::exists(lock));
}

TEST_F(ForeignLockTest, ALockOfAProcessThatIsGoneIsReplaced) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const auto lock = m_dir / LockName(m_pty.slavePath());
    std::ofstream(lock, std::ios::binary) << BinaryPid(child);
    EXPECT_EQ(Refusal(1), "");
    EXPECT_TRUE(m_control.PortOpen());
    EXPECT_FALSE(std::filesystem::exists(lock));
    m_control.Output(Bytes{7});
    EXPECT_EQ(m_pty.ReadUntilMarker(kMarker), Bytes{7});
}

// The system's own lock folder, where Qt looks as well: Qt alone would take
// a lock without a program name for stale, delete it and open the device.
TEST_F(QtCommControlTest, ALiveLockInTheSystemsLockFolderIsRespected) {
    std::filesystem::path lock;
    for (const std::string& dir : DefaultLockDirectories()) {
        if (::access(dir.c_str(), W_OK) == 0) {
            lock = std::filesystem::path(dir) / LockName(m_pty.slavePath());
            break;
        }
    }
    if (lock.empty()) GTEST_SKIP() << "no writable lock folder";
    const std::string padded = "      " + std::to_string(::getpid()) + "\n";
    std::ofstream(lock, std::ios::binary) << padded;
    m_control.setCommPort(1);
    const auto raised = RaisedKind([&] { m_control.setPortOpen(true); });
    const std::string kept = ReadAll(lock);
    std::filesystem::remove(lock);
    EXPECT_EQ(raised, ErrorKind::Port);
    EXPECT_FALSE(m_control.PortOpen());
    EXPECT_EQ(kept, padded);
}

}  // namespace
}  // namespace kiv
