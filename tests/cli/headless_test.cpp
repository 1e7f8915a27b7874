#include "cli/headless.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/startup.h"
#include "cli/cli_options.h"
#include "fakes.h"

namespace kiv {
namespace {

TEST(CliOptions, ParsesEveryOption) {
    auto parsed = ParseCliOptions({"--baud",      "19200",
                                   "--parity",    "e",
                                   "--data-bits", "7",
                                   "--stop-bits", "2",
                                   "--device",    "/dev/ttyUSB0",
                                   "--frame",     "5,6,sinx1,sinx2",
                                   "--period",    "20",
                                   "--set",       "sinx1=t1:100,am:60,a0:100",
                                   "--set",       "noise=am:10",
                                   "--noise",     "1,3",
                                   "--frames",    "50",
                                   "--log",       "out.csv"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
    const CliOptions& o = std::get<CliOptions>(parsed);
    EXPECT_EQ(o.baud, "19200");
    EXPECT_EQ(o.parity, "偶");
    EXPECT_EQ(o.device, "/dev/ttyUSB0");
    EXPECT_EQ(*o.frame, (std::vector<std::string>{"5", "6", "sinx1", "sinx2"}));
    ASSERT_EQ(o.sets.size(), 2u);
    EXPECT_EQ(o.sets[0].entry, 1);
    EXPECT_EQ(o.sets[0].fields.size(), 3u);
    EXPECT_EQ(o.sets[1].entry, 10);
    EXPECT_EQ(o.noise, (std::vector<int>{1, 3}));
    EXPECT_EQ(o.frames, 50);
    EXPECT_EQ(o.log, "out.csv");
}

TEST(CliOptions, RejectsWithTheOptionNamed) {
    const struct {
        std::vector<std::string> args;
        const char* mentions;
    } cases[] = {
        {{"--parity", "x"}, "--parity"},
        {{"--frame", "1,2,3,4,5,6,7,8,9,10,11"}, "--frame"},
        {{"--set", "sinx4=t1:1"}, "sinx4"},
        {{"--set", "sinx1=t2:5"}, "t2"},  // a read-only box of the sine page
        {{"--set", "noise=a0:5"}, "a0"},
        {{"--set", "sinx1"}, "--set"},
        {{"--noise", "0"}, "--noise"},
        {{"--noise", "11"}, "--noise"},
        {{"--frames", "0"}, "--frames"},
        {{"--frames", "x"}, "--frames"},
        {{"--seconds", "-1"}, "--seconds"},
        {{"--bogus", "1"}, "--bogus"},
        {{"--period"}, "--period"},
        {{"stray"}, "stray"},
    };
    for (const auto& c : cases) {
        auto parsed = ParseCliOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.args[0];
        EXPECT_NE(std::get<std::string>(parsed).find(c.mentions), std::string::npos)
            << std::get<std::string>(parsed);
    }
}

// The headless run over fake services: a frame limit, a log, and failures
// that name their option and send nothing.
struct Headless : testing::Rig {
    Headless()
        : recorder(w, port), printing([this](const std::string& t) { errors.push_back(t); }) {
        w.MSComm1 = &recorder;
        w.messageBox = &printing;
        StartUp(w);
    }
    CliOptions Options(const std::vector<std::string>& args) {
        auto parsed = ParseCliOptions(args);
        EXPECT_TRUE(std::holds_alternative<CliOptions>(parsed));
        return std::get<CliOptions>(parsed);
    }
    std::string AllErrors() const {
        std::string all;
        for (const auto& e : errors) all += e + "\n";
        return all;
    }
    FrameRecorder recorder;
    std::vector<std::string> errors;
    PrintingMessageBox printing;
    HeadlessRun run{w, recorder, [this](const std::string& t) { errors.push_back(t); }};
};

TEST(HeadlessRun, SendsTheRequestedFramesAndLogsThem) {
    Headless h;
    std::ostringstream log;
    h.recorder.setLog(&log);
    h.recorder.setFrameLimit(3);
    ASSERT_TRUE(h.run.Prepare(h.Options({"--frame", "5,6,sinx1,sinx2", "--parity", "o"})));
    EXPECT_EQ(h.port.settings, "9600,o,8,1");
    EXPECT_EQ(h.run.Send(), kExitOk);
    ASSERT_EQ(h.port.frames.size(), 3u);
    std::istringstream lines(log.str());
    std::string line;
    std::vector<std::string> bytes;
    while (std::getline(lines, line))
        bytes.push_back(line.substr(line.find(',', line.find(',') + 1) + 1));
    EXPECT_EQ(bytes, (std::vector<std::string>{"5,6,130,140", "5,6,148,145", "5,6,159,150"}));
    EXPECT_EQ(log.str().substr(0, 2), "1,");
    EXPECT_FALSE(h.port.open);  // closed at the end
    EXPECT_TRUE(h.errors.empty()) << h.AllErrors();
}

TEST(HeadlessRun, SignalSettingsAndNoiseReachTheFrame) {
    Headless h;
    h.recorder.setFrameLimit(2);
    ASSERT_TRUE(
        h.run.Prepare(h.Options({"--frame", "squx1,100", "--set", "squx1=t1:5,t2:5,am:200,a0:10",
                                 "--set", "noise=am:0", "--noise", "2", "--period", "5"})));
    EXPECT_EQ(h.w.Check1(2).Value, 1);
    h.run.Send();
    ASSERT_EQ(h.port.frames.size(), 2u);
    EXPECT_EQ(h.port.frames[0], (std::vector<std::uint8_t>{210, 100}));
    EXPECT_EQ(h.port.frames[1], (std::vector<std::uint8_t>{210, 100}));  // phase 5 is still high
}

TEST(HeadlessRun, FailedAppliesNameTheOptionAndSendNothing) {
    const struct {
        std::vector<std::string> args;
        const char* message;
        const char* option;
    } cases[] = {
        {{"--frame", "5,sinx9"}, "发送内容设置错误，请修改！", "slot 2"},
        {{"--period", "abc"}, "发送内容设置错误，请修改！", "--period abc"},
        {{"--set", "sinx1=am:200,a0:100"}, "信号设置错误，请修改！", "--set sinx1=am:200,a0:100"},
        {{"--baud", "9601"}, "串口设置有误或者已被占用!", "--baud 9601"},
    };
    for (const auto& c : cases) {
        Headless h;
        EXPECT_FALSE(h.run.Prepare(h.Options(c.args)));
        const std::string all = h.AllErrors();
        EXPECT_NE(all.find(c.message), std::string::npos) << all;
        EXPECT_NE(all.find(c.option), std::string::npos) << all;
        EXPECT_TRUE(h.port.frames.empty());
        EXPECT_FALSE(h.port.open);
    }
}

TEST(HeadlessRun, RefusedOpenAndLostLine) {
    {
        Headless h;
        h.port.failOpen = true;
        EXPECT_FALSE(h.run.Prepare(h.Options({"--device", "/dev/nothing"})));
        EXPECT_NE(h.AllErrors().find("--device /dev/nothing"), std::string::npos);
    }
    {
        Headless h;
        ASSERT_TRUE(h.run.Prepare(h.Options({})));
        h.yielder.everyYield = [&] {
            if (h.clock.now == 25) h.port.open = false;  // the device vanished
        };
        EXPECT_EQ(h.run.Send(), kExitLineLost);
        EXPECT_NE(h.AllErrors().find("line was lost"), std::string::npos) << h.AllErrors();
        EXPECT_EQ(h.port.frames.size(), 2u);
    }
}

TEST(HeadlessRun, StopRequestEndsAfterTheFrameUnderWay) {
    Headless h;
    ASSERT_TRUE(h.run.Prepare(h.Options({})));
    h.yielder.everyYield = [&] {
        if (h.clock.now == 13) {
            h.run.stopRequested = true;
            h.w.isSending = false;
        }
    };
    EXPECT_EQ(h.run.Send(), kExitOk);
    EXPECT_EQ(h.port.frames.size(), 2u);
    for (const auto& f : h.port.frames) EXPECT_EQ(f.size(), 4u);
}

}  // namespace
}  // namespace kiv
