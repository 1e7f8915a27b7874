// The window sending, for the timing harness: the program's window, built
// and wired as the window's main builds it, offscreen, with the send loop
// started by a click on "开始发送!" and stopped after the requested number
// of frames.
//
// Usage: kiv_window_sender DEVICE PERIOD_MS FRAMES [send|monitor [SLOTS [noise]]]
// The page in front while sending is "发送" (send) or "线路监视" (monitor).
// SLOTS slots (1..10, default 4) name the first signals of the table in turn
// ("5,6,sinx1,sinx2" is the default frame); with `noise`, every filled
// slot gets noise.
#include <QAbstractButton>
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/startup.h"
#include "cli/headless.h"
#include "gui/main_window.h"
#include "gui/qt_message_box.h"
#include "model/model.h"
#include "model/signal_table.h"
#include "platform/qt_comm_control.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "signal/noise_targets.h"
#include "signal/signal_params.h"
#include "signal/time_seeded_random.h"

namespace {

constexpr const char kUsage[] =
    "usage: kiv_window_sender DEVICE PERIOD_MS FRAMES [send|monitor [SLOTS [noise]]]\n";

struct Plan {
    std::string device;
    std::string period;
    long frames = 0;
    bool monitor = false;
    int slotCount = 0;  // 0: the default frame of four bytes
    bool noise = false;
};

bool Parse(int argc, char** argv, Plan& plan) {
    if (argc < 4 || argc > 7) return false;
    plan.device = argv[1];
    plan.period = argv[2];
    plan.frames = std::strtol(argv[3], nullptr, 10);
    if (argc > 4) {
        const std::string page = argv[4];
        if (page != "send" && page != "monitor") return false;
        plan.monitor = page == "monitor";
    }
    if (argc > 5) {
        plan.slotCount = static_cast<int>(std::strtol(argv[5], nullptr, 10));
        if (plan.slotCount < 1 || plan.slotCount > 10) return false;
    }
    if (argc > 6) {
        if (std::string(argv[6]) != "noise") return false;
        plan.noise = true;
    }
    return true;
}

// Fills the send page's slots the way a user types them, and ticks noise.
void FillSlots(kiv::Model& model, const Plan& plan) {
    if (plan.slotCount == 0) return;
    for (int slot = 1; slot <= kiv::kSlotCount; ++slot) {
        const auto& variable = kiv::kSignalVariables[static_cast<std::size_t>((slot - 1) % 9)];
        model.sendText1(slot).Text = slot <= plan.slotCount ? std::string(variable.name) : "";
    }
    if (!plan.noise) return;
    for (int slot = 1; slot <= plan.slotCount; ++slot) {
        model.Check1(slot).Value = 1;
        kiv::Check1_Click(model, slot);
    }
    kiv::Command6_Click(model);
}

}  // namespace

int main(int argc, char** argv) {
    Plan plan;
    if (!Parse(argc, argv, plan)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const long frames = plan.frames;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    kiv::PortMap ports;
    ports.setDevice(1, plan.device);
    kiv::Model model;
    kiv::SteadyMillisecondClock clock;
    kiv::QtYielder yielder;
    kiv::TimeSeededRandom random;
    kiv::QtCommControl port(ports);
    port.setYielder(&yielder, &clock);
    kiv::FrameRecorder recorder(model, port);
    recorder.setFrameLimit(frames);
    model.clock = &clock;
    model.yielder = &yielder;
    model.random = &random;
    model.MSComm1 = &recorder;

    kiv::MainWindow window(model);
    kiv::QtMessageBox messageBox(&window);
    model.messageBox = &messageBox;
    yielder.setBeforeYield([&window] { window.pushModel(); });
    kiv::StartUp(model);
    window.pushModel();
    window.show();

    int status = 1;
    QTimer::singleShot(0, &window, [&] {
        // The user's steps before sending; the click itself goes through the
        // button, so the loop runs inside the window's handler as it does
        // for a user.
        kiv::Optionopen_Click(model);
        FillSlots(model, plan);
        model.autosendtext1.Text = plan.period;
        kiv::Command7_Click(model);
        window.pushModel();
        if (plan.monitor) window.tabs()->setCurrentIndex(window.tabs()->count() - 1);
        auto* start = window.findChild<QAbstractButton*>(QStringLiteral("starsend"));
        if (start != nullptr && model.MSComm1->PortOpen()) {
            start->click();
            status = recorder.frames() == frames ? 0 : 1;
        }
        kiv::Optionclose_Click(model);
        QCoreApplication::quit();
    });
    QApplication::exec();
    if (status != 0)
        std::fprintf(stderr, "kiv_window_sender: sent %ld frames\n", recorder.frames());
    return status;
}
