#include "gui/line_monitor.h"

#include <unistd.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <sstream>

#include "gui/window_rig.h"
#include "support/child_process.h"

namespace kiv::testing {
namespace {

// The send page's slots and period, typed in and applied with "设置完毕!".
void ApplyPlan(WindowRig& rig, const std::vector<std::string>& slotTexts,
               const std::string& period) {
    for (int slot = 1; slot <= 10; ++slot) {
        const auto i = static_cast<std::size_t>(slot - 1);
        auto* box = rig.find<QLineEdit>(ControlName("sendText1", slot));
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        if (i < slotTexts.size()) QTest::keyClicks(box, QString::fromStdString(slotTexts[i]));
    }
    auto* periodBox = rig.find<QLineEdit>(QStringLiteral("autosendtext1"));
    periodBox->selectAll();
    QTest::keyClick(periodBox, Qt::Key_Delete);
    QTest::keyClicks(periodBox, QString::fromStdString(period));
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
    EXPECT_EQ(fromWindow[0], fromCli[0]);
    for (std::size_t i = 1; i < fromCli.size(); ++i)
        EXPECT_EQ(WithoutTimes(fromWindow[i]), WithoutTimes(fromCli[i])) << "line " << i;
    std::remove(cliLog.c_str());
    std::remove(windowLog.c_str());
}

}  // namespace
}  // namespace kiv::testing
