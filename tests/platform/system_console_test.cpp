// Which serial device is the system's console, read from a folder standing
// in for the system's root, laid out as the kernel shows it.
#include "platform/system_console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace kiv {
namespace {

namespace fs = std::filesystem;

struct ConsoleCase {
    const char* name;
    std::map<std::string, std::string> files;  // below the root: contents
    const char* device;
    bool console;
};

class SystemConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() /
                 ("kiv-console-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }
    void Lay(const std::map<std::string, std::string>& files) const {
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        for (const auto& [path, text] : files) {
            fs::create_directories((m_root / path).parent_path());
            std::ofstream(m_root / path, std::ios::binary) << text;
        }
    }
    fs::path m_root;
};

TEST_F(SystemConsoleTest, TheConsoleIsKnownByAnyOfTheKernelsThreeSigns) {
    const ConsoleCase cases[] = {
        {"FlagY", {{"sys/class/tty/ttyS0/console", "Y\n"}}, "/dev/ttyS0", true},
        {"FlagN", {{"sys/class/tty/ttyS0/console", "N\n"}}, "/dev/ttyS0", false},
        {"FlagOfAnother", {{"sys/class/tty/ttyS1/console", "Y\n"}}, "/dev/ttyS0", false},
        {"Active", {{"sys/class/tty/console/active", "tty0 ttyS0\n"}}, "/dev/ttyS0", true},
        {"ActiveIsAnother",
         {{"sys/class/tty/console/active", "tty0 ttyS01\n"}},
         "/dev/ttyS0",
         false},
        {"CommandLine",
         {{"proc/cmdline",
           "BOOT_IMAGE=/vmlinuz root=/dev/sda1 console=tty0 console=ttyS0,115200n8\n"}},
         "/dev/ttyS0",
         true},
        {"CommandLineWithDev",
         {{"proc/cmdline", "quiet console=/dev/ttyAMA0"}},
         "/dev/ttyAMA0",
         true},
        {"CommandLineNamesAnother",
         {{"proc/cmdline", "console=ttyS1,9600 xconsole=ttyS0"}},
         "/dev/ttyS0",
         false},
        {"NothingSays", {{"proc/cmdline", "root=/dev/sda1 quiet\n"}}, "/dev/ttyUSB0", false},
        {"NoSystemFilesAtAll", {}, "/dev/ttyS0", false},
    };
    for (const ConsoleCase& c : cases) {
        SCOPED_TRACE(c.name);
        Lay(c.files);
        EXPECT_EQ(IsSystemConsole(c.device, m_root.string()), c.console);
    }
}

TEST_F(SystemConsoleTest, ALinkIsJudgedByTheDeviceItLeadsTo) {
    Lay({{"sys/class/tty/ttyAMA0/console", "Y\n"}, {"dev/ttyAMA0", ""}});
    fs::create_symlink(m_root / "dev/ttyAMA0", m_root / "dev/serial0");
    EXPECT_TRUE(IsSystemConsole((m_root / "dev/serial0").string(), m_root.string()));
}

}  // namespace
}  // namespace kiv
