// kiv-cli on a real line (a pseudo-terminal standing in for the device): a
// device that vanishes while it sends ends the run at once with the
// line-lost exit code; a device that stops taking bytes cannot hold the run
// past a stop signal; rates beyond the window's list reach the device. The
// guards given to Wait only keep a broken run from hanging the test.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "cli/exit_codes.h"
#include "support/child_process.h"
#include "support/pty_pair.h"

namespace kiv {
namespace {

using testing::ChildProcess;
using testing::PtyPair;

// The child must not inherit the test's end of the pseudo-terminal: while
// kiv-cli itself held the master, closing it here would not hang up the line.
void KeepDescriptorsFromChildren() {
    DIR* dir = opendir("/proc/self/fd");
    ASSERT_NE(dir, nullptr);
    while (const dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        if (fd > 2 && fd != dirfd(dir)) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
    closedir(dir);
}

// A device that vanishes, while frames flow or after its line was full for
// a while, ends the run with the line-lost code and one line on standard
// error that starts with the option and names the loss (not the full
// queue's "Resource temporarily unavailable").
TEST(KivCliLineFaults, ADeviceThatVanishesEndsTheRunWithTheLineLostCode) {
    for (const bool fullFirst : {false, true}) {
        SCOPED_TRACE(fullFirst ? "lost after a full line" : "lost while frames flow");
        PtyPair device;
        KeepDescriptorsFromChildren();
        ChildProcess cli(KIV_CLI_PATH, {"--device", device.slavePath(), "--baud", "115200",
                                        "--frame", "1,2,3", "--period", fullFirst ? "0" : "1"});
        const auto flowing = device.ReadExactly(30);
        ASSERT_EQ(flowing.size(), 30U) << "no frames before the fault";
        for (std::size_t i = 0; i < flowing.size(); ++i) ASSERT_EQ(flowing[i], i % 3 + 1) << i;
        if (fullFirst) {
            // The fault comes once the line has stopped taking bytes, however
            // long a loaded machine takes to fill it; the bound only keeps a
            // broken run from hanging the test.
            constexpr std::uint8_t kProbe = 0xEE;
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            bool full = false;
            while (!(full = device.Unread() > 0 && device.TakesNoMore(kProbe)) &&
                   std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            ASSERT_TRUE(full) << "the line never filled";
        }

        device.CloseMaster();
        // Wait guards against a hang; it is not a timing check.
        EXPECT_EQ(cli.Wait(), kExitLineLost) << cli.errors();
        std::istringstream said(cli.errors());
        std::vector<std::string> lines;
        for (std::string line; std::getline(said, line);)
            if (line.rfind("kiv-cli: warning: ", 0) != 0) lines.push_back(line);
        ASSERT_EQ(lines.size(), 1U) << cli.errors();
        EXPECT_EQ(lines[0].rfind("kiv-cli: --device \"" + device.slavePath() +
                                     "\": the line was lost while sending (",
                                 0),
                  0U)
            << lines[0];
        // The device as the user gave it, then what the system said.
        EXPECT_NE(lines[0].find("(" + device.slavePath() + " was lost: "), std::string::npos)
            << lines[0];
        EXPECT_EQ(lines[0].find(std::strerror(EAGAIN)), std::string::npos) << lines[0];
    }
}

TEST(KivCliLineFaults, AStopSignalEndsARunOnADeviceThatTakesNothing) {
    const std::string log =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_takes_nothing.csv";
    std::remove(log.c_str());
    PtyPair device;  // the far end never reads
    KeepDescriptorsFromChildren();
    ChildProcess cli(KIV_CLI_PATH, {"--device", device.slavePath(), "--frame",
                                    "1,2,3,4,5,6,7,8,9,10", "--period", "0", "--log", log});
    // The signal goes once the line stops taking bytes, however long a
    // loaded machine takes to fill it. The system may still find room a
    // moment later, so what the run reports is judged against what reached
    // the device, not against the moment of the signal. The bound only
    // keeps a broken run from hanging the test.
    constexpr std::uint8_t kProbe = 0xEE;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool full = false;
    while (!(full = device.Unread() > 0 && device.TakesNoMore(kProbe)) &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(full) << "the line never filled";
    cli.Signal(SIGTERM);
    const int code = cli.Wait(std::chrono::seconds(10));

    // Everything the line holds, up to a marker sent after the run ended;
    // what arrived is in order, leaving out the probes, and the last frame
    // may be cut, as the system took part of it before the line stopped.
    constexpr std::uint8_t kMarker = 0xEF;
    auto got = device.ReadUntilMarker(kMarker);
    got.erase(std::remove(got.begin(), got.end(), kProbe), got.end());
    ASSERT_GT(got.size(), 0U);
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i % 10 + 1) << i;

    // A run that ends with frames the line did not take says how many and
    // ends with its own code (the queue is dropped, in the program and in
    // the line). A run whose every frame the line took in the end (the
    // system found room after all) ends cleanly, and then every frame it
    // handed over is on the line.
    if (code == kExitOk) {
        EXPECT_EQ(cli.errors().find("undelivered"), std::string::npos) << cli.errors();
        std::ifstream in(log);
        const auto lines =
            std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
        EXPECT_EQ(got.size(), static_cast<std::size_t>(lines - 1) * 10);
    } else {
        EXPECT_EQ(code, kExitUndelivered) << cli.errors();
        // The report's figures agree with each other and with the log: its
        // total is the frames left in the line plus the one under way, the
        // frames written are the log's, and the frame under way is the next.
        const std::regex report(
            R"(kiv-cli: (\d+) frame\(s\) undelivered and dropped: [^(]*\((\d+) frames? written)"
            R"((?:(?:, the last (\d+) of them|(, all of them)|(,)) not yet through the line)?)"
            R"((?:(?:, and|,) frame (\d+) under way)?\)\n)");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(cli.errors(), m, report)) << cli.errors();
        const long total = std::stol(m[1]);
        const long written = std::stol(m[2]);
        const long inLine = m[3].matched                     ? std::stol(m[3])
                            : (m[4].matched || m[5].matched) ? written
                                                             : 0;
        const long underWay = m[6].matched ? 1 : 0;
        EXPECT_EQ(total, inLine + underWay) << cli.errors();
        EXPECT_LE(inLine, written) << cli.errors();
        if (m[6].matched) {
            EXPECT_EQ(std::stol(m[6]), written + 1) << cli.errors();
        }
        std::ifstream in(log);
        const auto lines =
            std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
        EXPECT_EQ(written, static_cast<long>(lines - 1)) << cli.errors();
    }
    std::remove(log.c_str());
}

TEST(KivCliLineFaults, RatesBeyondTheWindowsListReachTheDevice) {
    for (const char* baud : {"230400", "460800", "921600", "12345"}) {
        PtyPair device;
        KeepDescriptorsFromChildren();
        ChildProcess cli(KIV_CLI_PATH, {"--device", device.slavePath(), "--baud", baud, "--frame",
                                        "7,8", "--period", "1", "--frames", "3"});
        const auto got = device.ReadExactly(6);
        EXPECT_EQ(cli.Wait(), kExitOk) << baud << ": " << cli.errors();
        EXPECT_EQ(got, (std::vector<std::uint8_t>{7, 8, 7, 8, 7, 8})) << baud;
    }
}

TEST(KivCliLineFaults, LogOnStandardOutputHoldsOnlyTheLog) {
    PtyPair device;
    KeepDescriptorsFromChildren();
    ChildProcess cli(KIV_CLI_PATH, {"--device", device.slavePath(), "--log", "-", "--frame", "5,6",
                                    "--period", "1", "--frames", "4"});
    EXPECT_EQ(cli.ReadLine(), "frame,ms_since_start,wall_clock_utc,slot1,slot2");
    const auto got = device.ReadExactly(8);
    EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
    std::istringstream rest(cli.output());
    std::string line;
    int rows = 0;
    while (std::getline(rest, line)) {
        ++rows;
        EXPECT_EQ(line.rfind(std::to_string(rows) + ",", 0), 0U) << line;
        EXPECT_EQ(line.substr(line.size() - 4), ",5,6") << line;
    }
    EXPECT_EQ(rows, 4);
    EXPECT_EQ(got.size(), 8U);
}

// A plan the line's rate cannot carry is named once, with the rate it
// needs; the frames still go out. The virtual port has no rate to name.
TEST(KivCliLineFaults, WarnsOnceWhenTheRateCannotCarryThePlan) {
    const struct {
        bool device;
        const char* baud;
        const char* frame;
        const char* warning;  // "" for none
    } cases[] = {
        // 3 bytes x 10 bits every ms = 30000 baud.
        {true, "9600", "1,2,3",
         "kiv-cli: warning: the line needs at least 30000 baud for this plan (the port runs at "
         "9600)\n"},
        {true, "38400", "1,2,3", ""},
        {false, "9600", "1,2,3", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.device ? "device at " : "virtual port at ") + c.baud);
        PtyPair device;
        KeepDescriptorsFromChildren();
        std::vector<std::string> args = {"--baud",   c.baud, "--frame",  c.frame,
                                         "--period", "1",    "--frames", "3"};
        if (c.device) args.insert(args.end(), {"--device", device.slavePath()});
        ChildProcess cli(KIV_CLI_PATH, args);
        if (c.device) {
            EXPECT_EQ(device.ReadExactly(9).size(), 9U);
        } else {
            // The virtual port waits for a receiver on the path it names.
            const std::string named = cli.ReadLine();
            ASSERT_EQ(named.rfind("sending on ", 0), 0U) << named;
            testing::LineReader receiver(named.substr(11));
            EXPECT_EQ(receiver.Read(9).size(), 9U);
        }
        EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
        EXPECT_EQ(cli.errors(), c.warning);
    }
}

// A device path that leads to no device is reported with what the system
// said about the path, never as a device in use: a folder on the way this
// user may not enter (with a link behind it, or nothing), and a name longer
// than the system takes. A folder shut to its user needs a user other than
// root: as root, kiv-cli runs as nobody for those cases.
TEST(KivCliLineFaults, ADeviceThatCannotBeReachedIsNotCalledInUse) {
    const std::string dir =
        ::testing::TempDir() + "kiv-unreachable-" + std::to_string(::getpid()) + "/";
    const std::string locked = dir + "locked";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(locked);
    std::filesystem::create_symlink("/dev/null", locked + "/ttyUSB0");
    const bool root = ::geteuid() == 0;
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(locked.c_str(), root ? 0700 : 0), 0);
    const std::vector<std::string> asAnother =
        root ? std::vector<std::string>{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                        "--clear-groups"}
             : std::vector<std::string>{};
    const std::string longName = ::testing::TempDir() + std::string(300, 'a');
    const struct {
        std::string device;
        bool shutFolder;
        std::string says;
    } cases[] = {
        {locked + "/ttyUSB0", true,
         "cannot be reached: this user may not enter the folder " + locked +
             " (the system said: Permission denied)"},
        {locked + "/missing", true,
         "cannot be reached: this user may not enter the folder " + locked +
             " (the system said: Permission denied)"},
        {longName, false, "cannot be reached (the system said: File name too long)"},
        {longName + "/ttyUSB0", false, "cannot be reached (the system said: File name too long)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device.substr(0, 80));
        if (c.shutFolder && root && !std::filesystem::exists(asAnother[0])) {
            ADD_FAILURE() << "no setpriv to run kiv-cli as another user";
            continue;
        }
        std::vector<std::string> args = c.shutFolder ? asAnother : std::vector<std::string>{};
        args.insert(args.end(), {KIV_CLI_PATH, "--device", c.device, "--frames", "1"});
        const std::string program = args.front();
        args.erase(args.begin());
        ChildProcess cli(program, args);
        EXPECT_EQ(cli.Wait(), kExitPortFailed) << cli.errors();
        EXPECT_NE(cli.errors().find(c.says), std::string::npos) << cli.errors();
        EXPECT_EQ(cli.errors().find("in use"), std::string::npos) << cli.errors();
        EXPECT_EQ(std::count(cli.errors().begin(), cli.errors().end(), '\n'), 1) << cli.errors();
    }
    ::chmod(locked.c_str(), 0700);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kiv
