// kiv-cli beside what it did not create: a setup is never written over a
// device node or a pipe, and a serial device another program holds through
// its lock file in the system's lock folder is left to that program, its
// lock file untouched. Device nodes made here live in a temporary folder,
// never in the machine's /dev.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/exit_codes.h"
#include "platform/port_diagnosis.h"
#include "support/child_process.h"
#include "support/pty_pair.h"

namespace kiv {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::PtyPair;

class KivCliBesideOthers : public ::testing::Test {
  protected:
    void SetUp() override {
        // A short folder name: kiv-cli cuts long paths in its messages, and
        // the tests look for the whole path there.
        std::string dir = (fs::temp_directory_path() / "kiv-beside-XXXXXX").string();
        ASSERT_NE(::mkdtemp(dir.data()), nullptr);
        m_dir = dir;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_F(KivCliBesideOthers, WriteSetupRefusesADeviceOrAPipeInOneLine) {
    const fs::path pipe = m_dir / "rig.ini";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::vector<fs::path> targets = {pipe};
    const fs::path node = m_dir / "ttyUSB0";
    if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) targets.push_back(node);
    for (const fs::path& target : targets) {
        SCOPED_TRACE(target.string());
        const auto type = fs::symlink_status(target).type();
        ChildProcess cli(KIV_CLI_PATH, {"--write-setup", target.string(), "--frame", "5"});
        EXPECT_EQ(cli.Wait(), kExitBadInput) << cli.errors();
        EXPECT_EQ(std::count(cli.errors().begin(), cli.errors().end(), '\n'), 1) << cli.errors();
        EXPECT_NE(cli.errors().find(target.string()), std::string::npos) << cli.errors();
        EXPECT_EQ(fs::symlink_status(target).type(), type) << "left as it was";
    }
}

TEST_F(KivCliBesideOthers, ALiveLockInTheSystemsLockFolderKeepsTheDeviceFromKivCli) {
    PtyPair device;
    std::string lockDir;
    for (const std::string& dir : DefaultLockDirectories())
        if (::access(dir.c_str(), W_OK) == 0) {
            lockDir = dir;
            break;
        }
    if (lockDir.empty()) GTEST_SKIP() << "no writable lock folder";
    std::string name = device.slavePath().substr(5);
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path lock = fs::path(lockDir) / ("LCK.." + name);
    // The padded form other serial programs write, naming this test: a
    // process that runs, as the other program would.
    const std::string padded = "      " + std::to_string(::getpid()) + "\n";
    std::ofstream(lock, std::ios::binary) << padded;
    ChildProcess cli(KIV_CLI_PATH,
                     {"--device", device.slavePath(), "--frame", "1,2", "--frames", "3"});
    const int code = cli.Wait();
    std::ifstream in(lock, std::ios::binary);
    const std::string kept(std::istreambuf_iterator<char>(in), {});
    fs::remove(lock);
    EXPECT_EQ(code, kExitPortFailed) << cli.errors();
    EXPECT_NE(cli.errors().find("is held by another program"), std::string::npos) << cli.errors();
    EXPECT_NE(cli.errors().find("(process " + std::to_string(::getpid()) + ")"), std::string::npos)
        << cli.errors();
    EXPECT_EQ(kept, padded) << "the other program's lock was rewritten or removed";
    EXPECT_TRUE(device.ReadAvailable().empty()) << "frames went to a held device";
}

}  // namespace
}  // namespace kiv
