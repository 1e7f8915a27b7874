#include "sending/frame_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/startup.h"
#include "fakes.h"
#include "model/texts.h"
#include "sending/frame_settings.h"
#include "sending/frame_tap.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"

namespace kiv {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct Folder {
    Folder() {
        char name[] = "/tmp/kiv-log-XXXXXX";
        path = mkdtemp(name);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    // Names in the folder other than the given ones: a stray temporary file.
    std::vector<std::string> Others(const std::vector<std::string>& known) const {
        std::vector<std::string> others;
        for (const auto& e : fs::directory_iterator(path)) {
            const std::string name = e.path().filename().string();
            if (std::find(known.begin(), known.end(), name) == known.end()) others.push_back(name);
        }
        return others;
    }
    fs::path path;
};

TEST(FrameLog, HeaderAndLines) {
    std::ostringstream out;
    FrameLog log(out);
    EXPECT_TRUE(log.WriteHeader(3));
    const std::uint8_t a[3] = {0, 128, 255};
    EXPECT_TRUE(log.WriteFrame(1, 0.0125, a));
    EXPECT_TRUE(log.WriteFrame(1000000, 123456.7894, std::span(a).first(1)));
    const auto lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3");
    const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    const std::regex first("1,0\\.013," + std::string(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)") +
                           ",0,128,255");
    EXPECT_TRUE(std::regex_match(lines[1], first)) << lines[1];
    EXPECT_EQ(lines[2].substr(0, 20), "1000000,123456.789,2");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 2), ",0");
    EXPECT_FALSE(log.failed());
}

// With a frame format the slot columns keep the slots' bytes and one more
// column holds the whole frame; a frame cut by the port shows what it took.
TEST(FrameLog, AFrameFormatAddsTheWholeFrameInHex) {
    FrameFormat format;
    format.header = {0x01, 0x03};
    format.checksum = Checksum::Crc16Modbus;
    const LogColumns columns = LogColumnsOf(4, format);
    EXPECT_TRUE(columns.wholeFrame);
    EXPECT_FALSE(LogColumnsOf(4, FrameFormat{}).wholeFrame);
    std::ostringstream out;
    FrameLog log(out);
    EXPECT_TRUE(log.WriteHeader(columns));
    const std::uint8_t request[8] = {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09};
    const FrameParts parts = PartsOf(format, 4);
    EXPECT_TRUE(log.WriteFrame(1, 0.0, request, parts));
    EXPECT_TRUE(log.WriteFrame(2, 1.0, std::span(request).first(3), parts));
    const auto lines = Lines(out.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3,slot4,frame_hex");
    EXPECT_EQ(lines[1].substr(lines[1].find("Z,")), "Z,0,10,0,2,01 03 00 0A 00 02 E4 09");
    EXPECT_EQ(lines[2].substr(lines[2].find("Z,")), "Z,0,01 03 00");
}

TEST(FrameLog, TheFirstRefusalIsKeptWithItsReason) {
    std::ofstream full("/dev/full");
    FrameLog log(full);
    // A stream buffers; the flush after each line meets the refusal.
    EXPECT_FALSE(log.WriteHeader(2));
    EXPECT_TRUE(log.failed());
    EXPECT_EQ(log.failure(), "No space left on device");
    const std::uint8_t b[1] = {1};
    EXPECT_FALSE(log.WriteFrame(1, 0.0, b));
    // The program names a full disk in its own words, in the window's
    // language, the system's after them.
    EXPECT_EQ(log.failureInWords(), "the disk is full (the system said: No space left on device)");
    SetTextLanguage(TextLanguage::Chinese);
    EXPECT_EQ(log.failureInWords(), "磁盘已满（系统提示：No space left on device）");
    SetTextLanguage(TextLanguage::English);
}

// Where a log may go: a new or regular file, or a link to one (which stays
// a link); never a device, a pipe or a folder. Nothing is left behind.
TEST(FrameLogFile, OpensOnlyOverRegularFiles) {
    enum Kind {
        Absent,
        Regular,
        LinkToRegular,
        LinkToNothing,
        Device,
        Pipe,
        Directory,
        NoFolder,
        ChineseName
    };
    const struct {
        Kind kind;
        const char* refusal;  // "" when the log opens
    } cases[] = {
        {Absent, ""},
        {Regular, ""},
        {LinkToRegular, ""},
        {LinkToNothing, ""},  // the link's target is made
        {Device, "is a device; a log is written only to a regular file"},
        {Pipe, "is a pipe; a log is written only to a regular file"},
        {Directory, "is a folder; a log is written only to a regular file"},
        {NoFolder, "No such file or directory"},
        {ChineseName, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Folder f;
        fs::path path = f.path / "log.csv";
        const fs::path target = f.path / "target.csv";
        switch (c.kind) {
            case Absent:
                break;
            case Regular:
                std::ofstream(path) << "an earlier log\nwith two lines\n";
                break;
            case LinkToRegular:
                std::ofstream(target) << "an earlier log\n";
                fs::create_symlink(target, path);
                break;
            case LinkToNothing:
                fs::create_symlink(target, path);
                break;
            case Device:
                path = "/dev/null";
                break;
            case Pipe:
                ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
                break;
            case Directory:
                fs::create_directory(path);
                break;
            case NoFolder:
                path = f.path / "missing" / "log.csv";
                break;
            case ChineseName:
                path = f.path / "记录.csv";
                break;
        }
        auto opened = OpenLogFile(path.string(), LogColumns{2});
        if (*c.refusal != '\0') {
            ASSERT_TRUE(std::holds_alternative<std::string>(opened));
            EXPECT_NE(std::get<std::string>(opened).find(c.refusal), std::string::npos)
                << std::get<std::string>(opened);
            EXPECT_TRUE(f.Others({"log.csv"}).empty());
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<std::unique_ptr<FrameLog>>(opened))
            << std::get<std::string>(opened);
        const std::uint8_t b[2] = {7, 8};
        EXPECT_TRUE(std::get<std::unique_ptr<FrameLog>>(opened)->WriteFrame(1, 0.5, b));
        const fs::path written = c.kind == LinkToRegular || c.kind == LinkToNothing ? target : path;
        const auto lines = Lines(ReadAll(written));
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], "frame,ms_since_start,wall_clock_utc,slot1,slot2");
        EXPECT_EQ(lines[1].substr(0, 8), "1,0.500,");
        EXPECT_EQ(lines[1].substr(lines[1].size() - 4), ",7,8");
        if (c.kind == LinkToRegular || c.kind == LinkToNothing) {
            EXPECT_TRUE(fs::is_symlink(path));
        }
        EXPECT_TRUE(f.Others({"log.csv", "target.csv", "记录.csv"}).empty());
    }
}

// A recording from the window: the same lines kiv-cli's log has for the
// frames the port took, and a file that refuses a write ends the recording
// with the reason while sending goes on.
struct Recording : testing::Rig {
    Recording() {
        StartUp(w);
        Optionopen_Click(w);
        Command7_Click(w);
        w.frameTap = &tap;
    }
    void Send(std::size_t frames) {
        const std::size_t until = port.frames.size() + frames;
        yielder.everyYield = [this, until] {
            if (port.frames.size() + 1 >= until) pausesend_Click(w);
        };
        starsend_Click(w);
    }
    FrameTap tap;
    Folder folder;
};

TEST(FrameTapRecording, WritesTheFramesThePortTook) {
    Recording r;
    const fs::path path = r.folder.path / "rec.csv";
    ASSERT_EQ(r.tap.StartRecording(path.string(), r.w), "");
    EXPECT_TRUE(r.tap.recording());
    r.Send(5);
    r.tap.StopRecording();
    r.Send(2);  // not recorded
    const auto lines = Lines(ReadAll(path));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0],
              "frame,ms_since_start,wall_clock_utc,slot1,slot2,slot3,slot4,slot5,slot6,slot7,"
              "slot8,slot9,slot10");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto& bytes = r.port.frames[i - 1];
        std::string tail;
        for (auto b : bytes) tail += "," + std::to_string(b);
        tail += std::string(10 - bytes.size(), ',');
        EXPECT_EQ(lines[i].substr(0, lines[i].find(',')), std::to_string(i));
        EXPECT_EQ(lines[i].substr(lines[i].size() - tail.size()), tail) << lines[i];
    }
}

TEST(FrameTapRecording, AFileThatRefusesStopsTheRecordingNotTheSending) {
    Recording r;
    const fs::path path = r.folder.path / "rec.csv";
    ASSERT_EQ(r.tap.StartRecording(path.string(), r.w), "");
    std::vector<std::string> reasons;
    r.tap.onRecordingFailed = [&](const std::string& reason) { reasons.push_back(reason); };
    // The file may grow no further than what it holds now.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = static_cast<rlim_t>(fs::file_size(path));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    r.Send(4);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(r.port.frames.size(), 4u);
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_EQ(reasons[0],
              "the file has reached the largest size allowed (the system said: File too large)");
    EXPECT_FALSE(r.tap.recording());
    EXPECT_EQ(r.tap.frames().total(), 4u);
}

// The cells of a CSV line.
std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells(1);
    for (const char c : line) {
        if (c == ',')
            cells.emplace_back();
        else
            cells.back() += c;
    }
    return cells;
}

// A file that fills in the middle of a row keeps whole rows only, and says
// why in the program's words, whatever part of the row it took.
TEST(FrameTapRecording, AFileThatFillsMidRowKeepsWholeRowsOnly) {
    // Every row is longer than 30 bytes: each of these cuts one.
    for (const std::uint64_t room : {1u, 5u, 30u}) {
        SCOPED_TRACE(room);
        Recording r;
        const fs::path path = r.folder.path / "rec.csv";
        ASSERT_EQ(r.tap.StartRecording(path.string(), r.w), "");
        std::vector<std::string> reasons;
        r.tap.onRecordingFailed = [&](const std::string& reason) { reasons.push_back(reason); };
        r.Send(2);
        const std::string before = ReadAll(path);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit saved = limit;
        limit.rlim_cur = static_cast<rlim_t>(before.size() + room);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        r.Send(4);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        ASSERT_EQ(reasons.size(), 1u);
        EXPECT_NE(reasons[0].find("the file has reached the largest size allowed"),
                  std::string::npos)
            << reasons[0];
        EXPECT_NE(reasons[0].find("every row left is whole"), std::string::npos) << reasons[0];
        const std::string after = ReadAll(path);
        EXPECT_EQ(after, before);
        const auto lines = Lines(after);
        ASSERT_EQ(lines.size(), 3u);
        for (const auto& line : lines) EXPECT_EQ(Cells(line).size(), Cells(lines[0]).size());
    }
}

// A plan change while recording keeps every row to the header: one cell
// per slot of ten, empty where the plan has fewer, and the whole frame last
// when a frame format was on at the start.
TEST(FrameTapRecording, EveryRowKeepsToTheHeaderAcrossPlanChanges) {
    const struct {
        const char* name;
        bool format;
        std::vector<std::vector<const char*>> plans;
    } cases[] = {
        {"ten slots, then nine, then three",
         false,
         {{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
          {"1", "2", "3", "4", "5", "6", "7", "8", "9"},
          {"200", "0", "255"}}},
        {"one slot, then ten", false, {{"7"}, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}}},
        {"with a frame format", true, {{"1", "2", "3", "4"}, {"9", "8"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recording r;
        if (c.format) {
            r.w.frameHeader.Text = "AA 55";
            ASSERT_TRUE(ApplyFrameFormat(r.w));
        }
        const fs::path path = r.folder.path / "rec.csv";
        ASSERT_EQ(r.tap.StartRecording(path.string(), r.w), "");
        std::vector<std::size_t> slots;
        for (const auto& plan : c.plans) {
            for (int i = 1; i <= 10; ++i)
                r.w.sendText1(i).Text = i <= static_cast<int>(plan.size()) ? plan[i - 1] : "";
            ASSERT_TRUE(ApplySendSettings(r.w));
            r.Send(3);
            slots.insert(slots.end(), 3, plan.size());
        }
        r.tap.StopRecording();
        const auto lines = Lines(ReadAll(path));
        ASSERT_EQ(lines.size(), slots.size() + 1);
        const auto header = Cells(lines[0]);
        ASSERT_EQ(header.size(), 3u + 10u + (c.format ? 1u : 0u));
        EXPECT_EQ(header[12], "slot10");
        for (std::size_t row = 1; row < lines.size(); ++row) {
            const auto cells = Cells(lines[row]);
            ASSERT_EQ(cells.size(), header.size()) << lines[row];
            for (std::size_t s = 0; s < 10; ++s)
                EXPECT_EQ(cells[3 + s].empty(), s >= slots[row - 1]) << lines[row];
        }
    }
}

// Frames the port dropped from its queue when an apply opened it again
// never left: the ring and the recording hold exactly what reached the
// line, numbered without a gap.
TEST(FrameTapRecording, FramesDroppedFromThePortsQueueAreTakenBack) {
    const struct {
        std::size_t queued;    // frames waiting in the port's queue
        std::size_t reopenAt;  // the frame after which the port reopens
        bool recording;
    } cases[] = {
        {0, 10, true},  {1, 10, true},  {4, 10, true},
        {4, 10, false}, {20, 10, true},  // more queued than sent since the open: all of those
        {3, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.queued << " queued at " << c.reopenAt);
        Recording r;
        r.port.watched = true;
        r.port.queueDepth = c.queued;
        const fs::path path = r.folder.path / "rec.csv";
        if (c.recording) {
            ASSERT_EQ(r.tap.StartRecording(path.string(), r.w), "");
        }
        bool reopened = false;
        std::size_t outputs = 0;
        r.yielder.everyYield = [&] {
            if (r.port.outputs != static_cast<int>(outputs)) outputs = r.port.outputs;
            if (!reopened && outputs == c.reopenAt) {
                // What an apply of a new frame length does to the port.
                reopened = true;
                r.port.setPortOpen(false);
                r.port.setPortOpen(true);
            }
            if (outputs >= 20) pausesend_Click(r.w);
        };
        starsend_Click(r.w);
        r.tap.StopRecording();
        const std::size_t dropped = std::min(c.queued, c.reopenAt);
        EXPECT_EQ(r.port.droppedFrames, dropped);
        const SentFrames& ring = r.tap.frames();
        ASSERT_EQ(ring.total(), r.port.frames.size());
        for (std::uint64_t n = 1; n <= ring.total(); ++n) {
            const SentFrame* f = ring.Find(n);
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(std::vector<std::uint8_t>(f->Bytes().begin(), f->Bytes().end()),
                      r.port.frames[n - 1])
                << n;
        }
        if (!c.recording) continue;
        const auto lines = Lines(ReadAll(path));
        ASSERT_EQ(lines.size(), r.port.frames.size() + 1);
        for (std::size_t row = 1; row < lines.size(); ++row) {
            const auto cells = Cells(lines[row]);
            EXPECT_EQ(cells[0], std::to_string(row));
            EXPECT_EQ(cells[3], std::to_string(r.port.frames[row - 1][0])) << lines[row];
            // The ring names each frame's row, as the chart's readout does.
            EXPECT_EQ(ring.Find(row)->recorded, row);
        }
    }
}

TEST(FrameTapRecording, RefusedAtTheStart) {
    Recording r;
    EXPECT_NE(r.tap.StartRecording("/dev/null", r.w).find("is a device"), std::string::npos);
    EXPECT_FALSE(r.tap.recording());
}

}  // namespace
}  // namespace kiv
