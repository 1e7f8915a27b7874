// kiv-cli as a user runs it: options in, frames on a virtual port out.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "support/child_process.h"

namespace kiv {
namespace {

using testing::ChildProcess;
using testing::LineReader;

const std::string kCli = KIV_CLI_PATH;

std::string PathFrom(const std::string& line) {
    const std::string prefix = "sending on ";
    return line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : "";
}

TEST(KivCli, ExampleFramesOnTheVirtualPortAndInTheLog) {
    const std::string log = ::testing::TempDir() + "kiv_cli_frames.csv";
    ChildProcess cli(
        kCli, {"--frame", "5,6,sinx1,sinx2", "--period", "10", "--frames", "6", "--log", log});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    LineReader line(path);
    ASSERT_TRUE(line.ok());
    const std::vector<std::uint8_t> got = line.Read(24);
    EXPECT_EQ(cli.Wait(), 0) << cli.errors();
    const std::vector<std::uint8_t> expected = {5, 6, 130, 140, 5, 6, 148, 145, 5, 6, 159, 150,
                                                5, 6, 159, 155, 5, 6, 148, 159, 5, 6, 130, 164};
    EXPECT_EQ(got, expected);

    std::ifstream in(log);
    std::string row;
    std::vector<std::uint8_t> logged;
    int rows = 0;
    while (std::getline(in, row)) {
        std::stringstream fields(row);
        std::string field;
        std::getline(fields, field, ',');
        EXPECT_EQ(std::stoi(field), ++rows);
        std::getline(fields, field, ',');  // time
        while (std::getline(fields, field, ','))
            logged.push_back(static_cast<std::uint8_t>(std::stoi(field)));
    }
    EXPECT_EQ(rows, 6);
    EXPECT_EQ(logged, got);
}

TEST(KivCli, BadOptionsGiveTheirMessageAndAnExitCode) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--frame", "5,sinx9", "--frames", "1"}, "发送内容设置错误，请修改！"},
        {{"--period", "abc", "--frames", "1"}, "--period abc"},
        {{"--set", "sinx1=am:250,a0:10", "--frames", "1"}, "信号设置错误，请修改！"},
        {{"--baud", "1234", "--frames", "1"}, "串口设置有误或者已被占用!"},
        {{"--device", "/dev/kiv-no-such-device", "--frames", "1"},
         "--device /dev/kiv-no-such-device"},
        {{"--noise", "12"}, "--noise"},
        {{"--what"}, "--what"},
    };
    for (const auto& c : cases) {
        ChildProcess cli(kCli, c.args);
        const std::string first = cli.ReadLine(std::chrono::seconds(10));
        EXPECT_TRUE(PathFrom(first).empty()) << "nothing may be sent: " << first;
        EXPECT_EQ(cli.Wait(), 2) << c.args[0];
        EXPECT_NE(cli.errors().find(c.message), std::string::npos) << cli.errors();
    }
}

TEST(KivCli, SigtermLeavesOnlyWholeFrames) {
    ChildProcess cli(kCli, {"--frame", "1,2,3,4,5,6,7,8,9,10", "--period", "1"});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    LineReader line(path);
    std::vector<std::uint8_t> got = line.Read(200);
    cli.Signal(SIGTERM);
    const std::vector<std::uint8_t> rest = line.Read(1000000, std::chrono::milliseconds(1000));
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(cli.Wait(), 0) << cli.errors();
    ASSERT_EQ(got.size() % 10, 0u) << got.size();
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i % 10 + 1) << "byte " << i;
}

TEST(KivCli, HelpListsEveryOption) {
    ChildProcess cli(kCli, {"--help"});
    EXPECT_EQ(cli.Wait(), 0);
    const std::string& all = cli.output();
    for (const char* option :
         {"--baud", "--parity", "--data-bits", "--stop-bits", "--device", "--frame", "--period",
          "--set", "--noise", "--frames", "--seconds", "--log"})
        EXPECT_NE(all.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace kiv
