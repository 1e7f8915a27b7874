// The pieces of the Win32 serial port that need no device.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

#include "platform/win_serial.h"

namespace kiv {
namespace {

struct ErrorCase {
    DWORD error;
    OpenProblem problem;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << "system error " << c.error;
}

class OpenErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(OpenErrorTest, SortsTheSystemErrorTheWayAUserFixesIt) {
    EXPECT_EQ(OpenProblemOf(GetParam().error), GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(Errors, OpenErrorTest,
                         ::testing::Values(ErrorCase{ERROR_FILE_NOT_FOUND, OpenProblem::Missing},
                                           ErrorCase{ERROR_PATH_NOT_FOUND, OpenProblem::Missing},
                                           ErrorCase{ERROR_DEV_NOT_EXIST, OpenProblem::Missing},
                                           // Windows gives a port to one program at a time and
                                           // tells the next one "access denied".
                                           ErrorCase{ERROR_ACCESS_DENIED, OpenProblem::Busy},
                                           ErrorCase{ERROR_SHARING_VIOLATION, OpenProblem::Busy},
                                           ErrorCase{ERROR_BUSY, OpenProblem::Busy},
                                           ErrorCase{ERROR_INVALID_PARAMETER, OpenProblem::Refused},
                                           ErrorCase{ERROR_NOT_SUPPORTED, OpenProblem::Refused},
                                           ErrorCase{ERROR_GEN_FAILURE, OpenProblem::Other},
                                           ErrorCase{ERROR_NOT_ENOUGH_MEMORY, OpenProblem::Other}));

TEST(OpenErrorTextTest, ReadsTheWholeReasonToTheUser) {
    // The system's words, in whatever language it speaks, without the line
    // break it ends them with.
    const std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    OpenFailureFacts facts;
    facts.problem = OpenProblemOf(ERROR_ACCESS_DENIED);
    facts.label = "COM1 (COM5)";
    facts.device = "COM5";
    facts.systemText = SystemErrorText(ERROR_ACCESS_DENIED);
    const std::string said = ExplainOpenFailure(facts);
    EXPECT_NE(said.find("COM1 (COM5) is in use by another program"), std::string::npos) << said;
    EXPECT_EQ(said.find("usermod"), std::string::npos) << said;
}

TEST(OpenErrorTextTest, NamesTheCodeTheSystemHasNoWordsFor) {
    EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "error " + std::to_string(0x2FFFFFFF));
}

struct DcbCase {
    std::string settings;
    DWORD baud;
    BYTE dataBits;
    BYTE parity;
    BYTE stopBits;
};

void PrintTo(const DcbCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.settings);
}

class DcbTest : public ::testing::TestWithParam<DcbCase> {};

TEST_P(DcbTest, CarriesTheLineSettingsAndNothingThatAltersTheBytes) {
    const DcbCase& c = GetParam();
    const auto settings = ParseLineSettings(c.settings);
    ASSERT_TRUE(settings);
    // Whatever an earlier program left in the port's state goes.
    DCB dcb;
    std::memset(&dcb, 0xFF, sizeof dcb);
    FillDcb(*settings, dcb);
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, c.baud);
    EXPECT_EQ(dcb.ByteSize, c.dataBits);
    EXPECT_EQ(dcb.Parity, c.parity);
    EXPECT_EQ(dcb.fParity, c.parity == NOPARITY ? 0U : 1U);
    EXPECT_EQ(dcb.StopBits, c.stopBits);
    EXPECT_EQ(dcb.fBinary, 1U);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0U);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0U);
    EXPECT_EQ(dcb.fOutX, 0U);
    EXPECT_EQ(dcb.fInX, 0U);
    EXPECT_EQ(dcb.fNull, 0U);
    EXPECT_EQ(dcb.fErrorChar, 0U);
    EXPECT_EQ(dcb.fAbortOnError, 0U);
    EXPECT_EQ(dcb.fDsrSensitivity, 0U);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
}

INSTANTIATE_TEST_SUITE_P(Settings, DcbTest,
                         ::testing::Values(DcbCase{"9600,n,8,1", 9600, 8, NOPARITY, ONESTOPBIT},
                                           DcbCase{"56000,o,6,2", 56000, 6, ODDPARITY, TWOSTOPBITS},
                                           DcbCase{"43000,e,7,1", 43000, 7, EVENPARITY, ONESTOPBIT},
                                           DcbCase{"115200,E,5,2", 115200, 5, EVENPARITY,
                                                   TWOSTOPBITS}));

TEST(WriteOnlyTimeoutsTest, NeverCutsAWriteAndNeverWaitsOnARead) {
    const COMMTIMEOUTS t = WriteOnlyTimeouts();
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0U);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0U);
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0U);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0U);
}

struct PathCase {
    std::string device;
    std::wstring path;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.device);
}

class DevicePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(DevicePathTest, ReachesEveryPortNumber) {
    EXPECT_EQ(DevicePathOf(GetParam().device), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Paths, DevicePathTest,
                         ::testing::Values(PathCase{"COM1", L"\\\\.\\COM1"},
                                           PathCase{"COM12", L"\\\\.\\COM12"},
                                           PathCase{"\\\\.\\COM7", L"\\\\.\\COM7"},
                                           PathCase{"\\\\.\\CNCA0", L"\\\\.\\CNCA0"}));

TEST(ClaimNameTest, OnePortHasOneNameHoweverItIsSpelt) {
    EXPECT_EQ(ClaimNameOf("COM7"), L"Global\\kiv-port-COM7");
    EXPECT_EQ(ClaimNameOf("com7"), ClaimNameOf("COM7"));
    EXPECT_EQ(ClaimNameOf("\\\\.\\COM7"), ClaimNameOf("COM7"));
    EXPECT_NE(ClaimNameOf("COM17"), ClaimNameOf("COM7"));
    // Only the namespace's own separator: a backslash further on would name
    // a folder that does not exist.
    EXPECT_EQ(ClaimNameOf("\\\\.\\GLOBALROOT\\Device\\Serial0"),
              L"Global\\kiv-port-GLOBALROOT_DEVICE_SERIAL0");
}

}  // namespace
}  // namespace kiv
