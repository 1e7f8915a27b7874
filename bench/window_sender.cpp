// The window sending, for the timing harness: the program's window, built
// and wired as the window's main builds it, offscreen, with the send loop
// started by a click on "开始发送!" and stopped after the requested number
// of frames. Usage: kiv_window_sender DEVICE PERIOD_MS FRAMES
#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/startup.h"
#include "cli/headless.h"
#include "gui/main_window.h"
#include "gui/qt_message_box.h"
#include "model/model.h"
#include "platform/qt_comm_control.h"
#include "platform/qt_yielder.h"
#include "platform/steady_millisecond_clock.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "signal/time_seeded_random.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: kiv_window_sender DEVICE PERIOD_MS FRAMES\n", stderr);
        return 2;
    }
    const std::string device = argv[1];
    const std::string period = argv[2];
    const long frames = std::strtol(argv[3], nullptr, 10);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    kiv::PortMap ports;
    ports.setDevice(1, device);
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
        model.autosendtext1.Text = period;
        kiv::Command7_Click(model);
        window.pushModel();
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
