// Wiring only: the window model, the platform services, the serial port and
// the window on screen.
#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <cstdio>

#include "app/real_time_services.h"
#include "app/startup.h"
#include "gui/main_window.h"
#include "gui/qt_message_box.h"
#include "gui/setup_commands.h"
#include "model/model.h"
#include "platform/assigned_port_control.h"
#include "platform/port_directory.h"
#include "platform/port_map.h"
#include "platform/serial_device_list.h"

namespace {

// Saves a picture of every page, each brought to the front the way a tab
// click does, for reviewing the layout without a person at the screen.
int SaveScreenshots(kiv::MainWindow& window, const QString& dir) {
    static const char* const kPageFiles[kiv::kPageCount] = {
        "send", "serial", "sine", "rectangular", "sawtooth", "noise", "instructions"};
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "kiv: cannot create %s\n", qPrintable(dir));
        return 1;
    }
    for (int i = 0; i < kiv::kPageCount; ++i) {
        window.tabs()->setCurrentIndex(i);
        for (int pass = 0; pass < 5; ++pass) QCoreApplication::processEvents();
        const QString file =
            QDir(dir).filePath(QStringLiteral("%1-%2.png").arg(i + 1).arg(kPageFiles[i]));
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "kiv: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

// The command line of the window.
struct CommandLine {
    QCommandLineParser parser;
    const QCommandLineOption portOption{
        QStringLiteral("port"),
        QStringLiteral("Open DEVICE for port COMn (n 1..4) in this run, whatever is assigned "
                       "to it; may be given once per port. The assignments themselves are "
                       "made with the button beside the port box and kept in %1.")
            .arg(QDir::toNativeSeparators(kiv::PortDirectory::DefaultSettingsFile())),
        QStringLiteral("COMn=DEVICE")};
    const QCommandLineOption screenshotOption{
        QStringLiteral("screenshots"),
        QStringLiteral("Save a PNG of every page into DIR and exit."), QStringLiteral("DIR")};
    const QCommandLineOption setupOption{QStringLiteral("setup"),
                                         QStringLiteral("Start with the setup saved in FILE."),
                                         QStringLiteral("FILE")};

    CommandLine() {
        parser.setApplicationDescription(QStringLiteral("KIV numeric signal generator"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(portOption);
        parser.addOption(screenshotOption);
        parser.addOption(setupOption);
    }
};

// --help and --version need no window: they are answered before the window
// toolkit starts, which aborts where there is no display.
bool AsksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--") break;
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" || arg == "-v" ||
            arg == "--version")
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("kiv"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    if (AsksForHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        CommandLine commandLine;
        commandLine.parser.process(core);  // prints the answer and exits
        return 0;
    }

    QApplication app(argc, argv);
    CommandLine commandLine;
    QCommandLineParser& parser = commandLine.parser;
    const QCommandLineOption& portOption = commandLine.portOption;
    const QCommandLineOption& screenshotOption = commandLine.screenshotOption;
    const QCommandLineOption& setupOption = commandLine.setupOption;
    parser.process(app);

    kiv::PortMap ports = kiv::PortMap::Unassigned();
    for (const QString& value : parser.values(portOption)) {
        const std::string problem = kiv::ApplyPortMapping(value.toStdString(), ports);
        if (!problem.empty()) {
            std::fprintf(stderr, "kiv: --port %s: %s\n", qPrintable(value), problem.c_str());
            return 2;
        }
    }

    kiv::Model model;
    kiv::RealTimeServices services;
    kiv::SystemDeviceList devices;
    kiv::PortDirectory directory(devices, kiv::PortDirectory::DefaultSettingsFile());
    directory.setOverrides(ports);
    directory.Refresh();
    kiv::AssignedPortControl port(directory);
    services.Pace(port);
    port.setOpenReporter([&model](const std::string& text) { model.lampToolTip = text; });
    kiv::MainWindow window(model);
    kiv::QtMessageBox messageBox(&window);
    services.With(&port, &messageBox).AttachTo(model);
    services.yielder.setBeforeYield([&window] { window.pushModel(); });

    kiv::StartUp(model);
    window.pushModel();
    window.attachPortDirectory(directory);
    window.show();
    if (parser.isSet(setupOption) && !window.setups()->load(parser.value(setupOption)))
        std::fprintf(stderr, "kiv: --setup %s: not loaded\n",
                     qPrintable(parser.value(setupOption)));

    if (parser.isSet(screenshotOption))
        return SaveScreenshots(window, parser.value(screenshotOption));
    return QApplication::exec();
}
