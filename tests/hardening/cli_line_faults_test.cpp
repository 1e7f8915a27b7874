// kiv-cli on a device that vanishes while it sends: the run ends at once
// with the line-lost exit code and says why, instead of hanging or spinning.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

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

}  // namespace
}  // namespace kiv
