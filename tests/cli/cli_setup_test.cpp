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
        {"rejected slot", "[send]\nslot1=300\n", {}, "sendText1(1)"},
        {"rejected level", "[sinx1]\nam=300\n", {}, "fuction_am(1)"},
        {"typed baud", "[serial]\nbaud=1234\n", {}, "Combo1(1)"},
        {"option makes it bad", "[sinx1]\na0=100\n", {"--set", "sinx1=am:200"}, "fuction_a0(1)"},
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

}  // namespace
}  // namespace kiv
