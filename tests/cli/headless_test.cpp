#include "cli/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <regex>
#include <sstream>
#include <variant>

#include "app/startup.h"
#include "cli/cli_help.h"
#include "cli/cli_options.h"
#include "fakes.h"
#include "platform/port_naming.h"
#include "platform/system_words.h"

namespace kiv {
namespace {

TEST(CliOptions, ParsesEveryOption) {
    auto parsed = ParseCliOptions({"--baud",        "19200",
                                   "--parity",      "e",
                                   "--data-bits",   "7",
                                   "--stop-bits",   "2",
                                   "--device",      "/dev/ttyUSB0",
                                   "--frame",       "5,6,sinx1,sinx2",
                                   "--period",      "20",
                                   "--set",         "sinx1=t1:100,am:60,a0:100",
                                   "--set",         "noise=am:10",
                                   "--noise",       "1,3",
                                   "--frames",      "50",
                                   "--seconds=2.5", "--log",
                                   "out.csv"});
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
    EXPECT_EQ(o.seconds, 2.5);
    EXPECT_EQ(o.log, "out.csv");
    EXPECT_TRUE(o.warnings.empty());
}

// Each whole-number rule takes both of its bounds: the lowest and the
// highest value it names in its refusal are themselves accepted.
TEST(CliOptions, AcceptsTheBoundsOfEveryWholeNumberRule) {
    const struct {
        std::vector<std::string> args;
        std::function<bool(const CliOptions&)> took;
    } cases[] = {
        {{"--baud", "1"}, [](const CliOptions& o) { return o.baud == "1"; }},
        {{"--baud", "4000000"}, [](const CliOptions& o) { return o.baud == "4000000"; }},
        {{"--noise", "1"}, [](const CliOptions& o) { return o.noise == std::vector<int>{1}; }},
        {{"--noise", "10"}, [](const CliOptions& o) { return o.noise == std::vector<int>{10}; }},
        {{"--noise", "1,10"},
         [](const CliOptions& o) {
             return o.noise == std::vector<int>{1, 10};
         }},
        {{"--frames", "1"}, [](const CliOptions& o) { return o.frames == 1; }},
        {{"--frames", "1000000000"}, [](const CliOptions& o) { return o.frames == 1000000000L; }},
        {{"--seconds", "2000000"}, [](const CliOptions& o) { return o.seconds == 2000000.0; }},
    };
    for (const auto& c : cases) {
        auto parsed = ParseCliOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed))
            << c.args[0] << " " << c.args[1] << ": " << std::get<std::string>(parsed);
        EXPECT_TRUE(c.took(std::get<CliOptions>(parsed))) << c.args[0] << " " << c.args[1];
    }
}

// Every refusal is one line that starts with the option at fault and says
// which rule it broke.
TEST(CliOptions, RejectsWithOneLineThatStartsWithTheOption) {
    const struct {
        std::vector<std::string> args;
        const char* starts;
        const char* rule;
    } cases[] = {
        {{"--parity", "x"}, "--parity \"x\": ", "无, 奇 or 偶"},
        {{"--data-bits", "5"}, "--data-bits \"5\": ", "6, 7 or 8"},
        {{"--stop-bits", "1.5"}, "--stop-bits \"1.5\": ", "1 or 2"},
        {{"--baud", "96OO"}, "--baud \"96OO\": ", "whole number"},
        {{"--baud", "0"}, "--baud \"0\": ", "1..4000000"},
        {{"--baud", "4000001"}, "--baud \"4000001\": ", "1..4000000"},
        {{"--frame", "1,2,3,4,5,6,7,8,9,10,11"}, "--frame ", "at most 10 slots"},
        {{"--frame", "5,sinx9"}, "--frame \"5,sinx9\": ", "slot 2 \"sinx9\""},
        {{"--frame", "256"}, "--frame \"256\": ", "slot 1"},
        {{"--period", "0x10"}, "--period \"0x10\": ", "not a number"},
        {{"--period", "abc"}, "--period \"abc\": ", "not a number"},
        {{"--period", "-5"}, "--period \"-5\": ", "must not be negative"},
        {{"--period", "-0.6"}, "--period \"-0.6\": ", "must not be negative"},
        {{"--period", "3e9"}, "--period \"3e9\": ", "out of range"},
        {{"--set", "sinx4=t1:1"}, "--set \"sinx4=t1:1\": ", "unknown signal"},
        {{"--set", "sinx1=t2:5"}, "--set \"sinx1=t2:5\": ", "no settable parameter \"t2\""},
        {{"--set", "noise=a0:5"}, "--set \"noise=a0:5\": ", "\"a0\""},
        {{"--set", "sinx1=t1:abc"}, "--set \"sinx1=t1:abc\": ", "t1 \"abc\" is not a number"},
        {{"--set", "sinx1=am:300"}, "--set \"sinx1=am:300\": ", "am \"300\" is outside 0..255"},
        {{"--set", "trix1=t3:1e10"}, "--set \"trix1=t3:1e10\": ", "outside"},
        {{"--set", "sinx1"}, "--set \"sinx1\": ", "NAME=KEY:VALUE"},
        {{"--noise", "0"}, "--noise \"0\": ", "1..10"},
        {{"--noise", "11"}, "--noise \"11\": ", "1..10"},
        {{"--frames", "0"}, "--frames \"0\": ", "1..1000000000"},
        {{"--frames", "x"}, "--frames \"x\": ", "whole number"},
        {{"--frames", "1000000001"}, "--frames \"1000000001\": ", "1..1000000000"},
        {{"--seconds", "2000000.001"}, "--seconds \"2000000.001\": ", "at most 2000000"},
        {{"--seconds", "-1"}, "--seconds \"-1\": ", "above 0"},
        {{"--seconds", "nan"}, "--seconds \"nan\": ", "above 0"},
        {{"--log", ""}, "--log: ", "file name"},
        {{"--bogus", "1"}, "\"--bogus\": ", "unknown option"},
        {{"--period"}, "--period: ", "needs a value"},
        {{"stray"}, "\"stray\": ", "not an option"},
        {{"--frame", "a\nb"}, "--frame \"a\\x0ab\": ", "slot 1"},
    };
    for (const auto& c : cases) {
        auto parsed = ParseCliOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << c.args[0];
        const std::string& message = std::get<std::string>(parsed);
        EXPECT_EQ(message.rfind(c.starts, 0), 0u) << message;
        EXPECT_NE(message.find(c.rule), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(CliOptions, HelpWinsThenVersion) {
    const struct {
        std::vector<std::string> args;
        bool help, version;
    } cases[] = {
        {{"--help", "--bogus"}, true, false},
        {{"--bogus", "-h"}, true, false},
        {{"--period", "-5", "--help"}, true, false},
        {{"--version", "--help"}, true, false},
        {{"--log", "--help"}, true, false},
        {{"--version"}, false, true},
        {{"--frames", "0", "--version"}, false, true},
    };
    for (const auto& c : cases) {
        auto parsed = ParseCliOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
        EXPECT_EQ(std::get<CliOptions>(parsed).help, c.help) << c.args[0];
        EXPECT_EQ(std::get<CliOptions>(parsed).version, c.version) << c.args[0];
    }
}

// The window accepts any period; kiv-cli refuses negative ones (above) and
// says what it made of a 0 or a fraction.
TEST(CliOptions, PeriodWarnings) {
    const struct {
        const char* period;
        std::vector<std::string> mentions;  // one per expected warning
    } cases[] = {
        {"10", {}},
        {"1e1", {}},
        {"1.5", {"rounded to 2 ms"}},
        {"2.5", {"rounded to 2 ms"}},
        {"10.4", {"rounded to 10 ms"}},
        {"0", {"as fast as the line takes them"}},
        {"-0.4", {"rounded to 0 ms", "as fast as the line takes them"}},
        {"0.2", {"rounded to 0 ms", "as fast as the line takes them"}},
    };
    for (const auto& c : cases) {
        auto parsed = ParseCliOptions({"--period", c.period});
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
        const auto& warnings = std::get<CliOptions>(parsed).warnings;
        ASSERT_EQ(warnings.size(), c.mentions.size()) << c.period;
        for (std::size_t i = 0; i < warnings.size(); ++i) {
            EXPECT_EQ(warnings[i].rfind("--period", 0), 0u) << warnings[i];
            EXPECT_NE(warnings[i].find(c.mentions[i]), std::string::npos) << warnings[i];
        }
    }
}

TEST(CliOptions, ALaterPeriodReplacesTheEarlierOneWithItsWarnings) {
    auto parsed = ParseCliOptions({"--period", "0.5", "--period=2.5", "--period", "7"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
    EXPECT_EQ(std::get<CliOptions>(parsed).period, "7");
    EXPECT_TRUE(std::get<CliOptions>(parsed).warnings.empty());
}

// A plan must have a slot to send; the frame ends at the first empty slot,
// and a warning names the slots after it that will not be sent.
TEST(CliOptions, AFramePlanNeedsASlotAndGapsAreNamed) {
    const struct {
        std::vector<std::string> args;
        const char* refused;  // or nullptr
        std::vector<std::string> warnings;
    } cases[] = {
        {{"--frame", ""}, "--frame \"\": slot 1 is empty, so there is no frame to send", {}},
        {{"--frame", ",1"}, "--frame \",1\": slot 1 is empty", {}},
        {{"--frame=,"}, "--frame \",\": slot 1 is empty", {}},
        {{"--frame", "1,,2"},
         nullptr,
         {"--frame \"1,,2\": slot 2 is empty, so the frame ends at slot 1 and slot 3 is not sent"}},
        {{"--frame", "1,2,,sinx1,,5"},
         nullptr,
         {"--frame \"1,2,,sinx1,,5\": slot 3 is empty, so the frame ends at slot 2 and slots 4, "
          "6 are not sent"}},
        {{"--frame", "1,2,,"}, nullptr, {}},
        {{"--frame", "1,,2", "--frame", "3"}, nullptr, {}},
        {{"--frame", "1,,2", "--period", "0"},
         nullptr,
         {"--frame \"1,,2\": slot 2", "--period \"0\": frames go out"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const auto parsed = ParseCliOptions(c.args);
        if (c.refused != nullptr) {
            ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
            EXPECT_EQ(std::get<std::string>(parsed).rfind(c.refused, 0), 0u)
                << std::get<std::string>(parsed);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
        const auto& warnings = std::get<CliOptions>(parsed).warnings;
        ASSERT_EQ(warnings.size(), c.warnings.size());
        for (std::size_t i = 0; i < warnings.size(); ++i)
            EXPECT_EQ(warnings[i].rfind(c.warnings[i], 0), 0u) << warnings[i];
    }
}

// Whatever a value holds, it shows on one line as text: controls of every
// kind escaped (a NUL too, without cutting what follows), long values cut
// at a character boundary.
TEST(CliOptions, ValuesInMessagesAreEscapedAndCut) {
    const std::string cjk61 = [] {
        std::string s;
        for (int i = 0; i < 61; ++i) s += "波";
        return s;
    }();
    const struct {
        std::string value;
        std::string quoted;
    } cases[] = {
        {"a\nkiv-cli: forged", "\"a\\x0akiv-cli: forged\""},
        {"\x1b[31mred", "\"\\x1b[31mred\""},
        {std::string("a\0b", 3), "\"a\\x00b\""},
        {"\r\t\x7f", "\"\\x0d\\x09\\x7f\""},
        {"c1 \xc2\x9b"
         "2J",
         "\"c1 \\xc2\\x9b2J\""},  // U+009B, the one-byte CSI
        {"bad \xff\xc3", "\"bad \\xff\\xc3\""},
        {"rtl \xe2\x80\xae!", "\"rtl \\xe2\\x80\\xae!\""},  // U+202E reorders what follows
        {"line \xe2\x80\xa8!", "\"line \\xe2\\x80\\xa8!\""},
        {"say \"\\\"", "\"say \\\"\\\\\\\"\""},
        {"串口 COM1", "\"串口 COM1\""},
        {std::string(61, 'x'), "\"" + std::string(60, 'x') + "...\""},
        {cjk61, "\"" + cjk61.substr(0, 180) + "...\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Quoted(c.value), c.quoted);
        const std::string line = OneLine("m " + c.value);
        for (unsigned char ch : line) EXPECT_GE(ch, 0x20) << line;
        EXPECT_EQ(line.find('\x7f'), std::string::npos) << line;
    }
    // A whole message keeps its quotes and backslashes, and is not cut.
    EXPECT_EQ(OneLine("\"a\\b\"\n" + std::string(100, 'y')),
              "\"a\\b\"\\x0a" + std::string(100, 'y'));
    EXPECT_EQ(Shortened(std::string(70, 'z') + "\n"), std::string(60, 'z') + "...");
}

// Columns as a terminal shows them: the Chinese characters take two.
std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        width += length == 3 ? 2 : 1;
        i += length;
    }
    return width;
}

// Within each block of option lines the descriptions start in one column,
// and continuation lines line up with them.
TEST(CliOptions, HelpTableIsAligned) {
    std::istringstream text(CliUsage());
    std::string line;
    std::optional<std::size_t> column;
    int checked = 0;
    while (std::getline(text, line)) {
        if (line.rfind("  -", 0) == 0 || (line.size() > 2 && line[2] >= '0' && line[2] <= '9')) {
            const auto gap = line.find("  ", 2);
            if (gap == std::string::npos) continue;  // an example, no description
            const auto start = line.find_first_not_of(' ', gap);
            const std::size_t at = DisplayWidth(line.substr(0, start));
            if (column) {
                EXPECT_EQ(at, *column) << line;
            }
            column = at;
            ++checked;
        } else if (column && line.rfind(std::string(*column, ' '), 0) == 0) {
            EXPECT_NE(line[*column], ' ') << "continuation off its column: " << line;
        } else {
            column.reset();  // a new block
        }
    }
    EXPECT_GE(checked, 18);
    EXPECT_NE(CliUsage().find("--parity 无|奇|偶"), std::string::npos);
}

// Each row of the option table is listed by --help and read by the parser:
// an option that takes a value refuses to go without one and takes the
// example --help gives for it; one that takes none is taken alone.
TEST(CliOptions, EveryOptionOfTheTableIsListedAndRead) {
    const std::string help = CliUsage();
    for (const CliOption& option : kCliOptions) {
        const std::string name(option.name);
        const std::string value(option.value);
        SCOPED_TRACE(name);
        EXPECT_NE(help.find("\n  " + name + (value.empty() ? "" : " " + value)), std::string::npos);
        if (option.take == nullptr) {
            EXPECT_TRUE(std::holds_alternative<CliOptions>(ParseCliOptions({name})));
            EXPECT_TRUE(value.empty());
            continue;
        }
        const auto alone = ParseCliOptions({name});
        if (value.empty()) {
            // A flag: given alone, never with a value.
            EXPECT_TRUE(std::holds_alternative<CliOptions>(alone));
            const auto valued = ParseCliOptions({name + "=1"});
            ASSERT_TRUE(std::holds_alternative<std::string>(valued));
            EXPECT_EQ(std::get<std::string>(valued), name + ": takes no value (see --help)");
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::string>(alone));
        EXPECT_EQ(std::get<std::string>(alone), name + ": needs a value (see --help)");
        // Placeholders (FILE, N) and lists of choices are not examples.
        const bool example =
            value.find('|') == std::string::npos &&
            std::any_of(value.begin(), value.end(), [](char c) { return !(c >= 'A' && c <= 'Z'); });
        if (!example) continue;
        const auto taken = ParseCliOptions({name, value});
        EXPECT_TRUE(std::holds_alternative<CliOptions>(taken)) << std::get<std::string>(taken);
    }
}

// The help speaks this system's words, which the platform gives: its device
// names, how a user stops the run, whether there is a virtual port; no
// placeholder is left for the reader.
TEST(CliOptions, HelpNamesThisSystemsDevicesAndStopRequests) {
    const std::string help = CliUsage();
    EXPECT_NE(help.find("--device PATH"), std::string::npos);
    EXPECT_NE(help.find("e.g. " + ExampleDeviceName() + "\n"), std::string::npos) << help;
    EXPECT_NE(help.find("Stopping (default: until " + StopRequestNames() + "):"),
              std::string::npos);
    EXPECT_NE(help.find("  " + StopRequestNames() + " end the run within a second"),
              std::string::npos);
    EXPECT_EQ(help.find('{'), std::string::npos) << help;
    EXPECT_EQ(help.find("sending on\n/dev/pts/N") != std::string::npos, VirtualPortOffered());
    EXPECT_EQ(help.find("no virtual port") != std::string::npos, !VirtualPortOffered());
}

TEST(CliOptions, HelpListsEveryExitCode) {
    const std::string help = CliUsage();
    for (const ExitCodeInfo& e : kExitCodes) {
        std::string row = "  " + std::to_string(e.code);
        row.resize(25, ' ');
        EXPECT_NE(help.find(row + e.meaning), std::string::npos) << e.meaning;
    }
}

TEST(CliOptions, FramesLeftInALine) {
    const struct {
        long bytes;
        int frameLength;
        long frames;
    } cases[] = {{0, 4, 0}, {-1, 4, 0},      {1, 4, 1}, {4, 4, 1},
                 {5, 4, 2}, {4000, 10, 400}, {3, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(FramesIn(c.bytes, c.frameLength), c.frames) << c.bytes;
}

// The headless run over fake services: a frame limit, a log, and failures
// that name their option and send nothing.
struct Headless : testing::Rig {
    Headless() : recorder(w, port) {
        w.MSComm1 = &recorder;
        w.messageBox = &remembering;
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
    RememberingMessageBox remembering;
    HeadlessRun run{w, recorder, [this](const std::string& t) { errors.push_back(t); }};
};

// The report of frames left undelivered: its total is what it lists, the
// frames still in the line are among those written, and the frame under
// way is the one after the last written.
TEST(CliOptions, TheUndeliveredReportAddsUp) {
    const std::string why = "the line did not take them";
    const struct {
        long written, inLine, underWay;
        std::string says;
    } cases[] = {
        {1000, 1000, 1,
         "1001 frame(s) undelivered and dropped: the line did not take them (1000 frames "
         "written, all of them not yet through the line, and frame 1001 under way)"},
        {1000, 12, 1,
         "13 frame(s) undelivered and dropped: the line did not take them (1000 frames written, "
         "the last 12 of them not yet through the line, and frame 1001 under way)"},
        {40, 3, 0,
         "3 frame(s) undelivered and dropped: the line did not take them (40 frames written, the "
         "last 3 of them not yet through the line)"},
        {7, 0, 1,
         "1 frame(s) undelivered and dropped: the line did not take them (7 frames written, frame "
         "8 under way)"},
        {0, 0, 1,
         "1 frame(s) undelivered and dropped: the line did not take them (0 frames written, frame "
         "1 under way)"},
        {1, 1, 0,
         "1 frame(s) undelivered and dropped: the line did not take them (1 frame written, not "
         "yet through the line)"},
        // More frames counted in the line than were written cannot be: the
        // line holds at most what it was given.
        {5, 9, 1,
         "6 frame(s) undelivered and dropped: the line did not take them (5 frames written, all "
         "of them not yet through the line, and frame 6 under way)"},
        {5, 0, 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UndeliveredReport(c.written, c.inLine, c.underWay, why), c.says)
            << c.written << " " << c.inLine << " " << c.underWay;
}

TEST(HeadlessRun, SendsTheRequestedFramesAndLogsThem) {
    Headless h;
    std::ostringstream log;
    h.recorder.setLog(&log);
    h.recorder.setFrameLimit(3);
    ASSERT_EQ(h.run.Prepare(h.Options({"--frame", "5,6,sinx1,sinx2", "--parity", "o"})), kExitOk);
    EXPECT_EQ(h.port.settings, "9600,o,8,1");
    EXPECT_EQ(h.run.Send(), kExitOk);
    ASSERT_EQ(h.port.frames.size(), 3u);
    std::istringstream lines(log.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3,slot4");
    const std::regex row(R"((\d+),(\d+\.\d{3}),(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z),(.*))");
    std::vector<std::string> bytes;
    while (std::getline(lines, line)) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, row)) << line;
        EXPECT_EQ(std::stoi(m[1]), static_cast<int>(bytes.size()) + 1);
        bytes.push_back(m[4]);
    }
    EXPECT_EQ(bytes, (std::vector<std::string>{"5,6,130,140", "5,6,148,145", "5,6,159,150"}));
    EXPECT_TRUE(h.errors.empty()) << h.AllErrors();
}

TEST(HeadlessRun, SignalSettingsAndNoiseReachTheFrame) {
    Headless h;
    h.recorder.setFrameLimit(2);
    ASSERT_EQ(
        h.run.Prepare(h.Options({"--frame", "squx1,100", "--set", "squx1=t1:5,t2:5,am:200,a0:10",
                                 "--set", "noise=am:0", "--noise", "2", "--period", "5"})),
        kExitOk);
    EXPECT_EQ(h.w.Check1(2).Value, 1);
    h.run.Send();
    ASSERT_EQ(h.port.frames.size(), 2u);
    EXPECT_EQ(h.port.frames[0], (std::vector<std::uint8_t>{210, 100}));
    EXPECT_EQ(h.port.frames[1], (std::vector<std::uint8_t>{210, 100}));  // phase 5 is still high
}

// A rate the window does not list reaches the port as typed; the window's
// own list is not changed by it.
TEST(HeadlessRun, AnyBaudRateReachesThePort) {
    for (const char* baud : {"230400", "921600", "12345", "115200"}) {
        Headless h;
        ASSERT_EQ(h.run.Prepare(h.Options({"--baud", baud, "--stop-bits", "2"})), kExitOk);
        EXPECT_EQ(h.port.settings, std::string(baud) + ",n,8,2");
        EXPECT_TRUE(h.port.open);
    }
    Model fresh;
    EXPECT_EQ(fresh.Combo1(1).List.back(), "115200");
    EXPECT_EQ(fresh.Combo1(1).List.size(), 12u);
}

TEST(HeadlessRun, FailedAppliesNameTheOptionAndSendNothing) {
    const struct {
        std::vector<std::string> args;
        std::optional<std::string> refuseBaud;
        int code;
        const char* starts;
        const char* rule;
    } cases[] = {
        {{"--set", "sinx1=am:200,a0:100"},
         {},
         kExitBadInput,
         "--set \"sinx1=am:200,a0:100\": a0: ",
         "am + a0 must lie within 0..255 (信号设置错误，请修改！)"},
        {{"--set", "trix2=t1:2000000000,t2:2000000000"},
         {},
         kExitBadInput,
         "--set \"trix2=t1:2000000000,t2:2000000000\": t3: ",
         "t1 + t2 + t3 must fit in 32 bits"},
        {{"--baud", "230400"}, "230400", kExitBadInput, "--baud \"230400\": ", "refused"},
        {{"--device", "/dev/nothing"},
         {},
         kExitPortFailed,
         "--device \"/dev/nothing\": ",
         "cannot be opened: device missing (串口设置有误或者已被占用!)"},
    };
    for (const auto& c : cases) {
        Headless h;
        h.port.refuseBaud = c.refuseBaud;
        h.port.failOpen = c.args[0] == "--device";
        EXPECT_EQ(h.run.Prepare(h.Options(c.args)), c.code) << c.args[0];
        ASSERT_EQ(h.errors.size(), 1u) << h.AllErrors();
        EXPECT_EQ(h.errors[0].rfind(c.starts, 0), 0u) << h.errors[0];
        EXPECT_NE(h.errors[0].find(c.rule), std::string::npos) << h.errors[0];
        EXPECT_TRUE(h.port.frames.empty());
        EXPECT_FALSE(h.port.open);
    }
}

TEST(HeadlessRun, LostLineAndBrokenFrameHaveTheirCodes) {
    {
        Headless h;
        ASSERT_EQ(h.run.Prepare(h.Options({})), kExitOk);
        h.yielder.everyYield = [&] {
            if (h.clock.now == 25) h.port.open = false;  // the device vanished
        };
        EXPECT_EQ(h.run.Send(), kExitLineLost);
        EXPECT_NE(h.AllErrors().find("line was lost"), std::string::npos) << h.AllErrors();
        EXPECT_EQ(h.port.frames.size(), 2u);
    }
    {
        Headless h;
        ASSERT_EQ(h.run.Prepare(h.Options({"--frame", "7,sinx1", "--set", "sinx1=t1:0"})), kExitOk);
        EXPECT_EQ(h.run.Send(), kExitFrameError);
        ASSERT_EQ(h.errors.size(), 1u) << h.AllErrors();
        EXPECT_EQ(h.errors[0].rfind("--frame \"7,sinx1\": frame 1 could not be composed", 0), 0u)
            << h.errors[0];
        EXPECT_TRUE(h.port.frames.empty());
    }
}

TEST(HeadlessRun, StopRequestEndsAfterTheFrameUnderWay) {
    Headless h;
    ASSERT_EQ(h.run.Prepare(h.Options({})), kExitOk);
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

// A line that takes nothing: the frame under way waits in Output until it
// is given up; it is then counted as dropped, not reported as a lost line.
struct StuckComm : testing::FakeComm {
    Model* w = nullptr;
    int stuckFrom = 1;  // the first frame that never leaves
    int writes = 0;
    std::size_t Output(std::span<const std::uint8_t> bytes) override {
        if (++writes >= stuckFrom) {
            while (open) w->yielder->YieldUntil(w->clock->Now() + 5);
            Raise(ErrorKind::Port, "port closed while waiting");
        }
        return FakeComm::Output(bytes);
    }
};

TEST(HeadlessRun, AFrameGivenUpAtAStopIsCountedAsDropped) {
    for (int stuckFrom : {1, 3}) {
        StuckComm stuck;
        Headless h;
        FrameRecorder recorder(h.w, stuck);
        HeadlessRun run{h.w, recorder, [&](const std::string& t) { h.errors.push_back(t); }};
        h.w.MSComm1 = &recorder;
        stuck.w = &h.w;
        stuck.stuckFrom = stuckFrom;
        ASSERT_EQ(run.Prepare(h.Options({})), kExitOk);
        h.yielder.everyYield = [&] {
            if (recorder.inOutput() && !recorder.abandoned()) recorder.AbandonFrameUnderWay();
        };
        EXPECT_EQ(run.Send(), kExitOk);
        EXPECT_EQ(recorder.dropped(), 1);
        EXPECT_EQ(recorder.frames(), stuckFrom - 1);
        EXPECT_FALSE(stuck.open);
        EXPECT_TRUE(h.errors.empty()) << h.AllErrors();
    }
}

// The frame waiting for the line when --seconds ends was never handed to
// it: it was not due within the run, and is not counted as undelivered.
TEST(HeadlessRun, AFrameNotHandedToTheLineAtTheTimeLimitIsNotDropped) {
    for (bool due : {true, false}) {
        StuckComm stuck;
        Headless h;
        FrameRecorder recorder(h.w, stuck);
        HeadlessRun run{h.w, recorder, [&](const std::string& t) { h.errors.push_back(t); }};
        h.w.MSComm1 = &recorder;
        stuck.w = &h.w;
        stuck.stuckFrom = 2;
        ASSERT_EQ(run.Prepare(h.Options({})), kExitOk);
        h.yielder.everyYield = [&] {
            if (recorder.inOutput() && !recorder.abandoned()) recorder.AbandonFrameUnderWay(due);
        };
        EXPECT_EQ(run.Send(), kExitOk);
        EXPECT_EQ(recorder.frames(), 1);
        EXPECT_EQ(recorder.dropped(), due ? 1 : 0) << "due " << due;
    }
}

// A log that takes this many bytes and then refuses, as a full disk does.
class FillingLog : public std::streambuf {
  public:
    explicit FillingLog(std::size_t room) : m_room(room) {}
    std::string text;

  protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        if (text.size() >= m_room) {
            errno = ENOSPC;
            return traits_type::eof();
        }
        text += static_cast<char>(c);
        return c;
    }

  private:
    std::size_t m_room;
};

// The first refused log write is reported at once, the run ends after the
// frame just sent (which stays sent), and Send says so; a log that cannot
// take its header sends nothing.
TEST(HeadlessRun, ALogThatCannotBeWrittenEndsTheRun) {
    const std::size_t header =
        std::string("frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3,slot4\n").size();
    const struct {
        std::size_t room;
        std::size_t framesSent;
        int code;
    } cases[] = {
        {0, 0, kExitLogFailed},
        {header + 50, 2, kExitOk},  // a line is about 40 bytes: the second one fails
    };
    for (const auto& c : cases) {
        Headless h;
        FillingLog buffer(c.room);
        std::ostream log(&buffer);
        std::vector<std::string> reported;
        h.recorder.setLog(&log);
        h.recorder.setFrameLimit(10);
        h.recorder.onLogFailed = [&](const std::string& reason) {
            reported.push_back(reason + " at " + std::to_string(h.port.frames.size()));
        };
        ASSERT_EQ(h.run.Prepare(h.Options({})), kExitOk);
        EXPECT_EQ(h.run.Send(), c.code) << c.room;
        EXPECT_TRUE(h.recorder.logFailed());
        EXPECT_EQ(h.port.frames.size(), c.framesSent) << c.room;
        ASSERT_EQ(reported.size(), 1u) << c.room;
        EXPECT_EQ(reported[0],
                  std::string(std::strerror(ENOSPC)) + " at " + std::to_string(c.framesSent));
    }
}

}  // namespace
}  // namespace kiv
