// The kiv program itself, run as a user runs it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace kiv::testing {
namespace {

struct AnswerCase {
    const char* name;
    std::vector<std::string> args;
    const char* expected;  // a line of what it prints
};
void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << c.name;
}

class AnsweredWithoutADisplay : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(AnsweredWithoutADisplay, PrintsAndExitsCleanly) {
    // As on a text console or over ssh: no display of any kind.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ChildProcess kiv(KIV_PATH, GetParam().args);
    EXPECT_EQ(kiv.Wait(), 0) << kiv.errors();
    EXPECT_NE(kiv.output().find(GetParam().expected), std::string::npos) << kiv.output();
}

INSTANTIATE_TEST_SUITE_P(HelpAndVersion, AnsweredWithoutADisplay,
                         ::testing::Values(AnswerCase{"Version", {"--version"}, "kiv 1.0\n"},
                                           AnswerCase{"ShortVersion", {"-v"}, "kiv 1.0\n"},
                                           AnswerCase{"Help", {"--help"}, "--port <COMn=DEVICE>"},
                                           AnswerCase{"ShortHelpAfterAnOption",
                                                      {"--port", "COM2=/dev/ttyUSB0", "-h"},
                                                      "--screenshots <DIR>"}),
                         [](const ::testing::TestParamInfo<AnswerCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace kiv::testing
