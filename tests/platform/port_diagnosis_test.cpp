#include "platform/port_diagnosis.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/table_cases.h"

namespace kiv {
namespace {

struct ReasonCase {
    const char* name;
    OpenFailureFacts facts;
    const char* expected;
};
using kiv::testing::PrintTo;

OpenFailureFacts Facts(OpenProblem problem, std::string holder = {}, bool denied = false,
                       std::string group = {}, int mode = -1, std::string owner = "root") {
    OpenFailureFacts f;
    f.problem = problem;
    f.label = "COM1 (/dev/ttyUSB0)";
    f.device = "/dev/ttyUSB0";
    f.systemText = "Permission error while locking the device";
    f.settings = "43000,e,7,2";
    f.holder = std::move(holder);
    f.accessDenied = denied;
    f.deviceGroup = std::move(group);
    f.deviceMode = mode;
    f.deviceOwner = std::move(owner);
    return f;
}

// Qt said the device is in use, but the path does not reach one.
OpenFailureFacts Unreachable(std::string why, bool missing, std::string folder) {
    OpenFailureFacts f = Facts(OpenProblem::Busy);
    f.unreachable = std::move(why);
    f.pathMissing = missing;
    f.deniedFolder = std::move(folder);
    return f;
}

class OpenFailureReason : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(OpenFailureReason, SaysWhatIsWrongAndWhatToDo) {
    EXPECT_EQ(ExplainOpenFailure(GetParam().facts), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OpenFailureReason,
    ::testing::Values(
        ReasonCase{"Missing", Facts(OpenProblem::Missing),
                   "COM1 (/dev/ttyUSB0): there is no such device. Plug the adapter in, or make "
                   "sure the port number names the device you mean (the system said: Permission "
                   "error while locking the device)."},
        ReasonCase{"HeldWithLockFile", Facts(OpenProblem::Busy, "minicom (process 4242)"),
                   "COM1 (/dev/ttyUSB0) is held by another program: minicom (process 4242). "
                   "Close that program, then open the port again."},
        ReasonCase{"PermissionDenied", Facts(OpenProblem::Busy, "", true, "dialout", 0660),
                   "COM1 (/dev/ttyUSB0): permission denied. Only members of the group dialout "
                   "may use /dev/ttyUSB0. Add yourself with \"sudo usermod -aG dialout $USER\", "
                   "then log out and back in."},
        ReasonCase{"PermissionDeniedGroupReadsAndWritesMore",
                   Facts(OpenProblem::Busy, "", true, "uucp", 02670),
                   "COM1 (/dev/ttyUSB0): permission denied. Only members of the group uucp "
                   "may use /dev/ttyUSB0. Add yourself with \"sudo usermod -aG uucp $USER\", "
                   "then log out and back in."},
        // No group can help: the owner, group and mode say why.
        ReasonCase{"PermissionDeniedRootOnly", Facts(OpenProblem::Busy, "", true, "root", 0600),
                   "COM1 (/dev/ttyUSB0): permission denied. /dev/ttyUSB0 is owned by root:root, "
                   "mode 0600, so no group you could join may use it. Ask the system's "
                   "administrator for read and write access to it."},
        ReasonCase{"PermissionDeniedGroupWithoutAccess",
                   Facts(OpenProblem::Busy, "", true, "dialout", 0600),
                   "COM1 (/dev/ttyUSB0): permission denied. /dev/ttyUSB0 is owned by "
                   "root:dialout, mode 0600, so no group you could join may use it. Ask the "
                   "system's administrator for read and write access to it."},
        ReasonCase{"PermissionDeniedGroupReadsOnly",
                   Facts(OpenProblem::Busy, "", true, "dialout", 0640, "uucp"),
                   "COM1 (/dev/ttyUSB0): permission denied. /dev/ttyUSB0 is owned by "
                   "uucp:dialout, mode 0640, so no group you could join may use it. Ask the "
                   "system's administrator for read and write access to it."},
        ReasonCase{"PermissionDeniedRootGroupMay", Facts(OpenProblem::Busy, "", true, "root", 0660),
                   "COM1 (/dev/ttyUSB0): permission denied. /dev/ttyUSB0 is owned by root:root, "
                   "mode 0660, so no group you could join may use it. Ask the system's "
                   "administrator for read and write access to it."},
        ReasonCase{"PermissionDeniedGroupUnknown", Facts(OpenProblem::Busy, "", true, ""),
                   "COM1 (/dev/ttyUSB0): permission denied (the system said: Permission error "
                   "while locking the device). Ask the system's administrator for read and "
                   "write access to /dev/ttyUSB0."},
        ReasonCase{"BusyWithoutLockFile", Facts(OpenProblem::Busy),
                   "COM1 (/dev/ttyUSB0) is in use by another program (the system said: "
                   "Permission error while locking the device). Close that program, then open "
                   "the port again."},
        ReasonCase{"SettingsRefused", Facts(OpenProblem::Refused),
                   "COM1 (/dev/ttyUSB0) refused the settings 43000,e,7,2 (the system said: "
                   "Permission error while locking the device). Choose another baud rate, "
                   "parity, data or stop bits."},
        ReasonCase{"NotASerialPort", Facts(OpenProblem::NotSerial),
                   "COM1 (/dev/ttyUSB0) is not a serial port (the system said: Permission "
                   "error while locking the device). Name the device of a serial port."},
        // A path that does not lead to a device is not a device in use.
        ReasonCase{"AFolderOnThePathIsClosed",
                   Unreachable("Permission denied", false, "/home/ann/private"),
                   "COM1 (/dev/ttyUSB0) cannot be reached: this user may not enter the folder "
                   "/home/ann/private (the system said: Permission denied). Ask the system's "
                   "administrator for access, or name a device outside it."},
        ReasonCase{"NothingAtThePath", Unreachable("No such file or directory", true, ""),
                   "COM1 (/dev/ttyUSB0): there is no such device. Plug the adapter in, or make "
                   "sure the port number names the device you mean (the system said: No such "
                   "file or directory)."},
        ReasonCase{"ANameTooLong", Unreachable("File name too long", false, ""),
                   "COM1 (/dev/ttyUSB0) cannot be reached (the system said: File name too "
                   "long). Make sure the path names the device you mean."},
        ReasonCase{"AHolderIsNamedFirst",
                   [] {
                       OpenFailureFacts f = Unreachable("Permission denied", false, "/x");
                       f.holder = "minicom (process 4242)";
                       return f;
                   }(),
                   "COM1 (/dev/ttyUSB0) is held by another program: minicom (process 4242). "
                   "Close that program, then open the port again."}),
    [](const ::testing::TestParamInfo<ReasonCase>& info) { return info.param.name; });

struct LockCase {
    const char* name;
    const char* device;
    const char* lockName;
    std::string content;
    bool named;  // the holder is found
};
class LockFileHolder : public ::testing::TestWithParam<LockCase> {};

TEST_P(LockFileHolder, NamesARunningHolderOnly) {
    const LockCase& c = GetParam();
    const auto dir =
        std::filesystem::temp_directory_path() / ("kiv-lock-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / c.lockName) << c.content;
    std::ifstream comm("/proc/self/comm");
    std::string self;
    std::getline(comm, self);
    const std::string holder = LockHolder(c.device, {"/nonexistent-kiv-dir", dir.string()});
    std::filesystem::remove_all(dir);
    EXPECT_EQ(holder, c.named ? self + " (process " + std::to_string(::getpid()) + ")" : "");
}

const std::string kSelf = std::to_string(::getpid());

// The binary form: a native int, as the oldest serial programs write it.
std::string Binary(std::int32_t pid) {
    std::string bytes(sizeof pid, '\0');
    std::memcpy(bytes.data(), &pid, sizeof pid);
    return bytes;
}

// A process id that no process has now: a child that has come and gone.
pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}
const std::string kGone = std::to_string(GonePid());

INSTANTIATE_TEST_SUITE_P(
    Table, LockFileHolder,
    ::testing::Values(
        // The form Qt writes: the PID, the program, the host, one a line.
        LockCase{"QtForm", "/dev/ttyUSB0", "LCK..ttyUSB0", kSelf + "\nkiv\nhost\n", true},
        // The form of the classic serial tools: the PID right-aligned in ten.
        LockCase{"PaddedForm", "/dev/ttyACM1", "LCK..ttyACM1", "     " + kSelf + "\n", true},
        LockCase{"PtyBelowDev", "/dev/pts/7", "LCK..pts_7", kSelf + "\n", true},
        LockCase{"PtyAsLockdevNamesIt", "/dev/pts/7", "LCK..pts:7", kSelf + "\n", true},
        LockCase{"BinaryForm", "/dev/ttyS1", "LCK..ttyS1", Binary(::getpid()), true},
        LockCase{"BinaryFormGone", "/dev/ttyS1", "LCK..ttyS1", Binary(std::stoi(kGone)), false},
        LockCase{"PaddedFormGone", "/dev/ttyS1", "LCK..ttyS1", "      " + kGone + "\n", false},
        LockCase{"NumberThenJunk", "/dev/ttyUSB0", "LCK..ttyUSB0", kSelf + "kiv\n", false},
        LockCase{"AnotherDevice", "/dev/ttyUSB1", "LCK..ttyUSB0", kSelf + "\n", false},
        LockCase{"NoProcess", "/dev/ttyUSB0", "LCK..ttyUSB0", "0\n", false},
        LockCase{"Garbage", "/dev/ttyUSB0", "LCK..ttyUSB0", "kiv\n12", false},
        LockCase{"TooLong", "/dev/ttyUSB0", "LCK..ttyUSB0", "99999999999999999999\n", false}),
    [](const ::testing::TestParamInfo<LockCase>& info) { return info.param.name; });

TEST(LockFilePid, ReadsTheTextAndTheBinaryForms) {
    const struct {
        std::string text;
        long pid;
    } cases[] = {
        {"4242\nkiv\nhost\n", 4242},
        {"      4242\n", 4242},
        {"  42", 42},
        {"123\n", 123},  // four bytes, all text: not the binary form
        {Binary(4242), 4242},
        {Binary(0x00203031), 0x00203031},  // starts like "10 " but holds a zero byte
        {Binary(0), 0},
        {Binary(-5), 0},
        {"12abc\n", 0},
        {"", 0},
        {"\n", 0},
        {"123456789\n", 123456789},
        {"1234567890\n", 0},
        {std::string("42\0\0\0", 5), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(LockFilePid(c.text), c.pid) << "\"" << c.text << "\"";
}

class LockDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() /
                ("kiv-lock-dir-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir / "by-id");
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    void Lock(const std::string& name, const std::string& text) const {
        std::ofstream(m_dir / ("LCK.." + name), std::ios::binary) << text;
    }
    bool Locked(const std::string& name) const {
        return std::filesystem::exists(m_dir / ("LCK.." + name));
    }
    std::filesystem::path m_dir;
};

TEST_F(LockDirTest, ALinkedDeviceIsFoundByTheLinksNameAndByItsTargetsName) {
    // A device reached through a link: its lock may be under either name.
    const auto device = m_dir / "ttyUSB9";
    std::ofstream(device) << "";
    const auto link = m_dir / "by-id" / "usb-FTDI_A50285BI-port0";
    std::filesystem::create_symlink(device, link);
    const auto names = LockFileNames(link.string());
    for (const char* name : {"usb-FTDI_A50285BI-port0", "ttyUSB9"})
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    const std::string self = std::string(" (process ") + kSelf + ")";
    for (const char* lockName : {"usb-FTDI_A50285BI-port0", "ttyUSB9"}) {
        SCOPED_TRACE(lockName);
        Lock(lockName, "      " + kSelf + "\n");
        const std::string holder = LockHolder(link.string(), {m_dir.string()});
        EXPECT_EQ(holder.size() > self.size() ? holder.substr(holder.size() - self.size()) : "",
                  self)
            << holder;
        std::filesystem::remove(m_dir / ("LCK.." + std::string(lockName)));
    }
    // Under /dev the whole path below it counts, with '/' as '_'.
    const auto dev = LockFileNames("/dev/serial/by-id/usb-X");
    EXPECT_NE(std::find(dev.begin(), dev.end(), "serial_by-id_usb-X"), dev.end());
    EXPECT_NE(std::find(dev.begin(), dev.end(), "usb-X"), dev.end());
}

TEST_F(LockDirTest, ClaimingRemovesOnlyLocksOfProcessesThatAreGone) {
    Lock("ttyS1", "      " + kGone + "\n");
    Lock("pts_7", Binary(std::stoi(kGone)));
    Lock("ttyS2", "not a lock file");
    EXPECT_EQ(ClaimDeviceLocks("/dev/ttyS1", {m_dir.string()}), "");
    EXPECT_FALSE(Locked("ttyS1"));
    EXPECT_EQ(ClaimDeviceLocks("/dev/pts/7", {m_dir.string()}), "");
    EXPECT_FALSE(Locked("pts_7"));
    EXPECT_EQ(ClaimDeviceLocks("/dev/ttyS2", {m_dir.string()}), "");
    EXPECT_TRUE(Locked("ttyS2")) << "a lock naming no process is left to the open";

    Lock("ttyS3", Binary(::getpid()));
    EXPECT_NE(ClaimDeviceLocks("/dev/ttyS3", {m_dir.string()}).find("(process " + kSelf + ")"),
              std::string::npos);
    EXPECT_TRUE(Locked("ttyS3"));
    EXPECT_EQ(std::filesystem::file_size(m_dir / "LCK..ttyS3"), 4u) << "left as it was";
}

TEST(DeviceFacts, OwnerGroupAndModeComeFromTheDevice) {
    const auto file =
        std::filesystem::temp_directory_path() / ("kiv-device-facts-" + std::to_string(::getpid()));
    std::ofstream(file) << "";
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    OpenFailureFacts facts;
    facts.device = file.string();
    AddSystemFacts(facts);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    std::filesystem::remove(file);
    EXPECT_EQ(facts.deviceMode, 0640);
    const passwd* owner = ::getpwuid(st.st_uid);
    EXPECT_EQ(facts.deviceOwner, owner != nullptr ? owner->pw_name : std::to_string(st.st_uid));
    const group* g = ::getgrgid(st.st_gid);
    EXPECT_EQ(facts.deviceGroup, g != nullptr ? g->gr_name : std::to_string(st.st_gid));
    EXPECT_FALSE(facts.accessDenied) << "the owner may read and write it";
}

// The path's own faults, in the system's words: what is not there, and a
// name longer than the system takes. (A folder this user may not enter
// needs a user other than the folder's owner: the kiv-cli test runs one.)
TEST(DeviceFacts, APathThatReachesNoDeviceSaysWhy) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    const struct {
        std::string device;
        std::string unreachable;
        bool missing;
    } cases[] = {
        {folder + "/kiv-no-such-device-" + std::to_string(::getpid()), std::strerror(ENOENT), true},
        {folder + "/" + std::string(300, 'a'), std::strerror(ENAMETOOLONG), false},
        {folder + "/" + std::string(300, 'a') + "/ttyUSB0", std::strerror(ENAMETOOLONG), false},
        {"/etc/passwd/ttyUSB0", std::strerror(ENOTDIR), true},
    };
    for (const auto& c : cases) {
        OpenFailureFacts facts;
        facts.device = c.device;
        AddSystemFacts(facts);
        EXPECT_EQ(facts.unreachable, c.unreachable) << c.device;
        EXPECT_EQ(facts.pathMissing, c.missing) << c.device;
        EXPECT_EQ(facts.deniedFolder, "") << c.device;
        EXPECT_EQ(facts.deviceMode, -1) << c.device;
    }
}

}  // namespace
}  // namespace kiv
