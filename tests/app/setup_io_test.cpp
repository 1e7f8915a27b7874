// Writing a setup file over whatever stands at the path: a regular file is
// replaced whole with its permissions kept, a link stays a link, and
// anything else (a device, a pipe, a folder, a link to one of these or to
// nothing) is refused without being touched.
#include "app/setup_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace kiv {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class SetupWriteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("kiv-setup-io-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
    const std::string m_text = WriteSetup(InitialSetup(), "kiv-test");
};

// What stands at the path before the write, and what must be true after it.
struct Standing {
    const char* name;
    std::function<void(const fs::path& at, const fs::path& dir)> make;
    bool written;
    const char* refusalMentions;
};

TEST_F(SetupWriteTest, WritesOnlyWhereNothingOrARegularFileStands) {
    const Standing cases[] = {
        {"Nothing", [](const fs::path&, const fs::path&) {}, true, ""},
        {"RegularFile", [](const fs::path& at, const fs::path&) { WriteFile(at, "old"); }, true,
         ""},
        {"Folder", [](const fs::path& at, const fs::path&) { fs::create_directory(at); }, false,
         "is a folder"},
        {"Pipe",
         [](const fs::path& at, const fs::path&) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); },
         false, "is a pipe"},
        {"LinkToAPipe",
         [](const fs::path& at, const fs::path& dir) {
             ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
             fs::create_symlink(dir / "fifo", at);
         },
         false, "which is a pipe"},
        {"LinkToAFolder",
         [](const fs::path& at, const fs::path& dir) {
             fs::create_directory(dir / "sub");
             fs::create_symlink(dir / "sub", at);
         },
         false, "which is a folder"},
        {"LinkToNothing",
         [](const fs::path& at, const fs::path& dir) { fs::create_symlink(dir / "gone", at); },
         false, "leads nowhere"},
    };
    for (const Standing& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path at = m_dir / c.name;
        c.make(at, m_dir);
        const auto before = fs::symlink_status(at).type();
        const std::string problem = WriteSetupFile(at.string(), InitialSetup(), "kiv-test");
        if (c.written) {
            EXPECT_EQ(problem, "");
            EXPECT_EQ(ReadFile(at), m_text);
            EXPECT_EQ(fs::symlink_status(at).type(), fs::file_type::regular);
        } else {
            EXPECT_NE(problem.find(c.refusalMentions), std::string::npos) << problem;
            EXPECT_EQ(problem.rfind(at.string(), 0), 0u) << "names the path first: " << problem;
            EXPECT_EQ(problem.find('\n'), std::string::npos) << "one line: " << problem;
            EXPECT_EQ(fs::symlink_status(at).type(), before) << "left as it was";
        }
    }
    // No temporary file is left behind.
    std::set<std::string> known = {"fifo", "sub"};
    for (const Standing& c : cases) known.insert(c.name);
    for (const auto& entry : fs::directory_iterator(m_dir))
        EXPECT_EQ(known.count(entry.path().filename().string()), 1u) << entry.path();
}

TEST_F(SetupWriteTest, ADeviceNodeIsNeverReplaced) {
    // A node of its own (the null device's numbers), so that a fault here
    // cannot damage the machine's /dev.
    const fs::path device = m_dir / "ttyUSB0";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    const std::string problem = WriteSetupFile(device.string(), InitialSetup(), "kiv-test");
    EXPECT_EQ(problem,
              device.string() + ": is a device; a setup is written only to a regular file");
    EXPECT_EQ(fs::symlink_status(device).type(), fs::file_type::character);
}

TEST_F(SetupWriteTest, ALinkedSetupStaysALinkAndItsFileKeepsItsPermissions) {
    const fs::path real = m_dir / "real.ini";
    const fs::path link = m_dir / "rig.ini";
    WriteFile(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink(real, link);

    EXPECT_EQ(WriteSetupFile(link.string(), InitialSetup(), "kiv-test"), "");
    EXPECT_EQ(fs::symlink_status(link).type(), fs::file_type::symlink);
    EXPECT_EQ(fs::read_symlink(link), real);
    EXPECT_EQ(ReadFile(real), m_text);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A plain file keeps its permissions too.
    const fs::path plain = m_dir / "plain.ini";
    WriteFile(plain, "old");
    ASSERT_EQ(::chmod(plain.c_str(), 0604), 0);
    EXPECT_EQ(WriteSetupFile(plain.string(), InitialSetup(), "kiv-test"), "");
    ASSERT_EQ(::stat(plain.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST_F(SetupWriteTest, ALinkPlantedAtATemporaryNameIsNotFollowed) {
    // Another user's link where a writer might put its temporary file.
    const fs::path victim = m_dir / "victim";
    WriteFile(victim, "keep me");
    const fs::path out = m_dir / "out.ini";
    for (const char* suffix : {".part", ".tmp", "~", ".new"})
        fs::create_symlink(victim, out.string() + suffix);
    EXPECT_EQ(WriteSetupFile(out.string(), InitialSetup(), "kiv-test"), "");
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_EQ(ReadFile(out), m_text);
}

}  // namespace
}  // namespace kiv
