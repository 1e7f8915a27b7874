#include "cli/cli_setup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/setup_io.h"
#include "app/startup.h"
#include "cli/headless.h"
#include "fakes.h"

namespace kiv {
namespace {

CliOptions Parse(const std::vector<std::string>& args) {
    auto parsed = ParseCliOptions(args);
    EXPECT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
    return std::holds_alternative<CliOptions>(parsed) ? std::get<CliOptions>(parsed) : CliOptions{};
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CliSetup, OptionsOverrideTheSetupBoxByBox) {
    kiv::Setup s = InitialSetup();
    s.slotTexts = {"1", "2", "3", "4", "5", "6", "", "", "", ""};
    s.noise[5] = true;
    s.params[6][2] = "77";
    s.serial[0] = "COM2";
    OverlayOptions(s, Parse({"--frame", "sinx1,9", "--period", "30", "--parity", "o", "--noise",
                             "2", "--set", "trix1=t1:5,a0:1", "--set", "noise=am:0"}));
    EXPECT_EQ(s.slotTexts,
              (std::array<std::string, 10>{"sinx1", "9", "", "", "", "", "", "", "", ""}));
    EXPECT_EQ(s.period, "30");
    EXPECT_EQ(s.serial, (std::array<std::string, 5>{"COM2", "9600", "奇", "8", "1"}));
    EXPECT_EQ(s.noise, (std::array<bool, 10>{false, true}));
    EXPECT_EQ(s.params[6], (std::array<std::string, 5>{"5", "50", "77", "60", "1"}));
    EXPECT_EQ(s.params[9][3], "0");

    // No options: the setup as it was.
    kiv::Setup untouched = InitialSetup();
    untouched.noise[3] = true;
    kiv::Setup copy = untouched;
    OverlayOptions(copy, Parse({"--frames", "3"}));
    EXPECT_EQ(copy, untouched);
}

struct CliRig : testing::Rig {
    CliRig() {
        w.messageBox = &box;
        StartUp(w);
    }
    std::optional<int> Run(const std::vector<std::string>& args) {
        return RunSetupOptions(Parse(args), w,
                               [this](const std::string& e) { errors += e + "\n"; });
    }
    std::string errors;
    RememberingMessageBox box;
};

TEST(CliSetup, WriteSetupWritesWhatTheFileAndOptionsDescribe) {
    const std::string in =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_setup_in.ini";
    const std::string out =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_setup_out.ini";
    WriteFile(in, "[send]\nslot2=squx3\nperiod=50\n[serial]\nstop_bits=2\n");
    CliRig rig;
    EXPECT_EQ(rig.Run({"--setup", in, "--write-setup", out, "--period", "40"}), kExitOk)
        << rig.errors;
    kiv::Setup expected = InitialSetup();
    expected.slotTexts[1] = "squx3";
    expected.period = "40";
    expected.serial[4] = "2";
    EXPECT_EQ(ReadFile(out), WriteSetup(expected, "kiv-cli"));
    // Loaded and applied on the way, the port left closed.
    EXPECT_EQ(rig.w.sendPeriod, 40);
    EXPECT_EQ(rig.port.settings, "9600,n,8,2");
    EXPECT_FALSE(rig.port.open);
}

TEST(CliSetup, ARefusedOrRejectedSetupEndsWithExitTwoAndWritesNothing) {
    const std::string bad =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_setup_bad.ini";
    const std::string out =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_setup_never.ini";
    std::remove(out.c_str());
    const struct {
        const char* name;
        std::string file;
        std::vector<std::string> options;
        const char* mentions;
    } cases[] = {
        {"unknown key", "[send]\nslot1=1\nspeed=3\n", {}, "line 3: unknown key \"speed\""},
        {"rejected slot", "[send]\nslot1=300\n", {}, "发送 page, slot 1 \"300\" is neither"},
        {"rejected level",
         "[sinx1]\nam=300\n",
         {},
         "正弦波设置 page, sinx1: am \"300\" is outside 0..255"},
        // kiv-cli takes any rate --baud takes; this is none.
        {"typed baud", "[serial]\nbaud=96OO\n", {}, "串口设置 page, 波特率 box \"96OO\": expected"},
        {"option makes it bad",
         "[sinx1]\na0=100\n",
         {"--set", "sinx1=am:200"},
         "正弦波设置 page, sinx1 a0: am + a0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(bad, c.file);
        CliRig rig;
        std::vector<std::string> args = {"--setup", bad, "--write-setup", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        EXPECT_EQ(rig.Run(args), kExitBadInput);
        EXPECT_NE(rig.errors.find(c.mentions), std::string::npos) << rig.errors;
        EXPECT_NE(rig.errors.find(bad), std::string::npos) << rig.errors;
        EXPECT_FALSE(std::ifstream(out).good());
    }
    CliRig rig;
    EXPECT_EQ(rig.Run({"--setup", ::testing::TempDir() + std::to_string(::getpid()) +
                                      "-kiv-no-such-setup.ini"}),
              kExitBadInput);
    EXPECT_NE(rig.errors.find("kiv-no-such-setup.ini"), std::string::npos);
}

// A setup's values follow the rules the options follow, whichever way they
// arrive; an option given on the command line replaces the file's value
// before it is judged. Faults and warnings name the page and box.
TEST(CliSetup, SetupValuesFollowTheOptionsRules) {
    const std::string file = ::testing::TempDir() + "kiv_cli_setup_rules.ini";
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> options;
        std::optional<int> code;  // nothing: accepted, goes on to send
        std::vector<std::string> lines;
        const char* settings;  // the line settings applied, when accepted
    } cases[] = {
        {"no slot", "[send]\nslot1=\n", {}, kExitBadInput, {"发送 page: slot 1 is empty"}, ""},
        {"a header that is not hex",
         "[frame]\nheader=AA 5G\n",
         {},
         kExitBadInput,
         {"帧格式 page, header \"AA 5G\": must be hexadecimal"},
         ""},
        {"a header replaced by --header",
         "[frame]\nheader=AA 5G\n",
         {"--header", "AA"},
         {},
         {},
         "9600,n,8,1"},
        {"an unknown checksum",
         "[frame]\nchecksum=crc7\n",
         {},
         kExitBadInput,
         {"帧格式 page, checksum \"crc7\": expected sum8, "},
         ""},
        {"a typed byte order",
         "[frame]\nchecksum=crc8\nchecksum_order=middle\n",
         {},
         kExitBadInput,
         {"帧格式 page, checksum byte order \"middle\": expected le or be"},
         ""},
        {"no slot, filled by --frame", "[send]\nslot1=\n", {"--frame", "4"}, {}, {}, "9600,n,8,1"},
        {"a gap",
         "[send]\nslot2=\nslot5=7\n",
         {},
         {},
         {"warning: --setup",
          "发送 page: slot 2 is empty, so the frame ends at slot 1 and slots "
          "3, 4, 5 are not sent"},
         "9600,n,8,1"},
        {"negative period",
         "[send]\nperiod=-5\n",
         {},
         kExitBadInput,
         {"发送 page, period \"-5\": must not be negative"},
         ""},
        {"negative period replaced",
         "[send]\nperiod=-5\n",
         {"--period", "7"},
         {},
         {},
         "9600,n,8,1"},
        {"fractional period",
         "[send]\nperiod=2.5\n",
         {},
         {},
         {"warning: --setup", "发送 page, period \"2.5\": rounded to 2 ms"},
         "9600,n,8,1"},
        {"zero period",
         "[send]\nperiod=0\n",
         {},
         {},
         {"发送 page, period \"0\": frames go out as fast as the line takes them"},
         "9600,n,8,1"},
        {"a rate beyond the list", "[serial]\nbaud=230400\n", {}, {}, {}, "230400,n,8,1"},
        {"--baud over the file",
         "[serial]\nbaud=19200\nparity=偶\n",
         {"--baud", "921600"},
         {},
         {},
         "921600,e,8,1"},
        {"a NUL in the port",
         "[serial]\nport=\"COM\\x001\"\n",
         {},
         kExitBadInput,
         {"串口设置 page, 串口 box \"COM\\x001\": expected one of COM1, COM2, COM3, COM4"},
         ""},
        {"an escape in a slot",
         "[send]\nslot2=\"\\x1b[2J\"\n",
         {},
         kExitBadInput,
         {"发送 page, slot 2 \"\\x1b[2J\" is neither"},
         ""},
        {"a bad time",
         "[trix2]\nt3=x\n",
         {},
         kExitBadInput,
         {"锯齿波设置 page, trix2: t3 \"x\" is not a number"},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(file, c.text);
        CliRig rig;
        std::vector<std::string> args = {"--setup", file};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliOptions o = Parse(args);
        EXPECT_EQ(RunSetupOptions(o, rig.w, [&](const std::string& e) { rig.errors += e + "\n"; }),
                  c.code)
            << rig.errors;
        for (const std::string& line : c.lines)
            EXPECT_NE(rig.errors.find(line), std::string::npos) << rig.errors;
        if (c.lines.empty()) {
            EXPECT_EQ(rig.errors, "");
        }
        if (!c.code) {
            // What the run goes on with: the window's apply took it.
            EXPECT_GE(rig.w.slotCount, 1);
            FrameRecorder recorder(rig.w, rig.port);
            rig.w.MSComm1 = &recorder;
            HeadlessRun run{rig.w, recorder, [&](const std::string& e) { rig.errors += e; }};
            EXPECT_EQ(run.Prepare(o), kExitOk) << rig.errors;
            EXPECT_EQ(rig.port.settings, c.settings);
        }
    }
}

// kiv-cli can read back what it wrote, a rate beyond the window's list included.
TEST(CliSetup, ASetupWrittenWithAnyRateIsReadBack) {
    const std::string out = ::testing::TempDir() + "kiv_cli_setup_rate.ini";
    CliRig writer;
    ASSERT_EQ(writer.Run({"--write-setup", out, "--baud", "460800"}), kExitOk) << writer.errors;
    CliRig reader;
    EXPECT_EQ(reader.Run({"--setup", out}), std::nullopt) << reader.errors;
    EXPECT_EQ(reader.w.Combo1(1).Text, "460800");
}

// A file's own faults show its names cut, however long its lines.
TEST(CliSetup, LongNamesInAFilesFaultsAreCut) {
    const std::string file = ::testing::TempDir() + "kiv_cli_setup_long.ini";
    const std::string name(5000, 'k');
    for (const std::string& text : {"[send]\n" + name + "=1\n", "[" + name + "]\n", name + "=1\n",
                                    "[send]\nnoise_slots=" + name + "\n"}) {
        WriteFile(file, text);
        CliRig rig;
        EXPECT_EQ(rig.Run({"--setup", file}), kExitBadInput);
        EXPECT_NE(rig.errors.find(std::string(40, 'k') + "..."), std::string::npos) << rig.errors;
        EXPECT_LT(rig.errors.size(), 200u) << rig.errors;
    }
}

}  // namespace
}  // namespace kiv
