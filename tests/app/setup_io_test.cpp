// Writing a setup file over whatever stands at the path: a regular file is
// replaced whole with its permissions kept, a link stays a link, and
// anything else (a device, a pipe, a folder, a link to one of these or to
// nothing) is refused without being touched.
#include "app/setup_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>
#include <variant>

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

namespace kiv {
namespace {

// Reading a setup: from a regular file or a pipe, up to the same limit;
// what else stands at the path is named in one line, and nothing waits on
// a device that never ends.
TEST_F(SetupWriteTest, ASetupIsReadFromAFileOrAPipeAndADeviceIsNamed) {
    const std::string setupText = "[send]\nslot1=7\nperiod=25\n";
    const fs::path file = m_dir / "file.ini";
    WriteFile(file, setupText);
    const fs::path linkToZero = m_dir / "zero.ini";
    fs::create_symlink("/dev/zero", linkToZero);
    const struct {
        std::string path;
        std::string refusal;  // "" when the setup is read
    } cases[] = {
        {file.string(), ""},
        {"/dev/zero", "/dev/zero: is a device; a setup is read only from a regular file or a pipe"},
        {linkToZero.string(), linkToZero.string() +
                                  ": is a link to /dev/zero, which is a device; a setup is read "
                                  "only from a regular file or a pipe"},
        {m_dir.string(),
         m_dir.string() + ": is a folder; a setup is read only from a regular file or a pipe"},
    };
    for (const auto& c : cases) {
        auto read = ReadSetupFile(c.path);
        if (c.refusal.empty()) {
            ASSERT_TRUE(std::holds_alternative<kiv::Setup>(read)) << std::get<std::string>(read);
            EXPECT_EQ(std::get<kiv::Setup>(read).slotTexts[0], "7");
            EXPECT_EQ(std::get<kiv::Setup>(read).period, "25");
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(read)) << c.path;
            EXPECT_EQ(std::get<std::string>(read), c.refusal);
        }
    }
}

TEST_F(SetupWriteTest, APipeIsReadUpToTheSizeLimit) {
    const std::string setupText = "[send]\nslot1=9\n";
    const struct {
        std::string text;
        bool read;
    } cases[] = {
        {setupText, true},
        {setupText + "#" + std::string((1 << 20) - setupText.size() - 2, 'x') + "\n", true},
        {setupText + "#" + std::string(1 << 20, 'x') + "\n", false},
    };
    // The reader leaves a writer that goes on past the limit: the writer's
    // next write fails instead of ending the test program.
    std::signal(SIGPIPE, SIG_IGN);
    for (const auto& c : cases) {
        const fs::path fifo = m_dir / "pipe";
        fs::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        // The writer may be cut off once the reader has seen too much. It
        // waits for the reader to open the pipe, up to a bound that only
        // keeps a reader that never comes from hanging the test.
        std::thread writer([&] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            int fd = -1;
            while ((fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) < 0 &&
                   std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (fd < 0) return;
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            for (std::size_t at = 0; at < c.text.size();) {
                const ssize_t n = ::write(fd, c.text.data() + at, c.text.size() - at);
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            ::close(fd);
        });
        auto read = ReadSetupFile(fifo.string());
        writer.join();
        if (c.read) {
            ASSERT_TRUE(std::holds_alternative<kiv::Setup>(read)) << std::get<std::string>(read);
            EXPECT_EQ(std::get<kiv::Setup>(read).slotTexts[0], "9");
        } else {
            ASSERT_TRUE(std::holds_alternative<std::string>(read));
            EXPECT_EQ(std::get<std::string>(read), fifo.string() + ": too large for a setup file");
        }
    }
}

}  // namespace
}  // namespace kiv
