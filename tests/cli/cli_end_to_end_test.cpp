// kiv-cli as a user runs it: options in, frames on a virtual port out.
// The guards given to Wait only keep a broken run from hanging the test;
// they are not timing measurements.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/exit_codes.h"
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

struct LogRow {
    int frame = 0;
    double ms = 0;
    std::vector<std::uint8_t> bytes;
};

// The CSV log: the header, then count, ms since start, wall clock, bytes.
std::vector<LogRow> ReadLog(const std::string& path, std::string* header = nullptr) {
    std::ifstream in(path);
    std::string row;
    std::vector<LogRow> rows;
    if (!std::getline(in, row)) return rows;
    if (header != nullptr) *header = row;
    while (std::getline(in, row)) {
        std::stringstream fields(row);
        std::string field;
        LogRow r;
        std::getline(fields, field, ',');
        r.frame = std::stoi(field);
        std::getline(fields, field, ',');
        r.ms = std::stod(field);
        std::getline(fields, field, ',');  // wall clock
        while (std::getline(fields, field, ','))
            r.bytes.push_back(static_cast<std::uint8_t>(std::stoi(field)));
        rows.push_back(r);
    }
    return rows;
}

std::vector<std::uint8_t> AllBytes(const std::vector<LogRow>& rows) {
    std::vector<std::uint8_t> all;
    for (const LogRow& r : rows) all.insert(all.end(), r.bytes.begin(), r.bytes.end());
    return all;
}

TEST(KivCli, ExampleFramesOnTheVirtualPortAndInTheLog) {
    const std::string log =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_frames.csv";
    ChildProcess cli(
        kCli, {"--frame", "5,6,sinx1,sinx2", "--period", "10", "--frames", "6", "--log", log});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    LineReader line(path);
    ASSERT_TRUE(line.ok());
    const std::vector<std::uint8_t> got = line.Read(24);
    EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
    const std::vector<std::uint8_t> expected = {5, 6, 130, 140, 5, 6, 148, 145, 5, 6, 159, 150,
                                                5, 6, 159, 155, 5, 6, 148, 159, 5, 6, 130, 164};
    EXPECT_EQ(got, expected);

    std::string header;
    const auto rows = ReadLog(log, &header);
    EXPECT_EQ(header, "frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3,slot4");
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].frame, static_cast<int>(i) + 1);
    EXPECT_EQ(AllBytes(rows), got);
}

// Each failure has its own exit code and one line on standard error that
// starts with the option at fault.
TEST(KivCli, ExitCodesAndOneLineMessages) {
    const struct {
        std::vector<std::string> args;
        bool receiver;  // a receiver opens the virtual port
        int code;
        const char* line;
    } cases[] = {
        {{"--period", "-5"},
         false,
         kExitBadInput,
         "kiv-cli: --period \"-5\": must not be negative"},
        {{"--version", "--bogus"}, false, kExitOk, "kiv-cli 1."},
        {{"--log", "/nonexistent-dir/x.csv"},
         false,
         kExitBadInput,
         "kiv-cli: --log \"/nonexistent-dir/x.csv\": cannot be written"},
        {{"--device", "/dev/kiv-no-such-device", "--frames", "1"},
         false,
         kExitPortFailed,
         "kiv-cli: --device \"/dev/kiv-no-such-device\": cannot be opened"},
        {{"--frame", "4,sinx1", "--set", "sinx1=t1:0", "--frames", "3"},
         true,
         kExitFrameError,
         "kiv-cli: --frame \"4,sinx1\": frame 1 could not be composed"},
    };
    for (const auto& c : cases) {
        ChildProcess cli(kCli, c.args);
        std::unique_ptr<LineReader> receiver;
        if (c.receiver) {
            const std::string path = PathFrom(cli.ReadLine());
            ASSERT_FALSE(path.empty());
            receiver = std::make_unique<LineReader>(path);
        }
        EXPECT_EQ(cli.Wait(), c.code) << c.args[0] << "\n" << cli.errors();
        const std::string& text = c.code == kExitOk ? cli.output() : cli.errors();
        EXPECT_EQ(text.rfind(c.line, 0), 0u) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        if (c.receiver) {
            EXPECT_TRUE(receiver->Read(1, std::chrono::milliseconds(50)).empty());
        }
    }
}

TEST(KivCli, WarningsComeBeforeTheRunOneLineEach) {
    ChildProcess cli(kCli, {"--period", "0.4", "--device", "/dev/kiv-no-such-device"});
    EXPECT_EQ(cli.Wait(), kExitPortFailed);
    std::istringstream lines(cli.errors());
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 3u) << cli.errors();
    EXPECT_EQ(all[0],
              "kiv-cli: warning: --period \"0.4\": rounded to 0 ms (halves go to the even "
              "neighbour)");
    EXPECT_EQ(all[1],
              "kiv-cli: warning: --period \"0.4\": frames go out as fast as the line "
              "takes them");
    EXPECT_EQ(all[2].rfind("kiv-cli: --device", 0), 0u);
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
    EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
    ASSERT_EQ(got.size() % 10, 0u) << got.size();
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i % 10 + 1) << "byte " << i;
}

// One signal ends the run however stuck the line (the terminal closing
// among them): a receiver that opened the port and never reads, or a frame
// whose time is far off. The signal goes only once the run is under way
// (frames on the line, or the log's header, which a log into a pipe gets
// when sending starts), however long a loaded machine takes to get there;
// the waits' bounds only keep a broken run from hanging.
TEST(KivCli, OneStopSignalEndsAStuckRun) {
    const struct {
        std::vector<std::string> args;
        bool framesOnTheLine;  // else: the log's header shows that sending began
        int signo;
        int code;
        const char* says;  // "" for nothing at all
    } cases[] = {
        {{"--frame", "1,2,3,4,5,6,7,8,9,10", "--period", "0"},
         true,
         SIGTERM,
         kExitUndelivered,
         "undelivered and dropped"},
        {{"--frame", "1,2,3,4,5,6,7,8,9,10", "--period", "0"},
         true,
         SIGINT,
         kExitUndelivered,
         "undelivered and dropped"},
        {{"--frame", "1,2,3,4,5,6,7,8,9,10", "--period", "0"},
         true,
         SIGHUP,
         kExitUndelivered,
         "undelivered and dropped"},
        {{"--frame", "1,2", "--period", "60000"}, false, SIGTERM, kExitOk, ""},
    };
    const std::string log =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_stuck.csv";
    for (const auto& c : cases) {
        std::remove(log.c_str());
        // A pipe the test reads: the header comes when sending starts.
        int logReader = -1;
        if (!c.framesOnTheLine) {
            ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
            logReader = ::open(log.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            ASSERT_GE(logReader, 0);
        }
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--log", log});
        ChildProcess cli(kCli, args);
        const std::string path = PathFrom(cli.ReadLine());
        ASSERT_FALSE(path.empty()) << cli.errors();
        LineReader receiver(path);  // opens, never reads
        ASSERT_TRUE(receiver.ok());
        if (c.framesOnTheLine) {
            pollfd p{receiver.fd(), POLLIN, 0};
            ASSERT_EQ(poll(&p, 1, 30'000), 1) << "no frame reached the line";
        } else {
            pollfd p{logReader, POLLIN, 0};
            ASSERT_EQ(poll(&p, 1, 30'000), 1) << "sending never began";
        }
        cli.Signal(c.signo);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), c.code) << cli.errors();
        if (*c.says == '\0') {
            EXPECT_EQ(cli.errors(), "");
        } else {
            EXPECT_NE(cli.errors().find(c.says), std::string::npos) << cli.errors();
        }
        if (logReader >= 0) ::close(logReader);
    }
    std::remove(log.c_str());
}

// --seconds: no frame later than S seconds after sending started, and no
// more than the frames due by then; --frames: exactly N.
TEST(KivCli, SecondsAndFramesBoundTheRun) {
    const struct {
        std::vector<std::string> args;
        double seconds;  // 0: not limited by time
        std::size_t atLeast, atMost;
    } cases[] = {
        {{"--period", "1000", "--seconds", "2"}, 2, 1, 2},
        {{"--period", "100", "--seconds", "0.5"}, 0.5, 1, 5},
        {{"--period", "300", "--seconds", "0.2"}, 0.2, 0, 0},
        {{"--period", "1", "--frames", "7"}, 0, 7, 7},
        {{"--period", "0", "--frames", "40"}, 0, 40, 40},
    };
    for (const auto& c : cases) {
        const std::string log =
            ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_bound.csv";
        std::vector<std::string> args = c.args;
        for (const char* a : {"--frame", "9,8,7", "--log"}) args.push_back(a);
        args.push_back(log);
        ChildProcess cli(kCli, args);
        const std::string path = PathFrom(cli.ReadLine());
        ASSERT_FALSE(path.empty());
        LineReader receiver(path);
        // Reads until the run ends and closes the line; the idle bound only
        // keeps a broken run from hanging, and a loaded machine may well
        // leave the line quiet for seconds before the first frame.
        const auto got = receiver.Read(3 * (c.atMost + 1), std::chrono::seconds(20));
        EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
        const auto rows = ReadLog(log);
        EXPECT_GE(rows.size(), c.atLeast) << c.args[1];
        EXPECT_LE(rows.size(), c.atMost) << c.args[1];
        EXPECT_EQ(got, AllBytes(rows)) << c.args[1];
        // The log's time is taken once the write returned; a frame sent a
        // period late would be far past this allowance for the machine's noise.
        for (const LogRow& r : rows) {
            if (c.seconds > 0) {
                EXPECT_LE(r.ms, c.seconds * 1000.0 + 50.0) << c.args[1];
            }
        }
    }
}

// The log is written as frames go: a run killed outright keeps every line
// up to the kill.
TEST(KivCli, TheLogFollowsTheFramesAndSurvivesAKill) {
    const std::string log = ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_live.csv";
    ChildProcess cli(kCli, {"--frame", "1,2,3", "--period", "20", "--log", log});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    LineReader receiver(path);
    const auto got = receiver.Read(30);  // ten frames
    ASSERT_EQ(got.size(), 30u);
    cli.Signal(SIGKILL);
    cli.Wait();
    std::ifstream in(log);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), '\n') << "a line cut short";
    // The tenth frame was written after the ninth's line.
    const auto rows = ReadLog(log);
    ASSERT_GE(rows.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(rows[i].bytes, (std::vector<std::uint8_t>{1, 2, 3})) << i;
}

// A receiver that opens late, and flushes the line as it sets it up, still
// gets every frame from the first.
TEST(KivCli, ALateReceiverGetsEveryFrameFromTheFirst) {
    const std::string log = ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_late.csv";
    ChildProcess cli(kCli, {"--frame", "1,sinx1", "--period", "2", "--frames", "30", "--log", log});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // late
    LineReader receiver(path);
    ASSERT_TRUE(receiver.ok());
    termios raw{};
    ASSERT_EQ(tcgetattr(receiver.fd(), &raw), 0);
    cfmakeraw(&raw);
    ASSERT_EQ(tcsetattr(receiver.fd(), TCSAFLUSH, &raw), 0);
    const auto got = receiver.Read(60);
    EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
    const auto rows = ReadLog(log);
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_EQ(got, AllBytes(rows));
    EXPECT_EQ(got.size(), 60u);
}

TEST(KivCli, HelpListsEveryOptionAndWins) {
    ChildProcess cli(kCli, {"--bogus", "--period", "-5", "--help"});
    EXPECT_EQ(cli.Wait(), kExitOk);
    const std::string& all = cli.output();
    for (const char* option :
         {"--baud", "--parity", "--data-bits", "--stop-bits", "--device", "--frame", "--period",
          "--set", "--noise", "--frames", "--seconds", "--log", "--help", "--version"})
        EXPECT_NE(all.find(option), std::string::npos) << option;
    for (const ExitCodeInfo& e : kExitCodes) EXPECT_NE(all.find(e.meaning), std::string::npos);
    EXPECT_NE(all.find("Sending starts once a program has held that path open"), std::string::npos);
    EXPECT_TRUE(cli.errors().empty()) << cli.errors();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Reads what the virtual port gives, a chunk every `pace`, until kiv-cli
// closes it (the guard only keeps a broken run from hanging the test).
std::vector<std::uint8_t> ReadUntilClosed(LineReader& line, std::chrono::milliseconds pace) {
    std::vector<std::uint8_t> got;
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < guard) {
        std::this_thread::sleep_for(pace);
        std::uint8_t buf[8192];
        ssize_t n = 0;
        while ((n = read(line.fd(), buf, sizeof buf)) > 0) got.insert(got.end(), buf, buf + n);
        if (n == 0 || (n < 0 && errno == EIO)) break;  // the line is gone
    }
    return got;
}

// The frame count in "... sending stopped after frame N".
long StoppedAfter(const std::string& errors) {
    const std::string mark = "sending stopped after frame ";
    const auto at = errors.find(mark);
    return at == std::string::npos ? -1 : std::stol(errors.substr(at + mark.size()));
}

// A stop signal ends sending at once: at most the frame under way follows
// it, however much of its second is left. The log is counted once the
// signal has gone, so a frame that went out while the test sent it counts
// as before it; the signal goes once the log shows two frames (the bound
// only keeps a broken run from hanging).
TEST(KivCliRuns, AStopSignalLetsAtMostTheFrameUnderWayFollow) {
    const std::string log = ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_stop.csv";
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        std::remove(log.c_str());
        ChildProcess cli(kCli, {"--frame", "1,2,3", "--period", "100", "--log", log});
        const std::string path = PathFrom(cli.ReadLine());
        ASSERT_FALSE(path.empty());
        LineReader receiver(path);
        ASSERT_TRUE(receiver.ok());
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ReadLog(log).size() < 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cli.Signal(signo);
        const std::size_t before = ReadLog(log).size();
        const auto rest = ReadUntilClosed(receiver, std::chrono::milliseconds(20));
        EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
        const std::size_t after = ReadLog(log).size();
        EXPECT_GE(before, 2u);
        EXPECT_LE(after, before + 1) << "frames after the signal: " << after - before;
        EXPECT_EQ(rest.size(), after * 3);
    }
    std::remove(log.c_str());
}

// Started to outlive its terminal (nohup), kiv-cli keeps ignoring SIGHUP:
// frames go on after it, and SIGTERM still ends the run.
TEST(KivCliRuns, AnIgnoredHangUpStaysIgnored) {
    const std::string log = ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_hup.csv";
    std::remove(log.c_str());
    ChildProcess cli("/bin/bash",
                     {"-c", "trap '' HUP; exec " + kCli + " --frame 4,5 --period 20 --log " + log});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    LineReader receiver(path);
    ASSERT_TRUE(receiver.ok());
    const auto waitForRows = [&](std::size_t rows) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ReadLog(log).size() < rows && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ReadLog(log).size();
    };
    ASSERT_GE(waitForRows(1), 1u);
    cli.Signal(SIGHUP);
    const std::size_t atHangUp = ReadLog(log).size();
    EXPECT_GE(waitForRows(atHangUp + 3), atHangUp + 3) << "sending ended at SIGHUP";
    cli.Signal(SIGTERM);
    ReadUntilClosed(receiver, std::chrono::milliseconds(20));
    EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
    std::remove(log.c_str());
}

// --setup reads a pipe as it reads a file (a shell's <(...), a piped
// standard input) and refuses a device in one line that names it.
TEST(KivCliRuns, ASetupIsReadFromAPipeAndADeviceIsRefused) {
    const std::string written = ::testing::TempDir() + std::to_string(::getpid()) + "-piped.ini";
    const std::string give = "printf '[send]\\nslot1=7\\nslot2=sinx1\\n'";
    const struct {
        std::string shell;
        int code;
        std::string says;  // standard error; "" for nothing
    } cases[] = {
        {kCli + " --setup <(" + give + ") --write-setup " + written, kExitOk, ""},
        {give + " | " + kCli + " --setup /dev/stdin --write-setup " + written, kExitOk, ""},
        {kCli + " --setup /dev/zero --write-setup " + written, kExitBadInput,
         "kiv-cli: --setup \"/dev/zero\": is a device; a setup is read only from a regular file "
         "or a pipe\n"},
        {"head -c 2000000 /dev/zero | " + kCli + " --setup /dev/stdin --write-setup " + written,
         kExitBadInput, "kiv-cli: --setup \"/dev/stdin\": too large for a setup file\n"},
    };
    for (const auto& c : cases) {
        std::remove(written.c_str());
        ChildProcess shell("/bin/bash", {"-c", c.shell});
        EXPECT_EQ(shell.Wait(), c.code) << c.shell << "\n" << shell.errors();
        EXPECT_EQ(shell.errors(), c.says) << c.shell;
        const std::string text = ReadText(written);
        if (c.code == kExitOk) {
            EXPECT_NE(text.find("slot1=7\n"), std::string::npos) << text;
            EXPECT_NE(text.find("slot2=sinx1\n"), std::string::npos) << text;
        } else {
            EXPECT_EQ(text, "") << c.shell;
        }
    }
    std::remove(written.c_str());
}

// Where the log may go: a file by the window's recording's rules (a link
// written through to its regular file, which keeps its permissions), a
// pipe that a program reads, the null device. A pipe nobody reads and any
// other device are refused at once in one line, before anything is sent.
TEST(KivCliRuns, TheLogGoesWhereTheWindowsRecordingGoes) {
    const std::string dir = ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_cli_logs/";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    ASSERT_EQ(::mkfifo((dir + "unread").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/full", dir + "full-link");
    WriteText(dir + "kept.csv", "precious\n");
    ::chmod((dir + "kept.csv").c_str(), 0640);
    std::filesystem::create_symlink("kept.csv", dir + "kept-link");
    const std::string header = "frame,ms_since_start,wall_clock_utc,slot1,slot2\n";
    const struct {
        std::string log;       // the --log value, in a shell line
        std::string readBack;  // where the log's lines land, "" for nowhere
        std::string refusal;   // "" when the run goes ahead
    } cases[] = {
        {dir + "unread", "",
         "kiv-cli: --log \"" + dir +
             "unread\": cannot be written: is a pipe that no program "
             "reads; nothing was sent\n"},
        {"/dev/full", "",
         "kiv-cli: --log \"/dev/full\": cannot be written: is a device; a log is written only "
         "to a regular file\n"},
        {dir + "full-link", "",
         "kiv-cli: --log \"" + dir +
             "full-link\": cannot be written: leads to /dev/full, which "
             "is a device; a log is written only to a regular file\n"},
        {"/dev/null", "", ""},
        {">(cat > " + dir + "piped.csv)", dir + "piped.csv", ""},
        {dir + "kept-link", dir + "kept.csv", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        ChildProcess cli(
            "/bin/bash",
            {"-c", "exec " + kCli + " --frame 1,2 --period 1 --frames 3 --log " + c.log});
        if (!c.refusal.empty()) {
            EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), kExitBadInput);
            EXPECT_EQ(cli.errors(), c.refusal);
            EXPECT_EQ(cli.output(), "");
            continue;
        }
        const std::string path = PathFrom(cli.ReadLine());
        ASSERT_FALSE(path.empty()) << cli.errors();
        LineReader line(path);
        EXPECT_EQ(line.Read(6).size(), 6u);
        EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
        if (c.readBack.empty()) continue;
        // The shell's reader may still be writing its copy out.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ReadLog(c.readBack).size() < 3 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::string first;
        EXPECT_EQ(ReadLog(c.readBack, &first).size(), 3u);
        EXPECT_EQ(first + "\n", header);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "kept-link"));
    EXPECT_EQ(std::filesystem::status(dir + "kept.csv").permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    // Nothing of the log's own making is left beside it.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, 5u);
    std::filesystem::remove_all(dir);
}

// A plan with no slot would cycle for ever sending nothing; it is refused
// before anything is opened, from an option or from a setup.
TEST(KivCliRuns, APlanWithNoSlotIsRefused) {
    const std::string setup = ::testing::TempDir() + "kiv_cli_no_slot.ini";
    WriteText(setup, "[send]\nslot1=\nslot2=7\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--frame", ""}, {"--frame", ",1", "--period", "0"}, {"--setup", setup}}) {
        ChildProcess cli(kCli, args);
        EXPECT_EQ(cli.Wait(std::chrono::seconds(10)), kExitBadInput) << args[1];
        EXPECT_EQ(cli.errors().find("kiv-cli: "), 0u) << cli.errors();
        EXPECT_NE(cli.errors().find("slot 1 is empty"), std::string::npos) << cli.errors();
        EXPECT_EQ(std::count(cli.errors().begin(), cli.errors().end(), '\n'), 1) << cli.errors();
        EXPECT_EQ(cli.output(), "");
    }
}

// The log opens, and an earlier one is replaced, only once everything else
// was accepted.
TEST(KivCliRuns, AnEarlierLogIsKeptWhenTheRunIsRefused) {
    const std::string log = ::testing::TempDir() + "kiv_cli_prev.csv";
    const std::string written = ::testing::TempDir() + "kiv_cli_prev.ini";
    const std::vector<std::string> cases[] = {
        {"--setup", ::testing::TempDir() + "kiv-no-such-setup.ini"},
        {"--device", "/dev/kiv-no-such-device"},
        {"--write-setup", written},
        {"--frame", ",2"},
    };
    for (const auto& args : cases) {
        WriteText(log, "frame,earlier run\n1,2\n");
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--log", log});
        ChildProcess cli(kCli, all);
        cli.Wait();
        EXPECT_EQ(ReadText(log), "frame,earlier run\n1,2\n") << args[0] << ": " << cli.errors();
    }
}

// A log that cannot be written is reported at once and ends the run with its
// own code; the frames already on the line stay there, whole. (A device
// such as /dev/full is refused before anything is sent: see
// TheLogGoesWhereTheWindowsRecordingGoes.)
TEST(KivCliRuns, ALogThatCannotBeWrittenEndsTheRunWithItsOwnCode) {
    {
        // A disk that fills up after a kilobyte: the file size limit of the
        // shell, with its signal ignored, makes the writes fail as a full
        // disk's do.
        const std::string log = ::testing::TempDir() + "kiv_cli_filling.csv";
        std::remove(log.c_str());
        ChildProcess cli("/bin/bash", {"-c", "trap '' XFSZ; ulimit -f 1; exec " + kCli +
                                                 " --frame 1,2,3 --period 1 --log " + log});
        const std::string path = PathFrom(cli.ReadLine());
        ASSERT_FALSE(path.empty());
        LineReader line(path);
        const auto got = ReadUntilClosed(line, std::chrono::milliseconds(20));
        EXPECT_EQ(cli.Wait(), kExitLogFailed) << cli.errors();
        const long sent = StoppedAfter(cli.errors());
        EXPECT_GT(sent, 1) << cli.errors();
        EXPECT_NE(cli.errors().find("cannot be written (File too large)"), std::string::npos)
            << cli.errors();
        ASSERT_EQ(got.size(), static_cast<std::size_t>(sent) * 3);
        for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i % 3 + 1) << i;
        EXPECT_LE(ReadText(log).size(), 1024u);
    }
}

// --log - into a reader that goes away: the write fails instead of killing
// the program, which ends the run as for any log that cannot be written.
TEST(KivCliRuns, AClosedStandardOutputEndsTheRunLikeAFailedLog) {
    const std::string errors = ::testing::TempDir() + "kiv_cli_pipe.err";
    std::remove(errors.c_str());
    ChildProcess shell("/bin/bash", {"-c", kCli + " --frame 1,2 --period 1 --log - 2>" + errors +
                                               " | head -1; exit ${PIPESTATUS[0]}"});
    std::string path;
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (path.empty() && std::chrono::steady_clock::now() < guard) {
        std::istringstream lines(ReadText(errors));
        std::string first;
        std::getline(lines, first);
        path = PathFrom(first);
        if (path.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(path.empty());
    LineReader line(path);
    const auto got = ReadUntilClosed(line, std::chrono::milliseconds(20));
    EXPECT_EQ(shell.Wait(), kExitLogFailed) << ReadText(errors);
    EXPECT_EQ(shell.ReadLine(), "frame,ms_since_start,wall_clock_utc,slot1,slot2");
    const std::string said = ReadText(errors);
    EXPECT_NE(said.find("--log \"-\": cannot be written (Broken pipe)"), std::string::npos) << said;
    const long sent = StoppedAfter(said);
    EXPECT_GE(sent, 1) << said;
    EXPECT_EQ(got.size(), static_cast<std::size_t>(sent) * 2);
}

// The frame that waits for a slow receiver when --seconds ends was never on
// the line: the run is complete, and every frame written reached the receiver.
TEST(KivCliRuns, SecondsWithASlowReceiverCountsOnlyFramesOnTheLine) {
    const std::string log = ::testing::TempDir() + "kiv_cli_slow.csv";
    ChildProcess cli(
        kCli, {"--frame", "1,2,3,4,5,6,7,8,9,10", "--period", "0", "--seconds", "1", "--log", log});
    const std::string path = PathFrom(cli.ReadLine());
    ASSERT_FALSE(path.empty());
    LineReader line(path);
    // The line is full most of the time: the writer waits for room.
    const auto got = ReadUntilClosed(line, std::chrono::milliseconds(250));
    EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
    EXPECT_EQ(cli.errors().find("undelivered"), std::string::npos) << cli.errors();
    std::istringstream said(cli.errors());
    for (std::string line; std::getline(said, line);)
        EXPECT_EQ(line.rfind("kiv-cli: ", 0), 0u) << line;
    const auto rows = ReadLog(log);
    EXPECT_GT(rows.size(), 0u);
    EXPECT_EQ(got, AllBytes(rows));
}

// The README's first steps: stty sets the line up (a short open), then a
// receiver opens it; with od as the receiver, and with one that flushes the
// line as it sets it up (as Python's tty.setraw does). No frame is missing.
TEST(KivCliRuns, TheReadmeStepsLoseNoFrame) {
    for (const bool flushingReceiver : {false, true}) {
        SCOPED_TRACE(flushingReceiver ? "a receiver that flushes" : "od");
        const std::string log = ::testing::TempDir() + "kiv_cli_readme.csv";
        ChildProcess cli(
            kCli, {"--frame", "5,6,sinx1,sinx2", "--period", "10", "--frames", "20", "--log", log});
        const std::string path = PathFrom(cli.ReadLine());
        ASSERT_FALSE(path.empty());
        ChildProcess stty("/usr/bin/stty", {"-F", path, "raw", "-echo"});
        ASSERT_EQ(stty.Wait(), 0) << stty.errors();
        // A person types the next command.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<std::uint8_t> got;
        if (flushingReceiver) {
            LineReader line(path);
            termios raw{};
            ASSERT_EQ(tcgetattr(line.fd(), &raw), 0);
            cfmakeraw(&raw);
            ASSERT_EQ(tcsetattr(line.fd(), TCSAFLUSH, &raw), 0);
            got = line.Read(80);
            EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
        } else {
            ChildProcess od("/usr/bin/od", {"-An", "-tu1", "-w4", "-v", path});
            EXPECT_EQ(cli.Wait(), kExitOk) << cli.errors();
            od.Wait();  // ends when the line goes
            std::istringstream numbers(od.output());
            int value = 0;
            while (numbers >> value) got.push_back(static_cast<std::uint8_t>(value));
        }
        const auto rows = ReadLog(log);
        ASSERT_EQ(rows.size(), 20u);
        EXPECT_EQ(got, AllBytes(rows));
    }
}

bool OneLineOfText(const std::string& text) {
    if (text.empty() || text.back() != '\n') return false;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) return false;
    }
    return true;
}

// Paths and values that hold line breaks, escape sequences or a NUL show
// escaped in one line, cut to a readable length.
TEST(KivCliRuns, MessagesShowControlCharactersEscaped) {
    const std::string setup = ::testing::TempDir() + "kiv_cli_controls.ini";
    const std::string forged =
        "/dev/kiv\nkiv-cli: all is well \x1b[2J\x1b[31m" + std::string(200, 'a');
    const struct {
        std::string file;
        std::vector<std::string> args;
        int code;
        std::string says;
    } cases[] = {
        {"",
         {"--device", forged, "--frames", "1"},
         kExitPortFailed,
         "--device \"/dev/kiv\\x0akiv-cli: all is well \\x1b[2J\\x1b[31maaaa"},
        {"[send]\nslot2=\"\\x1b]0;owned\\x07\"\n",
         {"--setup", setup},
         kExitBadInput,
         "发送 page, slot 2 \"\\x1b]0;owned\\x07\" is neither"},
        {"[serial]\nport=\"COM\\x001 and more\"\n",
         {"--setup", setup},
         kExitBadInput,
         "串口设置 page, 串口 box \"COM\\x001 and more\": expected one of COM1"},
        {"[sinx1]\nt1=\"1\\x0d\\x0akiv-cli: ok\"\n",
         {"--setup", setup},
         kExitBadInput,
         "正弦波设置 page, sinx1: t1 \"1\\x0d\\x0akiv-cli: ok\" is not a number"},
    };
    for (const auto& c : cases) {
        if (!c.file.empty()) WriteText(setup, c.file);
        ChildProcess cli(kCli, c.args);
        EXPECT_EQ(cli.Wait(), c.code) << cli.errors();
        EXPECT_TRUE(OneLineOfText(cli.errors())) << cli.errors();
        EXPECT_NE(cli.errors().find(c.says), std::string::npos) << cli.errors();
        EXPECT_EQ(cli.errors().find(std::string(61, 'a')), std::string::npos) << cli.errors();
    }
}

}  // namespace
}  // namespace kiv
