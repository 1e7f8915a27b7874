#include "gui/line_monitor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <fstream>
#include <functional>
#include <sstream>

#include "gui/record_dialog.h"
#include "gui/setup_commands.h"
#include "gui/window_rig.h"
#include "serial/line_watch.h"
#include "support/child_process.h"

namespace kiv::testing {
namespace {

// The send page's slots and period, typed in and applied with "设置完毕!".
void ApplyPlan(WindowRig& rig, const std::vector<std::string>& slotTexts,
               const std::string& period) {
    for (int slot = 1; slot <= 10; ++slot) {
        const auto i = static_cast<std::size_t>(slot - 1);
        rig.type(ControlName("sendText1", slot),
                 i < slotTexts.size() ? QString::fromStdString(slotTexts[i]) : QString());
    }
    rig.type(QStringLiteral("autosendtext1"), QString::fromStdString(period));
    QTest::mouseClick(rig.find<QPushButton>(QStringLiteral("Command7")), Qt::LeftButton);
}

// A line of the figures beside the chart, as the page shows it.
QString Readout(LineMonitor* monitor, LineMonitor::ReadoutLine line) {
    auto* lines = monitor->findChild<ReadoutLines*>(QStringLiteral("monitorReadout"));
    return lines != nullptr ? lines->lines().value(line) : QStringLiteral("(no readout)");
}

void OpenPort(WindowRig& rig) {
    rig.selectPage(1);
    QTest::mouseClick(rig.find<QRadioButton>(QStringLiteral("Optionopen")), Qt::LeftButton);
    rig.selectPage(0);
}

struct PlanChangeCase {
    const char* name;
    std::vector<std::string> first;
    std::vector<std::string> second;  // applied while sending
    std::string secondPeriod;
    QStringList labels;  // of the second plan
};

// The chart holds exactly the bytes the port was given, frame by frame,
// before and after an apply that changed the plan while sending, with a
// mark where the change came into force.
TEST(LineMonitorTest, ChartHoldsTheBytesWrittenAcrossAPlanChange) {
    const PlanChangeCase cases[] = {
        {"a slot added",
         {"5", "6", "sinx1", "sinx2"},
         {"5", "6", "sinx1", "sinx2", "squx1"},
         "10",
         {"1: 5", "2: 6", "3: sinx1", "4: sinx2", "5: squx1"}},
        {"slots taken away", {"7", "trix1", "sinx3"}, {"trix2"}, "10", {"1: trix2"}},
        {"only the period", {"1", "sinx1"}, {"1", "sinx1"}, "5", {"1: 1", "2: sinx1"}},
    };
    for (const PlanChangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        ApplyPlan(rig, c.first, "10");
        OpenPort(rig);
        LineMonitor* monitor = rig.window->monitor();
        std::size_t framesAtChange = 0;
        Repeater driver(
            [&] {
                if (framesAtChange == 0 && rig.port.frames.size() >= 6) {
                    ApplyPlan(rig, c.second, c.secondPeriod);
                    framesAtChange = rig.port.frames.size();
                }
                if (framesAtChange == 0 || rig.port.frames.size() < framesAtChange + 6)
                    return false;
                QTest::mouseClick(rig.find<QPushButton>(QStringLiteral("pausesend")),
                                  Qt::LeftButton);
                return true;
            },
            [&] { rig.model.isSending = false; });
        rig.click(QStringLiteral("starsend"));
        ASSERT_FALSE(driver.gaveUp());
        monitor->look();

        const std::vector<ChartFrame> charted = monitor->chart()->frames();
        ASSERT_EQ(charted.size(), rig.port.frames.size());
        for (std::size_t i = 0; i < charted.size(); ++i) {
            const ChartFrame& f = charted[i];
            ASSERT_EQ(f.count, i + 1);
            ASSERT_EQ(std::vector<std::uint8_t>(f.bytes.begin(), f.bytes.begin() + f.length),
                      rig.port.frames[i])
                << "frame " << i + 1;
            if (i > 0) {
                ASSERT_GE(f.ms, charted[i - 1].ms);
            }
        }
        ASSERT_EQ(monitor->chart()->marks().size(), 1u);
        const double markMs = monitor->chart()->marks().front();
        // The mark lies between the last frame of the old plan and the first
        // of the new one, which the ring numbers from where the port saw it.
        EXPECT_LE(markMs, charted.back().ms);
        EXPECT_GE(markMs, charted.front().ms);
        EXPECT_EQ(monitor->chart()->labels(), c.labels);
        // The last frame, read out beside the chart.
        const std::vector<std::uint8_t>& last = rig.port.frames.back();
        QString decimal;
        for (std::uint8_t b : last) decimal += QString::number(b) + QLatin1Char(' ');
        EXPECT_EQ(Readout(monitor, LineMonitor::kLastDecimal),
                  QStringLiteral("末帧  ") + decimal.trimmed());
    }
}

// While the loop sends, the figures beside the chart are taken at a look
// and shown one line after each frame that follows, all of the frame that
// was newest at the look; once sending has ended a look shows them at once.
TEST(LineMonitorTest, WhileSendingTheFiguresFollowOneLinePerFrame) {
    WindowRig rig;
    LineMonitor* monitor = rig.window->monitor();
    FrameTap& tap = monitor->tap();
    const std::vector<std::uint8_t> looked = {1, 2, 250};
    const std::vector<std::uint8_t> later = {7, 8, 9};
    double now = 0;
    tap.setClock([&now] { return now; });
    rig.model.sendLoopActive = true;
    tap.BeginSending(rig.model);
    now = 10;
    tap.Record(rig.model, looked);
    monitor->look();

    const QString decimal = QStringLiteral("末帧  1 2 250");
    const QString hex = QStringLiteral("十六进制  01 02 FA");
    const QString rates = Readout(monitor, LineMonitor::kRates);
    const struct {
        QString decimal;
        QString hex;
        bool ratesShown;
    } afterFrames[] = {
        {QStringLiteral("末帧  "), QStringLiteral("十六进制  "), false},
        {decimal, QStringLiteral("十六进制  "), false},
        {decimal, hex, false},
        {decimal, hex, true},
        {decimal, hex, true},
    };
    for (std::size_t n = 0; n < std::size(afterFrames); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Readout(monitor, LineMonitor::kLastDecimal), afterFrames[n].decimal);
        EXPECT_EQ(Readout(monitor, LineMonitor::kLastHex), afterFrames[n].hex);
        EXPECT_EQ(Readout(monitor, LineMonitor::kRates) != rates, afterFrames[n].ratesShown);
        now += 1;
        tap.Record(rig.model, later);
        QCoreApplication::processEvents();
    }

    rig.model.sendLoopActive = false;
    tap.EndSending();
    monitor->look();
    EXPECT_EQ(Readout(monitor, LineMonitor::kLastDecimal), QStringLiteral("末帧  7 8 9"));
    EXPECT_EQ(Readout(monitor, LineMonitor::kLastHex), QStringLiteral("十六进制  07 08 09"));
}

// A frame in a format: the readout shows its parts apart, the chart only
// its slots, one trace per slot.
TEST(LineMonitorTest, AFrameInAFormatShowsItsPartsAndChartsItsSlots) {
    WindowRig rig;
    LineMonitor* monitor = rig.window->monitor();
    FrameTap& tap = monitor->tap();
    double now = 0;
    tap.setClock([&now] { return now; });
    tap.BeginSending(rig.model);
    FrameFormat format;
    format.header = {0x01, 0x03};
    format.checksum = Checksum::Crc16Modbus;
    const std::vector<std::uint8_t> request = {0x01, 0x03, 0x00, 0x0A, 0x00, 0x02, 0xE4, 0x09};
    now = 10;
    tap.Record(rig.model, request, PartsOf(format, 4));
    monitor->look();
    EXPECT_EQ(Readout(monitor, LineMonitor::kLastDecimal),
              QStringLiteral("末帧  1 3 | 0 10 0 2 | 228 9"));
    EXPECT_EQ(Readout(monitor, LineMonitor::kLastHex),
              QStringLiteral("十六进制  01 03 | 00 0A 00 02 | E4 09"));
    const auto charted = monitor->chart()->frames();
    ASSERT_FALSE(charted.empty());
    EXPECT_EQ(charted.back().length, 4);
    EXPECT_EQ(
        std::vector<std::uint8_t>(charted.back().bytes.begin(), charted.back().bytes.begin() + 4),
        (std::vector<std::uint8_t>{0, 10, 0, 2}));
}

// Choosing the monitor leaves the program's pages as they were, and the
// program can still bring its pages forward.
TEST(LineMonitorTest, TheMonitorIsAPageOfTheWindowsOwn) {
    WindowRig rig;
    QTabWidget* tabs = rig.window->tabs();
    ASSERT_EQ(tabs->count(), tab::kMonitor + 1);
    EXPECT_EQ(tabs->tabText(tab::kMonitor), QStringLiteral("线路监视"));
    rig.selectPage(2);
    rig.selectPage(tab::kMonitor);
    rig.window->pushModel();
    EXPECT_EQ(tabs->currentIndex(), tab::kMonitor);
    EXPECT_EQ(rig.model.Tabmain.SelectedItem, 3);
    EXPECT_EQ(FrontPage(rig.model), 2);
    // A handler that brings a page forward wins over the monitor.
    rig.window->run([](Model& m) { BringToFront(m, 0); });
    EXPECT_EQ(tabs->currentIndex(), 0);
}

// A plan the port's rate (9600 baud, 8 data bits, no parity, 1 stop bit
// after start-up) cannot carry is named in one red line on the send page
// and on the monitor, from the apply on; one it can carry hides the line.
TEST(LineMonitorTest, ATooSlowLineIsNamedOnBothPages) {
    const struct {
        const char* period;
        std::vector<std::string> slotTexts;
        const char* warning;  // "" for none
    } cases[] = {
        {"10", {"5", "6", "sinx1", "sinx2"}, ""},
        {"5", {"5", "6", "sinx1", "sinx2"}, ""},
        {"4", {"5", "6", "sinx1", "sinx2"}, "需要至少 10000 波特"},
        {"1", {"5", "6", "sinx1", "sinx2"}, "需要至少 40000 波特"},
        {"10", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}, "需要至少 10000 波特"},
        {"11", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}, ""},
    };
    WindowRig rig;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.period) + " ms, " + std::to_string(c.slotTexts.size()) +
                     " bytes");
        ApplyPlan(rig, c.slotTexts, c.period);
        for (const char* name : {"capacityWarning", "monitorCapacity"}) {
            auto* line = rig.find<QLabel>(QString::fromLatin1(name));
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->text(), QString::fromUtf8(c.warning)) << name;
            EXPECT_EQ(line->isHidden(), *c.warning == '\0') << name;
        }
    }
}

// A file that cannot be written ends the recording with a red line that
// says why; the button offers to record again.
TEST(LineMonitorTest, AnUnwritableRecordingIsNamedInRed) {
    WindowRig rig;
    rig.selectPage(tab::kMonitor);
    rig.click(QStringLiteral("monitorRecord"));
    auto* dialog = rig.find<QFileDialog>(QStringLiteral("monitorRecordDialog"));
    ASSERT_NE(dialog, nullptr);
    dialog->selectFile(QStringLiteral("/nonexistent-dir/recording.csv"));
    QMetaObject::invokeMethod(dialog, "accept");
    EXPECT_FALSE(rig.window->monitor()->tap().recording());
    auto* state = rig.find<QLabel>(QStringLiteral("monitorRecordFailure"));
    EXPECT_TRUE(state->text().startsWith(QStringLiteral("记录已停止：")))
        << state->text().toStdString();
    EXPECT_GT(state->text().size(), 6);
    EXPECT_TRUE(state->styleSheet().contains(QStringLiteral("#b00000")));
    EXPECT_EQ(rig.find<QPushButton>(QStringLiteral("monitorRecord"))->text(),
              QStringLiteral("开始记录"));
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A log line without its two times (ms since start, wall clock).
std::string WithoutTimes(const std::string& line) {
    std::stringstream in(line);
    std::string field;
    std::string kept;
    for (int i = 0; std::getline(in, field, ','); ++i) {
        if (i == 1 || i == 2) continue;
        kept += field + ",";
    }
    return kept;
}

// The window's recording and kiv-cli's --log of the same setup are the same
// file apart from the times.
TEST(LineMonitorTest, RecordingAgreesWithTheCliLog) {
    constexpr int kFrames = 12;
    const std::string dir = ::testing::TempDir() + std::to_string(::getpid());
    const std::string cliLog = dir + "-cli.csv";
    const std::string windowLog = dir + "-window.csv";

    ChildProcess cli(KIV_CLI_PATH, {"--frame", "5,6,sinx1,sinx2", "--period", "10", "--frames",
                                    std::to_string(kFrames), "--log", cliLog});
    const std::string said = cli.ReadLine();
    const std::string path = said.substr(said.rfind(' ') + 1);
    LineReader line(path);
    ASSERT_TRUE(line.ok()) << said;
    line.Read(kFrames * 4);
    ASSERT_EQ(cli.Wait(), 0) << cli.errors();

    WindowRig rig;
    ApplyPlan(rig, {"5", "6", "sinx1", "sinx2"}, "10");
    OpenPort(rig);
    rig.selectPage(tab::kMonitor);
    rig.click(QStringLiteral("monitorRecord"));
    auto* dialog = rig.find<QFileDialog>(QStringLiteral("monitorRecordDialog"));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(dialog->isVisible());
    dialog->selectFile(QString::fromStdString(windowLog));
    QMetaObject::invokeMethod(dialog, "accept");
    ASSERT_TRUE(rig.window->monitor()->tap().recording());
    EXPECT_EQ(rig.find<QPushButton>(QStringLiteral("monitorRecord"))->text(),
              QStringLiteral("停止记录"));

    rig.selectPage(0);
    Repeater stop(
        [&] {
            if (rig.port.frames.size() < kFrames) return false;
            rig.model.isSending = false;
            return true;
        },
        [&] { rig.model.isSending = false; });
    rig.click(QStringLiteral("starsend"));
    ASSERT_FALSE(stop.gaveUp());
    rig.selectPage(tab::kMonitor);
    rig.click(QStringLiteral("monitorRecord"));
    EXPECT_FALSE(rig.window->monitor()->tap().recording());

    const std::vector<std::string> fromCli = Lines(cliLog);
    const std::vector<std::string> fromWindow = Lines(windowLog);
    ASSERT_EQ(fromCli.size(), kFrames + 1u);
    ASSERT_GE(fromWindow.size(), fromCli.size());
    // The recording has a column for each of the ten slots, empty where the
    // plan has none; kiv-cli's log, whose plan never changes, only its own.
    EXPECT_EQ(fromWindow[0], fromCli[0] + ",slot5,slot6,slot7,slot8,slot9,slot10");
    for (std::size_t i = 1; i < fromCli.size(); ++i)
        EXPECT_EQ(WithoutTimes(fromWindow[i]), WithoutTimes(fromCli[i] + ",,,,,,")) << "line " << i;
    std::remove(cliLog.c_str());
    std::remove(windowLog.c_str());
}

// A port whose line brings back whatever the test puts into it.
class WatchedComm : public FakeComm, public LineWatch {
  public:
    LineWatch* Watch() override { return this; }
    const ArrivedStore& Arrived() override { return store; }
    std::int64_t BytesQueued() override { return queued; }
    ArrivedStore store;
    std::int64_t queued = 0;
};

// Frames taken back (the port dropped them at a reopen) leave the chart
// and its marks; the frames that follow take their numbers, and the chart
// holds exactly what left.
TEST(LineMonitorTest, TheChartLetsGoOfFramesTakenBack) {
    const struct {
        const char* name;
        int before, takenBack, after;
        bool planChangeInTakenBack;  // a plan mark among the frames taken back
        std::size_t marks;
    } cases[] = {
        {"a few frames", 10, 3, 4, false, 0},
        {"all of them", 5, 5, 2, false, 0},
        {"none", 6, 0, 2, false, 0},
        {"with the plan they began", 10, 3, 4, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        LineMonitor* monitor = rig.window->monitor();
        FrameTap& tap = monitor->tap();
        tap.BeginSending(rig.model);
        std::vector<std::vector<std::uint8_t>> left;
        for (int i = 0; i < c.before; ++i) {
            if (c.planChangeInTakenBack && i == c.before - c.takenBack + 1)
                rig.model.sendPeriod += 1;  // an apply of a new period
            const std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(i), 1};
            tap.Record(rig.model, frame);
            left.push_back(frame);
            if (i % 3 == 0) monitor->look();
        }
        monitor->look();
        tap.TakeBack(static_cast<std::uint64_t>(c.takenBack));
        left.resize(left.size() - static_cast<std::size_t>(c.takenBack));
        for (int i = 0; i < c.after; ++i) {
            const std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(100 + i), 2};
            tap.Record(rig.model, frame);
            left.push_back(frame);
        }
        monitor->look();
        const std::vector<ChartFrame> charted = monitor->chart()->frames();
        ASSERT_EQ(charted.size(), left.size());
        for (std::size_t i = 0; i < charted.size(); ++i) {
            EXPECT_EQ(charted[i].count, i + 1);
            EXPECT_EQ(std::vector<std::uint8_t>(charted[i].bytes.begin(),
                                                charted[i].bytes.begin() + charted[i].length),
                      left[i])
                << i;
        }
        // A plan that began among the frames taken back is marked again
        // with the first frame of it that left.
        EXPECT_EQ(monitor->chart()->marks().size(),
                  c.planChangeInTakenBack && c.after > 0 ? 1u : c.marks);
        tap.EndSending();
    }
}

// A line that stalls while sending goes on: no frame leaves, the bytes
// wait. The figures follow the stall within a few of the page's ticks,
// without a frame to wait for.
TEST(LineMonitorTest, TheFiguresFollowAStalledLine) {
    const struct {
        const char* name;
        double stallMs;
        std::int64_t waiting;
        const char* rate;
    } cases[] = {
        {"stalled 8 s", 8000, 4000, "每秒 0.0 帧"},
        {"stalled half a second", 500, 3770, "每秒 500.0 帧"},
        {"stalled, nothing waiting", 8000, 0, "每秒 0.0 帧"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig{WindowRig::Unstarted{}};
        WatchedComm port;
        rig.Start(port);
        LineMonitor* monitor = rig.window->monitor();
        FrameTap& tap = monitor->tap();
        double now = 0;
        tap.setClock([&now] { return now; });
        rig.model.sendLoopActive = true;
        tap.BeginSending(rig.model);
        const std::vector<std::uint8_t> frame = {1, 2, 3};
        // A second at 1 ms, then the line stops taking frames.
        for (int i = 0; i < 1000; ++i) {
            now += 1;
            tap.Record(rig.model, frame);
        }
        monitor->look();
        now += c.stallMs;
        port.queued = c.waiting;
        const QString waiting = QStringLiteral("待发 %1 字节").arg(c.waiting);
        for (int tick = 0; tick < 10 && !Readout(monitor, LineMonitor::kRates).contains(waiting);
             ++tick)
            monitor->tick();
        const QString rates = Readout(monitor, LineMonitor::kRates);
        EXPECT_TRUE(rates.startsWith(QString::fromUtf8(c.rate))) << rates.toStdString();
        EXPECT_TRUE(rates.contains(waiting)) << rates.toStdString();
        rig.model.sendLoopActive = false;
    }
}

// The loopback count shown: frames alike and different, and the frames
// and bytes that went missing or came in addition, once there are any.
TEST(LineMonitorTest, TheLoopbackFiguresNameMissedAndExtraBytes) {
    const struct {
        const char* name;
        std::vector<std::vector<std::uint8_t>> back;  // what came back, frame by frame
        const char* shown;                            // the end of the rates line
    } cases[] = {
        {"nothing back", {}, "字节"},
        {"all back", {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, "回环 相同 3 不同 0"},
        {"a byte lost", {{1, 2, 3}, {4, 6}, {7, 8, 9}}, "回环 相同 2 不同 1 缺 1 字节"},
        {"a byte added", {{1, 2, 3}, {4, 5, 0, 6}, {7, 8, 9}}, "回环 相同 2 不同 1 多 1 字节"},
        {"bytes and no frame",
         {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {9, 9}},
         "回环 相同 3 不同 0 多 2 字节"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig{WindowRig::Unstarted{}};
        WatchedComm port;
        rig.Start(port);
        LineMonitor* monitor = rig.window->monitor();
        FrameTap& tap = monitor->tap();
        tap.BeginSending(rig.model);
        monitor->look();
        for (const auto& frame :
             std::vector<std::vector<std::uint8_t>>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}})
            tap.Record(rig.model, frame);
        double ms = 0;
        for (const auto& bytes : c.back) port.store.Add(ms += 1, bytes);
        tap.EndSending();
        monitor->look();
        const QString rates = Readout(monitor, LineMonitor::kRates);
        EXPECT_TRUE(rates.endsWith(QString::fromUtf8(c.shown))) << rates.toStdString();
    }
}

// The lines of arrived bytes as the page shows them: the bytes of each,
// after the time it starts with.
std::vector<std::vector<int>> ArrivedLines(WindowRig& rig) {
    static const QRegularExpression line(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  ((?:[0-9A-F]{2} ?)+)$"));
    std::vector<std::vector<int>> lines;
    const QString shown = rig.find<QPlainTextEdit>(QStringLiteral("monitorArrived"))->toPlainText();
    for (const QString& text : shown.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(text);
        EXPECT_TRUE(m.hasMatch()) << text.toStdString();
        std::vector<int> bytes;
        for (const QString& hex : m.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts))
            bytes.push_back(hex.toInt(nullptr, 16));
        lines.push_back(bytes);
    }
    return lines;
}

// Bytes that come back are shown sixteen to a line, however the line
// delivers them and whenever the page looks; the page keeps the newest
// lines.
TEST(LineMonitorTest, ArrivedBytesComeSixteenToALine) {
    const struct {
        const char* name;
        std::vector<std::vector<int>> looks;  // chunk sizes arrived before each look
    } cases[] = {
        {"one short chunk", {{3}}},
        {"a line and a half at once", {{24}}},
        {"chunks across lines and looks", {{5}, {30}, {5}}},
        {"whole lines", {{16}, {16}}},
        {"many chunks in one look", {{1, 1, 1, 20, 7, 2}}},
        {"more than the page keeps", {{16 * LineMonitor::kArrivedLines + 40}, {9}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig{WindowRig::Unstarted{}};
        WatchedComm port;
        rig.Start(port);
        LineMonitor* monitor = rig.window->monitor();
        std::vector<int> sent;
        double ms = 0;
        for (const std::vector<int>& look : c.looks) {
            for (const int size : look) {
                std::vector<std::uint8_t> chunk;
                for (int i = 0; i < size; ++i) {
                    chunk.push_back(static_cast<std::uint8_t>((sent.size() * 7 + 3) % 256));
                    sent.push_back(chunk.back());
                }
                port.store.Add(ms += 1, chunk);
            }
            monitor->look();
        }
        const std::vector<std::vector<int>> lines = ArrivedLines(rig);
        ASSERT_FALSE(lines.empty());
        EXPECT_LE(lines.size(), static_cast<std::size_t>(LineMonitor::kArrivedLines));
        std::vector<int> shown;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            // Every line full but the last.
            if (i + 1 < lines.size()) {
                EXPECT_EQ(lines[i].size(), 16u) << "line " << i;
            }
            EXPECT_LE(lines[i].size(), 16u) << "line " << i;
            shown.insert(shown.end(), lines[i].begin(), lines[i].end());
        }
        // The newest bytes, in order, none lost or doubled.
        ASSERT_LE(shown.size(), sent.size());
        EXPECT_EQ(shown, std::vector<int>(sent.end() - static_cast<std::ptrdiff_t>(shown.size()),
                                          sent.end()));
        EXPECT_EQ(lines.back().size(), sent.size() % 16 == 0 ? 16u : sent.size() % 16);
    }
}

// The monitor opens in a window of its own, which the user sizes while the
// main window keeps its size; it goes on looking there whichever page the
// main window shows, and closing it brings it back to its page.
TEST(LineMonitorTest, TheMonitorOpensInAWindowOfItsOwn) {
    WindowRig rig;
    LineMonitor* monitor = rig.window->monitor();
    rig.selectPage(tab::kMonitor);
    const QSize mainSize = rig.window->size();
    const QSize chartOnPage = monitor->chart()->size();
    rig.click(QStringLiteral("monitorDetach"));
    QWidget* own = monitor->ownWindow();
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(monitor->detached());
    EXPECT_TRUE(own->isWindow());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(own));
    EXPECT_EQ(monitor->chart()->window(), own);
    EXPECT_LT(own->minimumSize().width(), own->maximumSize().width());
    own->resize(chartOnPage.width() + 600, chartOnPage.height() + 600);
    QTRY_VERIFY_WITH_TIMEOUT(monitor->chart()->height() > chartOnPage.height() + 300, 10000);
    EXPECT_GT(monitor->chart()->plotRect().height(), chartOnPage.height() + 300);
    EXPECT_EQ(rig.window->size(), mainSize);

    // The main window on another page: frames sent still reach the chart.
    rig.selectPage(0);
    EXPECT_TRUE(own->isVisible());
    FrameTap& tap = monitor->tap();
    tap.BeginSending(rig.model);
    tap.Record(rig.model, std::vector<std::uint8_t>{4, 5, 6});
    QTRY_COMPARE_WITH_TIMEOUT(monitor->chart()->frames().size(), std::size_t{1}, 10000);

    own->close();
    EXPECT_FALSE(monitor->detached());
    EXPECT_FALSE(own->isVisible());
    EXPECT_EQ(monitor->chart()->window(), rig.window);
    rig.selectPage(tab::kMonitor);
    EXPECT_TRUE(monitor->chart()->isVisible());
    EXPECT_EQ(rig.window->size(), mainSize);
    // And out again, at the size it was given.
    rig.click(QStringLiteral("monitorDetach"));
    EXPECT_TRUE(monitor->detached());
    EXPECT_GT(monitor->ownWindow()->height(), chartOnPage.height() + 300);
    rig.click(QStringLiteral("monitorDetach"));
    EXPECT_FALSE(monitor->detached());
}

// The file a recording goes to gets ".csv" when its name has none, unless
// the name is that of something there that is no regular file: that very
// name is then refused, not another written in its place.
TEST(LineMonitorTest, ARecordingGetsCsvOnlyWhereTheNameIsNoOtherFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe"))).constData(), 0600),
              0);
    QFile regular(dir.filePath(QStringLiteral("data")));
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
    regular.close();
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), dir.filePath(QStringLiteral("full"))));
    const struct {
        const char* name;
        QString typed;
        QString recordsTo;  // empty: refused
    } cases[] = {
        {"a new name", dir.filePath(QStringLiteral("run")),
         dir.filePath(QStringLiteral("run.csv"))},
        {"a name with its suffix", dir.filePath(QStringLiteral("run.txt")),
         dir.filePath(QStringLiteral("run.txt"))},
        {"a regular file without a suffix", dir.filePath(QStringLiteral("data")),
         dir.filePath(QStringLiteral("data.csv"))},
        {"a device", QStringLiteral("/dev/full"), QString()},
        {"a link to a device", dir.filePath(QStringLiteral("full")), QString()},
        {"a pipe", dir.filePath(QStringLiteral("pipe")), QString()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        rig.selectPage(tab::kMonitor);
        rig.click(QStringLiteral("monitorRecord"));
        auto* dialog = rig.find<QFileDialog>(QStringLiteral("monitorRecordDialog"));
        ASSERT_NE(dialog, nullptr);
        // What is replaced is the case's point, not the question whether to.
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
        dialog->selectFile(c.typed);
        QMetaObject::invokeMethod(dialog, "accept");
        LineMonitor* monitor = rig.window->monitor();
        auto* failure = rig.find<QLabel>(QStringLiteral("monitorRecordFailure"));
        if (c.recordsTo.isEmpty()) {
            EXPECT_FALSE(monitor->tap().recording());
            EXPECT_TRUE(failure->toolTip().contains(c.typed)) << failure->toolTip().toStdString();
            EXPECT_FALSE(failure->toolTip().contains(c.typed + QStringLiteral(".csv")))
                << failure->toolTip().toStdString();
            EXPECT_FALSE(QFileInfo::exists(c.typed + QStringLiteral(".csv")));
        } else {
            EXPECT_TRUE(monitor->tap().recording()) << failure->toolTip().toStdString();
            EXPECT_EQ(QString::fromStdString(monitor->tap().recordingPath()), c.recordsTo);
            monitor->tap().StopRecording();
        }
    }
}

// The window's file dialogs list sizes, kinds and times in Chinese, as the
// rest of the window, whatever language the system speaks.
TEST(LineMonitorTest, TheFileDialogsListFilesInChinese) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile small(dir.filePath(QStringLiteral("small.csv")));
    ASSERT_TRUE(small.open(QIODevice::WriteOnly));
    small.write("0123456789");
    small.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const struct {
        const char* name;
        std::function<QFileDialog*(WindowRig&)> open;
    } cases[] = {
        {"the recording's",
         [](WindowRig& rig) {
             rig.selectPage(tab::kMonitor);
             rig.click(QStringLiteral("monitorRecord"));
             return rig.find<QFileDialog>(QStringLiteral("monitorRecordDialog"));
         }},
        {"the setup's",
         [&dir](WindowRig& rig) {
             rig.window->setups()->setSettingsFile(dir.filePath(QStringLiteral("settings.ini")));
             rig.window->setups()->saveWithDialog();
             return rig.find<QFileDialog>(QStringLiteral("setupDialog"));
         }},
    };
    // English: a word of Latin letters ("bytes", "Folder", "Dec", "AM").
    static const QRegularExpression english(QStringLiteral("[A-Za-z]{2,}"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig rig;
        QFileDialog* dialog = c.open(rig);
        ASSERT_NE(dialog, nullptr);
        dialog->setNameFilter(QStringLiteral("*"));
        dialog->setDirectory(dir.path());
        auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
        ASSERT_NE(view, nullptr);
        QAbstractItemModel* list = view->model();
        QTRY_VERIFY_WITH_TIMEOUT(list->rowCount(view->rootIndex()) == 2, 20000);
        for (int row = 0; row < 2; ++row) {
            const QModelIndex name = list->index(row, 0, view->rootIndex());
            const QString file = name.data().toString();
            SCOPED_TRACE(file.toStdString());
            // The time comes once the folder has been read.
            QTRY_VERIFY_WITH_TIMEOUT(!name.siblingAtColumn(3).data().toString().isEmpty(), 20000);
            const QString size = name.siblingAtColumn(1).data().toString();
            const QString kind = name.siblingAtColumn(2).data().toString();
            const QString when = name.siblingAtColumn(3).data().toString();
            EXPECT_FALSE(english.match(when).hasMatch()) << when.toStdString();
            if (file == QStringLiteral("sub")) {
                EXPECT_EQ(kind, QStringLiteral("文件夹"));
                EXPECT_TRUE(size.isEmpty()) << size.toStdString();
            } else {
                EXPECT_EQ(file, QStringLiteral("small.csv"));
                EXPECT_TRUE(size.contains(QStringLiteral("10"))) << size.toStdString();
                EXPECT_FALSE(english.match(size).hasMatch()) << size.toStdString();
            }
        }
        dialog->reject();
    }
}

}  // namespace
}  // namespace kiv::testing
