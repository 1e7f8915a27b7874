// The kiv program itself, run as a user runs it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/table_cases.h"

namespace kiv::testing {
namespace {

struct AnswerCase {
    const char* name;
    std::vector<std::string> args;
    const char* expected;  // a line of what it prints
};
using kiv::testing::PrintTo;

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

// A mistake on the command line is one line on standard error and exit code
// 2, before the window toolkit starts: the same with a display as without.
struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    const char* expected;  // part of the line
};

struct Refusal {
    RefusalCase refusal;
    const char* platform;  // QT_QPA_PLATFORM, or nullptr for no display at all
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.refusal.name << (r.platform != nullptr ? " with " : " without a display ")
        << (r.platform != nullptr ? r.platform : "");
}

class CommandLineMistake : public ::testing::TestWithParam<Refusal> {};

TEST_P(CommandLineMistake, IsOneLineAndExitCodeTwo) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    if (GetParam().platform != nullptr) {
        ::setenv("QT_QPA_PLATFORM", GetParam().platform, 1);
    } else {
        ::unsetenv("QT_QPA_PLATFORM");
    }
    ChildProcess kiv(KIV_PATH, GetParam().refusal.args);
    EXPECT_EQ(kiv.Wait(), 2) << kiv.errors();
    const std::string& errors = kiv.errors();
    EXPECT_EQ(errors.rfind("kiv: ", 0), 0u) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;
    EXPECT_EQ(errors.find('\x1b'), std::string::npos) << errors;
    EXPECT_NE(errors.find(GetParam().refusal.expected), std::string::npos) << errors;
    EXPECT_EQ(kiv.output(), "");
}

const RefusalCase kRefusals[] = {
    {"UnknownOption", {"--bogus"}, "Unknown option 'bogus'"},
    {"UnknownAfterGoodOnes", {"--port", "COM2=/dev/ttyUSB0", "-x"}, "Unknown option 'x'"},
    {"PortNumberOutOfRange", {"--port", "COM5=/dev/ttyUSB0"}, "--port COM5=/dev/ttyUSB0: "},
    {"PortWithoutValue", {"--port"}, "Missing value after '--port'"},
    {"ForgedSecondLine", {"--port", "COM9\nkiv: all fine\x1b[2J=/dev/x"}, "COM9\\x0akiv"},
    // A one-byte CSI and a right-to-left override, which a terminal acts on
    // as surely as on an escape.
    {"C1AndBidiControls",
     {"--port",
      "COM9\xc2\x9b"
      "2J\xe2\x80\xae=/dev/x"},
     "COM9\\xc2\\x9b2J\\xe2\\x80\\xae=/dev/x"},
    {"EmptySetupName", {"--setup", ""}, "--setup"},
};

std::vector<Refusal> AllRefusals() {
    std::vector<Refusal> all;
    for (const char* platform : {static_cast<const char*>(nullptr), "offscreen"})
        for (const RefusalCase& c : kRefusals) all.push_back({c, platform});
    return all;
}

INSTANTIATE_TEST_SUITE_P(Options, CommandLineMistake, ::testing::ValuesIn(AllRefusals()),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.refusal.name) +
                                    (info.param.platform != nullptr ? "_Offscreen" : "_NoDisplay");
                         });

// The window toolkit's own arguments still reach it once ours are checked:
// here the platform itself comes from the command line.
TEST(CommandLine, ToolkitArgumentsPassTheCheck) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kiv-program-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    // The port assignments go to a settings file of the test's own.
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ChildProcess kiv(KIV_PATH, {"-platform", "offscreen", "-style", "fusion", "-reverse",
                                "--screenshots", (dir / "shots").string()});
    EXPECT_EQ(kiv.Wait(), 0) << kiv.errors();
    EXPECT_TRUE(std::filesystem::exists(dir / "shots" / "7-instructions.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "shots" / "8-frame.png"));
    std::filesystem::remove_all(dir);
}

// Without a font that has Chinese glyphs every label is a box: the window
// says so on standard error, and only then. Each case gives the toolkit a
// font configuration of its own with just the fonts named.
struct FontCase {
    const char* name;
    std::vector<std::string> fonts;  // font files the configuration holds
    bool warned;
};
class FontsAtStart : public ::testing::TestWithParam<FontCase> {};

TEST_P(FontsAtStart, WarnsOnlyWithoutChineseGlyphs) {
    for (const std::string& font : GetParam().fonts)
        if (!std::filesystem::exists(font)) GTEST_SKIP() << font << " is not installed";
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("kiv-font-test-" + std::to_string(::getpid()) + "-" + GetParam().name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "fonts");
    for (const std::string& font : GetParam().fonts)
        std::filesystem::create_symlink(font,
                                        dir / "fonts" / std::filesystem::path(font).filename());
    std::ofstream(dir / "fonts.conf")
        << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << (dir / "fonts").string()
        << "</dir><cachedir>" << (dir / "cache").string() << "</cachedir></fontconfig>\n";
    ::setenv("FONTCONFIG_FILE", (dir / "fonts.conf").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ChildProcess kiv(KIV_PATH,
                     {"-platform", "offscreen", "--screenshots", (dir / "shots").string()});
    const int code = kiv.Wait();
    ::unsetenv("FONTCONFIG_FILE");
    EXPECT_EQ(code, 0) << kiv.errors();
    const std::string warning =
        "kiv: no installed font has Chinese glyphs, so the window's texts show as boxes";
    EXPECT_EQ(kiv.errors().find(warning) != std::string::npos, GetParam().warned) << kiv.errors();
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, FontsAtStart,
    ::testing::Values(
        FontCase{"LatinOnly", {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"}, true},
        FontCase{"NoFontAtAll", {}, true},
        FontCase{"WithWenQuanYi",
                 {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                  "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"},
                 false}),
    [](const ::testing::TestParamInfo<FontCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kiv::testing
