// kiv-cli's frame options: their rules, the frames they put on a virtual
// port, and a setup's [frame] section giving the same bytes in the window
// as in kiv-cli.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "cli/cli_help.h"
#include "cli/cli_options.h"
#include "cli/exit_codes.h"
#include "fakes.h"
#include "sending/send_loop.h"
#include "sending/setup_load.h"
#include "serial/port_open_close.h"
#include "support/child_process.h"

namespace kiv {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ChildProcess;
using testing::LineReader;

const std::string kCli = KIV_CLI_PATH;

std::string Refusal(const std::vector<std::string>& args) {
    const auto parsed = ParseCliOptions(args);
    return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : "";
}

TEST(FrameOptions, EachValueIsReadByItsRule) {
    const struct {
        std::vector<std::string> args;
        const char* refusal;  // "": accepted
    } cases[] = {
        {{"--header", "AA 55"}, ""},
        {{"--header", "0xaa,0x55"}, ""},
        {{"--header", ""}, ""},  // none
        {{"--header", "AA 5G"}, "--header \"AA 5G\": must be hexadecimal bytes"},
        {{"--header", "1 2 3 4 5 6 7 8 9"}, "--header \"1 2 3 4 5 6 7 8 9\": "},
        {{"--trailer=0D,0A"}, ""},
        {{"--trailer", "100"}, "--trailer \"100\": "},
        {{"--counter", "u16be"}, ""},
        {{"--counter", "u32"}, "--counter \"u32\": expected u8, u16le or u16be"},
        {{"--length-byte"}, ""},
        {{"--length-byte=1"}, "--length-byte: takes no value (see --help)"},
        {{"--checksum", "crc16-modbus"}, ""},
        {{"--checksum", "CRC32"}, "--checksum \"CRC32\": expected sum8, xor8, lrc8, crc8, "},
        {{"--checksum-order", "be"}, ""},
        {{"--checksum-order", "network"}, "--checksum-order \"network\": expected le or be"},
        {{"--checksum-from", "payload"}, ""},
        {{"--checksum-from", "end"}, "--checksum-from \"end\": expected start or payload"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const std::string got = Refusal(c.args);
        if (*c.refusal == '\0')
            EXPECT_EQ(got, "");
        else
            EXPECT_EQ(got.rfind(c.refusal, 0), 0u) << got;
    }
    // The help names every checksum the option takes.
    const std::string help = CliUsage();
    for (const ChecksumKind& k : kChecksumKinds)
        if (*k.name != '\0') {
            EXPECT_NE(help.find(k.name), std::string::npos) << k.name;
        }
}

// A checksum given without its byte order takes the kind's usual one, the
// order given wins wherever it stands.
TEST(FrameOptions, AChecksumWithoutAnOrderTakesItsUsualOne) {
    const auto order = [](const std::vector<std::string>& args) {
        const auto parsed = ParseCliOptions(args);
        EXPECT_TRUE(std::holds_alternative<CliOptions>(parsed));
        return std::get<CliOptions>(parsed)
            .frameFormat[static_cast<std::size_t>(FrameSetupKey::ChecksumOrder)]
            .value_or("unset");
    };
    EXPECT_EQ(order({"--checksum", "crc16-xmodem"}), "");
    EXPECT_EQ(order({"--checksum-order", "le", "--checksum", "crc16-xmodem"}), "le");
    EXPECT_EQ(order({"--checksum", "crc16-xmodem", "--checksum-order", "le"}), "le");
    EXPECT_EQ(order({"--header", "AA"}), "unset");
}

std::string Temp(const std::string& name) {
    return ::testing::TempDir() + std::to_string(::getpid()) + "-" + name;
}

// The frames kiv-cli puts on its virtual port, and its log's rows.
struct CliFrames {
    Bytes line;
    std::vector<std::string> log;
    int code = -1;
    std::string errors;
};
CliFrames RunCli(std::vector<std::string> args, std::size_t bytes) {
    const std::string log = Temp("kiv_cli_frame_format.csv");
    args.insert(args.end(), {"--log", log});
    CliFrames got;
    ChildProcess cli(kCli, args);
    const std::string first = cli.ReadLine();
    const std::string prefix = "sending on ";
    EXPECT_EQ(first.rfind(prefix, 0), 0u) << first << cli.errors();
    if (first.rfind(prefix, 0) != 0) return got;
    LineReader line(first.substr(prefix.size()));
    EXPECT_TRUE(line.ok());
    got.line = line.Read(bytes);
    got.code = cli.Wait();
    got.errors = cli.errors();
    std::ifstream in(log);
    for (std::string row; std::getline(in, row);) got.log.push_back(row);
    return got;
}

TEST(FrameOptions, TheModbusRequestOnThePortAndInTheLog) {
    const CliFrames got = RunCli({"--header", "01 03", "--frame", "0,10,0,2", "--checksum",
                                  "crc16-modbus", "--frames", "2", "--period", "5"},
                                 16);
    EXPECT_EQ(got.code, kExitOk) << got.errors;
    const Bytes request = {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09};
    Bytes twice = request;
    twice.insert(twice.end(), request.begin(), request.end());
    EXPECT_EQ(got.line, twice);
    ASSERT_EQ(got.log.size(), 3u);
    EXPECT_EQ(got.log[0], "frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3,slot4,frame_hex");
    for (std::size_t i = 1; i < got.log.size(); ++i) {
        const std::string& row = got.log[i];
        EXPECT_EQ(row.rfind(std::to_string(i) + ",", 0), 0u) << row;
        EXPECT_NE(row.find("Z,0,10,0,2,01 03 00 0A 00 02 E4 09"), std::string::npos) << row;
    }
}

// A setup with a [frame] section: the window that loads it and kiv-cli that
// is given it send the same bytes, frame for frame from the first.
TEST(FrameOptions, ASetupGivesTheSameFramesInTheWindowAndInKivCli) {
    const std::string setup = Temp("kiv_frame_setup.ini");
    {
        std::ofstream out(setup);
        out << "[send]\nslot1=sinx1\nslot2=7\nslot3=trix1\nslot4=\nperiod=5\n"
               "[frame]\nheader=AA 55\ncounter=u16be\nlength=1\nchecksum=crc32\n"
               "checksum_from=payload\ntrailer=0D 0A\n";
    }
    constexpr std::size_t kFrames = 5;
    constexpr std::size_t kFrameBytes = 2 + 2 + 1 + 3 + 4 + 2;

    testing::StartedRig window;
    std::ifstream in(setup);
    std::stringstream text;
    text << in.rdbuf();
    const auto parsed = ParseSetup(text.str());
    ASSERT_TRUE(std::holds_alternative<kiv::Setup>(parsed));
    ASSERT_TRUE(LoadSetup(window.w, std::get<kiv::Setup>(parsed)));
    EXPECT_EQ(window.w.frameFormat.checksumOrder, ByteOrder::Le);  // CRC-32's usual order
    Optionopen_Click(window.w);
    testing::RunFrames(window, kFrames);
    ASSERT_EQ(window.port.frames.size(), kFrames);
    Bytes expected;
    for (const Bytes& f : window.port.frames) {
        EXPECT_EQ(f.size(), kFrameBytes);
        expected.insert(expected.end(), f.begin(), f.end());
    }

    const CliFrames cli =
        RunCli({"--setup", setup, "--frames", std::to_string(kFrames)}, kFrames * kFrameBytes);
    EXPECT_EQ(cli.code, kExitOk) << cli.errors;
    EXPECT_EQ(cli.line, expected);
}

}  // namespace
}  // namespace kiv
