#include "platform/port_diagnosis.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace kiv {
namespace {

struct ReasonCase {
    const char* name;
    OpenFailureFacts facts;
    const char* expected;
};
void PrintTo(const ReasonCase& c, std::ostream* os) {
    *os << c.name;
}

OpenFailureFacts Facts(OpenProblem problem, std::string holder = {}, bool denied = false,
                       std::string group = {}) {
    OpenFailureFacts f;
    f.problem = problem;
    f.label = "COM1 (/dev/ttyUSB0)";
    f.device = "/dev/ttyUSB0";
    f.systemText = "Permission error while locking the device";
    f.settings = "43000,e,7,2";
    f.holder = std::move(holder);
    f.accessDenied = denied;
    f.deviceGroup = std::move(group);
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
        ReasonCase{"PermissionDenied", Facts(OpenProblem::Busy, "", true, "dialout"),
                   "COM1 (/dev/ttyUSB0): permission denied. Only members of the group dialout "
                   "may use /dev/ttyUSB0. Add yourself with \"sudo usermod -aG dialout $USER\", "
                   "then log out and back in."},
        ReasonCase{"PermissionDeniedGroupUnknown", Facts(OpenProblem::Busy, "", true, ""),
                   "COM1 (/dev/ttyUSB0): permission denied. Only members of the group dialout "
                   "may use /dev/ttyUSB0. Add yourself with \"sudo usermod -aG dialout $USER\", "
                   "then log out and back in."},
        ReasonCase{"BusyWithoutLockFile", Facts(OpenProblem::Busy),
                   "COM1 (/dev/ttyUSB0) is in use by another program (the system said: "
                   "Permission error while locking the device). Close that program, then open "
                   "the port again."},
        ReasonCase{"SettingsRefused", Facts(OpenProblem::Refused),
                   "COM1 (/dev/ttyUSB0) refused the settings 43000,e,7,2 (the system said: "
                   "Permission error while locking the device). Choose another baud rate, "
                   "parity, data or stop bits."}),
    [](const ::testing::TestParamInfo<ReasonCase>& info) { return info.param.name; });

struct LockCase {
    const char* name;
    const char* device;
    const char* lockName;
    std::string content;
    bool named;  // the holder is found
};
void PrintTo(const LockCase& c, std::ostream* os) {
    *os << c.name;
}

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

INSTANTIATE_TEST_SUITE_P(
    Table, LockFileHolder,
    ::testing::Values(
        // The form Qt writes: the PID, the program, the host, one a line.
        LockCase{"QtForm", "/dev/ttyUSB0", "LCK..ttyUSB0", kSelf + "\nkiv\nhost\n", true},
        // The form of the classic serial tools: the PID right-aligned in ten.
        LockCase{"PaddedForm", "/dev/ttyACM1", "LCK..ttyACM1", "     " + kSelf + "\n", true},
        LockCase{"PtyBelowDev", "/dev/pts/7", "LCK..pts_7", kSelf + "\n", true},
        LockCase{"AnotherDevice", "/dev/ttyUSB1", "LCK..ttyUSB0", kSelf + "\n", false},
        LockCase{"NoProcess", "/dev/ttyUSB0", "LCK..ttyUSB0", "0\n", false},
        LockCase{"Garbage", "/dev/ttyUSB0", "LCK..ttyUSB0", "kiv\n12", false},
        LockCase{"TooLong", "/dev/ttyUSB0", "LCK..ttyUSB0", "99999999999999999999\n", false}),
    [](const ::testing::TestParamInfo<LockCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kiv
