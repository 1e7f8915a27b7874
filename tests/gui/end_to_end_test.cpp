// The whole program on a real line: the window as main() builds it, the
// QSerialPort control with COM1 mapped to the slave of a pseudo-terminal,
// the Qt yield and the steady clock, driven only through its widgets in the
// order the instructions page gives. The test reads what arrives at the
// master end, as a device at the far end of the cable would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "gui/lamp_widget.h"
#include "gui/setup_commands.h"
#include "gui/tally_display.h"
#include "platform/port_map.h"
#include "platform/qt_comm_control.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "window_rig.h"

namespace kiv::testing {
namespace {

constexpr std::size_t kFrameBytes = 4;
// A byte no slot of these tests can produce (constants 3, 5, 6 and 250 give
// at most 0..8 and 245..255 with noise; the sines stay within 100..180): it
// marks the end of what the program sent.
constexpr std::uint8_t kEndMarker = 200;

// The default slots "sinx1" and "sinx2" at frames 0..49 of a 10 ms period,
// worked out by hand from their start-up parameters (period 100 ms, am 60,
// a0 100; period 500 ms, am 80, a0 100), with the program's pi 3.1415925.
// Fifty frames are one whole period of sinx2.
constexpr std::array<std::array<std::uint8_t, 2>, 50> kSines = {{
    {130, 140}, {148, 145}, {159, 150}, {159, 155}, {148, 159}, {130, 164}, {112, 167}, {101, 171},
    {101, 174}, {112, 176}, {130, 178}, {148, 179}, {159, 180}, {159, 180}, {148, 179}, {130, 178},
    {112, 176}, {101, 174}, {101, 171}, {112, 167}, {130, 164}, {148, 159}, {159, 155}, {159, 150},
    {148, 145}, {130, 140}, {112, 135}, {101, 130}, {101, 125}, {112, 121}, {130, 116}, {148, 113},
    {159, 109}, {159, 106}, {148, 104}, {130, 102}, {112, 101}, {101, 100}, {101, 100}, {112, 101},
    {130, 102}, {148, 104}, {159, 106}, {159, 109}, {148, 113}, {130, 116}, {112, 121}, {101, 125},
    {101, 130}, {112, 135},
}};

const QColor kGreen(0, 128, 0);
const QColor kBlack(0, 0, 0);

using Frame = std::vector<std::uint8_t>;

// The window on a pseudo-terminal, driven as a user would.
struct LineRig : PtyWindowRig {
    // The first step of the instructions page: apply the port choices and
    // open the port.
    void openPort() const {
        selectPage(1);
        ASSERT_NO_FATAL_FAILURE(click("Command1"));
        ASSERT_NO_FATAL_FAILURE(click("Optionopen"));
        ASSERT_TRUE(linePort->PortOpen());
        EXPECT_TRUE(find<QLabel>("Label50")->text().endsWith(QStringLiteral("OPEN!")));
        selectPage(0);
    }

    // Clicks start and, from inside the running loop, pause once `frames`
    // whole frames have arrived. Returns every frame the program sent.
    std::vector<Frame> sendAndPauseAfter(std::size_t frames) {
        std::vector<std::uint8_t> received;
        bool paused = false;
        Repeater pauser(
            [&] {
                const auto more = line.ReadAvailable();
                received.insert(received.end(), more.begin(), more.end());
                if (received.size() < frames * kFrameBytes) return false;
                click("pausesend");
                paused = true;
                return true;
            },
            [&] { model.isSending = false; }, 20000);

        click("starsend");

        EXPECT_TRUE(paused) << "the loop ended before " << frames << " frames arrived ("
                            << received.size() << " bytes)";
        EXPECT_FALSE(pauser.gaveUp());
        // The last frame may still wait in Qt's queue; let it reach the
        // line, then take everything up to a marker written behind it.
        for (int pass = 0; pass < 1000 && linePort->queuedBytes() > 0; ++pass) QTest::qWait(1);
        EXPECT_EQ(linePort->queuedBytes(), 0);
        const auto rest = line.ReadUntilMarker(kEndMarker);
        received.insert(received.end(), rest.begin(), rest.end());

        EXPECT_EQ(received.size() % kFrameBytes, 0u) << "a frame was cut";
        std::vector<Frame> out;
        for (std::size_t at = 0; at + kFrameBytes <= received.size(); at += kFrameBytes)
            out.emplace_back(received.begin() + static_cast<std::ptrdiff_t>(at),
                             received.begin() + static_cast<std::ptrdiff_t>(at + kFrameBytes));
        return out;
    }

    // The digits repaint at a screen's pace; the guard only keeps a broken
    // display from hanging the test.
    int shownDigits() const {
        auto* tally = window->findChild<TallyDisplay*>(QStringLiteral("Tally1"));
        for (int i = 0; i < 2000 && tally->intValue() != tally->value(); ++i) QTest::qWait(1);
        return tally->intValue();
    }

    void expectLamps(const QColor& colour) const {
        for (int i = 0; i <= 1; ++i) {
            auto* lamp = find<LampWidget>(ControlName("Shape1", i));
            ASSERT_NE(lamp, nullptr);
            EXPECT_EQ(lamp->color(), colour) << "Shape1(" << i << ")";
        }
    }
};

TEST(EndToEndTest, DefaultFramesReachTheLineAndTheWindowFollows) {
    LineRig rig;
    // Any message box would stop the run; answer it so the test can fail.
    BoxAnswerer answerer(QStringLiteral("取消"));
    ASSERT_NO_FATAL_FAILURE(rig.openPort());
    ASSERT_NO_FATAL_FAILURE(rig.click("Command7"));

    const std::vector<Frame> frames = rig.sendAndPauseAfter(12);

    ASSERT_GE(frames.size(), 12u);
    EXPECT_EQ(frames.size(), static_cast<std::size_t>(rig.model.sendCount))
        << "one frame on the line for every frame counted";
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(frames[n][0], 5);
        EXPECT_EQ(frames[n][1], 6);
        if (n < kSines.size()) {
            EXPECT_EQ(frames[n][2], kSines[n][0]);
            EXPECT_EQ(frames[n][3], kSines[n][1]);
        }
    }

    // Paused: green lamps, and the display shows the count.
    rig.expectLamps(kGreen);
    auto* tally = rig.find<TallyDisplay>("Tally1");
    EXPECT_EQ(tally->value(), rig.model.sendCount);
    EXPECT_EQ(rig.shownDigits(), static_cast<int>(frames.size()));

    rig.click("Command8");
    EXPECT_EQ(rig.model.sendCount, 0);
    EXPECT_EQ(rig.shownDigits(), 0);

    rig.selectPage(1);
    rig.click("Optionclose");
    EXPECT_FALSE(rig.linePort->PortOpen());
    rig.expectLamps(kBlack);
    EXPECT_TRUE(rig.find<QLabel>("Label50")->text().endsWith(QStringLiteral("CLOSE!")))
        << rig.find<QLabel>("Label50")->text().toStdString();
    EXPECT_TRUE(answerer.seen().empty()) << answerer.seen().front().text.toStdString();
}

TEST(EndToEndTest, NoiseStaysInItsBandOnTheTickedSlotsOnly) {
    LineRig rig;
    BoxAnswerer answerer(QStringLiteral("取消"));
    ASSERT_NO_FATAL_FAILURE(rig.openPort());
    rig.type("sendText1(1)", "250");
    rig.type("sendText1(2)", "3");
    ASSERT_NO_FATAL_FAILURE(rig.click("Command7"));
    // One slot ticked on the send page, the other on the noise page: both
    // rows of boxes act the same.
    rig.click("Check2(1)");
    rig.selectPage(5);
    rig.click("Check1(2)");
    rig.selectPage(0);
    ASSERT_EQ(rig.model.Check1(1).Value, 1);
    ASSERT_EQ(rig.model.Check2(2).Value, 1);

    const std::vector<Frame> frames = rig.sendAndPauseAfter(50);

    ASSERT_GE(frames.size(), 50u);
    EXPECT_EQ(frames.size(), static_cast<std::size_t>(rig.model.sendCount));
    // Noise of strength 10 moves a byte by at most 5 and is clamped to 0..255.
    std::set<int> first, second;
    for (std::size_t n = 0; n < frames.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_GE(frames[n][0], 245);
        EXPECT_LE(frames[n][1], 8);
        first.insert(frames[n][0]);
        second.insert(frames[n][1]);
        // The sines carry no noise: they are exactly the noiseless values.
        if (n < kSines.size()) {
            EXPECT_EQ(frames[n][2], kSines[n][0]);
            EXPECT_EQ(frames[n][3], kSines[n][1]);
        }
    }
    EXPECT_GT(first.size(), 1u) << "slot 1 carried no noise";
    EXPECT_GT(second.size(), 1u) << "slot 2 carried no noise";
    EXPECT_TRUE(answerer.seen().empty()) << answerer.seen().front().text.toStdString();
}

TEST(EndToEndTest, ASetupWrittenByKivCliGivesTheSameFramesInTheWindow) {
    const std::string file =
        ::testing::TempDir() + std::to_string(::getpid()) + "-kiv_e2e_setup.ini";
    {
        // Every value stays below the end marker: squx1 20/220, trix1
        // 100..160, sinx3 100..190.
        ChildProcess writer(
            KIV_CLI_PATH, {"--write-setup", file, "--frame", "9,squx1,trix1,sinx3", "--period", "5",
                           "--parity", "e", "--set", "squx1=t1:15,t2:5,am:200,a0:20", "--set",
                           "trix1=t1:10,t2:20,t3:5", "--set", "sinx3=t1:120,am:90"});
        ASSERT_EQ(writer.Wait(), 0) << writer.errors();
    }
    constexpr std::size_t kFrames = 40;

    std::vector<std::uint8_t> fromCli;
    {
        ChildProcess cli(KIV_CLI_PATH, {"--setup", file, "--frames", std::to_string(kFrames)});
        const std::string first = cli.ReadLine();
        const std::string prefix = "sending on ";
        ASSERT_EQ(first.rfind(prefix, 0), 0u) << first << cli.errors();
        LineReader reader(first.substr(prefix.size()));
        ASSERT_TRUE(reader.ok());
        fromCli = reader.Read(kFrames * kFrameBytes);
        EXPECT_EQ(cli.Wait(), 0) << cli.errors();
    }
    ASSERT_EQ(fromCli.size(), kFrames * kFrameBytes);

    LineRig rig;
    BoxAnswerer answerer(QStringLiteral("取消"));
    ASSERT_TRUE(rig.window->setups()->load(QString::fromStdString(file)));
    EXPECT_EQ(rig.find<QLineEdit>("sendText1(2)")->text(), QStringLiteral("squx1"));
    ASSERT_NO_FATAL_FAILURE(rig.openPort());
    EXPECT_TRUE(
        rig.find<QLabel>("Label50")->text().startsWith(QStringLiteral("COM1,9600,偶,8,1,")));
    const std::vector<Frame> frames = rig.sendAndPauseAfter(kFrames);
    ASSERT_GE(frames.size(), kFrames);
    std::vector<std::uint8_t> fromWindow;
    for (std::size_t n = 0; n < kFrames; ++n)
        fromWindow.insert(fromWindow.end(), frames[n].begin(), frames[n].end());
    EXPECT_EQ(fromWindow, fromCli);
    // The frames are the setup's, not the start-up page's.
    EXPECT_EQ(fromWindow[0], 9);
    EXPECT_EQ(fromWindow[1], 220);
    EXPECT_TRUE(answerer.seen().empty()) << answerer.seen().front().text.toStdString();
}

}  // namespace
}  // namespace kiv::testing
