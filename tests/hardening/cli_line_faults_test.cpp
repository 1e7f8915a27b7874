// kiv-cli on a real line (a pseudo-terminal standing in for the device): a
// device that vanishes while it sends ends the run at once with the
// line-lost exit code; a device that stops taking bytes cannot hold the run
// past a stop signal; rates beyond the window's list reach the device. The
// guards given to Wait only keep a broken run from hanging the test.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
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

TEST(KivCliLineFaults, ADeviceThatVanishesEndsTheRunWithTheLineLostCode) {
    PtyPair device;
    KeepDescriptorsFromChildren();
    ChildProcess cli(KIV_CLI_PATH,
                     {"--device", device.slavePath(), "--frame", "1,2,3", "--period", "1"});
    const auto flowing = device.ReadExactly(30);
    ASSERT_EQ(flowing.size(), 30U) << "no frames before the fault";
    for (std::size_t i = 0; i < flowing.size(); ++i) ASSERT_EQ(flowing[i], i % 3 + 1) << i;

    device.CloseMaster();
    // Wait guards against a hang; it is not a timing check.
    EXPECT_EQ(cli.Wait(), 3) << cli.errors();
    EXPECT_NE(cli.errors().find("the line was lost"), std::string::npos) << cli.errors();
}

TEST(KivCliLineFaults, AStopSignalEndsARunOnADeviceThatTakesNothing) {
    PtyPair device;  // the far end never reads
    KeepDescriptorsFromChildren();
    ChildProcess cli(KIV_CLI_PATH, {"--device", device.slavePath(), "--frame",
                                    "1,2,3,4,5,6,7,8,9,10", "--period", "0"});
    // Long enough for the line and the program's queue to fill; not a measurement.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(std::chrono::milliseconds(2500)), kExitUndelivered) << cli.errors();
    EXPECT_NE(cli.errors().find("frame(s) undelivered and dropped"), std::string::npos)
        << cli.errors();
    // What did arrive is in order; the last frame may be cut, as the system
    // took part of it before the line stopped.
    const auto got = device.ReadAvailable();
    ASSERT_GT(got.size(), 0U);
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i % 10 + 1) << i;
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

}  // namespace
}  // namespace kiv
