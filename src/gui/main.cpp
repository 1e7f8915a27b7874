// Wiring only: the window model, the platform services, the serial port and
// the window on screen.
#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "app/real_time_services.h"
#include "app/startup.h"
#include "gui/line_monitor.h"
#include "gui/main_window.h"
#include "gui/setup_commands.h"
#include "gui/window_language.h"
#include "gui/wired_window.h"
#include "model/form.h"
#include "model/frame_format.h"
#include "model/model.h"
#include "model/one_line.h"
#include "model/texts.h"
#include "platform/assigned_port_control.h"
#include "platform/port_directory.h"
#include "platform/port_map.h"
#include "platform/serial_device_list.h"
#include "sending/frame_settings.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"

namespace {

// A text from outside (a value, a path, a reason) as a line on standard
// error shows it, with the escapes kiv-cli's messages use.
QString Printable(const QString& text) {
    return QString::fromStdString(kiv::OneLine(text.toStdString()));
}

// Sends the window's plan for a few seconds with the monitor in front, when
// COM1 opens, so that its picture shows a chart; the port is closed again.
void SendAWhile(kiv::MainWindow& window, kiv::Model& model) {
    window.run(&kiv::Command7_Click);
    window.run(&kiv::Optionopen_Click);
    if (model.MSComm1 == nullptr || !model.MSComm1->PortOpen() || !model.starsend.Enabled) return;
    QTimer::singleShot(3000, &window, [&window] { window.run(&kiv::pausesend_Click); });
    window.run(&kiv::starsend_Click);  // returns when the loop ends
    window.monitor()->look();
    window.run(&kiv::Optionclose_Click);
}

// Fills the frame format page with a format that has every part, over the
// start-up slots, so that its picture shows a whole layout; `off` puts the
// format back off afterwards.
void ShowFrameExample(kiv::MainWindow& window, kiv::Model& model, bool off) {
    kiv::FrameFormat format;
    if (!off) {
        format.header = {0xAA, 0x55};
        format.counter = kiv::FrameCounter::U8;
        format.lengthByte = true;
        format.checksum = kiv::Checksum::Crc16Modbus;
        format.checksumOrder = kiv::KindOf(format.checksum).defaultOrder;
        format.trailer = {0x0D, 0x0A};
        window.run(&kiv::Command7_Click);
    }
    kiv::PutFrameFormatInBoxes(model, format);
    window.run(&kiv::Command9_Click);
}

// Saves a picture of every page, each brought to the front the way a tab
// click does, for reviewing the layout without a person at the screen. With
// `example`, the frame format page shows a format of every part (a setup
// given on the command line shows its own).
int SaveScreenshots(kiv::MainWindow& window, kiv::Model& model, const QString& dir, bool example) {
    static const char* const kPageFiles[kiv::tab::kMonitor + 1] = {
        "send",  "serial",       "sine",  "rectangular", "sawtooth",
        "noise", "instructions", "frame", "monitor"};
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "kiv: cannot create %s\n", qPrintable(Printable(dir)));
        return 1;
    }
    for (int i = 0; i < window.tabs()->count(); ++i) {
        window.tabs()->setCurrentIndex(i);
        const bool framePage = example && i == kiv::tab::kFrame;
        if (framePage) ShowFrameExample(window, model, false);
        // The monitor as a user reads it: in its own window, sized beside
        // the main one.
        QWidget* shown = &window;
        if (window.tabs()->currentWidget() == window.monitor()) {
            window.monitor()->setDetached(true);
            shown = window.monitor()->ownWindow();
            shown->resize(1000, 640);
            SendAWhile(window, model);
        }
        for (int pass = 0; pass < 5; ++pass) QCoreApplication::processEvents();
        const QString file =
            QDir(dir).filePath(QStringLiteral("%1-%2.png").arg(i + 1).arg(kPageFiles[i]));
        const bool saved = shown->grab().save(file);
        if (shown != &window) window.monitor()->setDetached(false);
        if (!saved) {
            std::fprintf(stderr, "kiv: cannot write %s\n", qPrintable(Printable(file)));
            return 1;
        }
        if (framePage) ShowFrameExample(window, model, true);
    }
    return 0;
}

// The command line of the window.
struct CommandLine {
    QCommandLineParser parser;
    const QCommandLineOption portOption{
        QStringLiteral("port"),
        QStringLiteral("Open DEVICE for port COMn (n 1..%1) in this run, whatever is assigned "
                       "to it; may be given once per port. The assignments themselves are "
                       "made with the button beside the port box and kept in %2.")
            .arg(QString::number(kiv::kPortCount),
                 QDir::toNativeSeparators(kiv::PortDirectory::DefaultSettingsFile())),
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

// The window toolkit's own arguments, which QApplication takes out of the
// command line itself: accepted here so that checking ours first does not
// refuse them. Those taking a value, then those that stand alone.
const char* const kToolkitValueOptions[] = {"platform",
                                            "platformpluginpath",
                                            "platformtheme",
                                            "plugin",
                                            "qwindowgeometry",
                                            "qwindowtitle",
                                            "qwindowicon",
                                            "session",
                                            "style",
                                            "stylesheet",
                                            "qmljsdebugger",
                                            "display",
                                            "geometry",
                                            "title",
                                            "icon",
                                            "name",
                                            "visual"};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "testability", "nograb", "dograb"};

// What the command line asks of this run.
struct Choices {
    kiv::PortMap ports = kiv::PortMap::Unassigned();
    QString screenshots;  // empty: none
    QString setup;        // empty: none
};

// Reads the command line before the window toolkit starts, which aborts
// where there is no display: --help and --version are answered, and a
// mistake ends the program with one line and exit code 2, display or not.
// Returns the exit code, or -1 to go on.
int ReadCommandLine(int argc, char** argv, Choices& choices) {
    QCoreApplication core(argc, argv);
    CommandLine commandLine;
    QCommandLineParser& parser = commandLine.parser;
    // The toolkit's arguments have a single dash and long names.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : kToolkitValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : kToolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "kiv: %s (kiv --help lists the options)\n",
                     qPrintable(Printable(parser.errorText())));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
        parser.isSet(QStringLiteral("version")))
        parser.process(core);  // prints the answer and exits

    for (const QString& value : parser.values(commandLine.portOption)) {
        const std::string problem = kiv::ApplyPortMapping(value.toStdString(), choices.ports);
        if (!problem.empty()) {
            std::fprintf(stderr, "kiv: --port %s: %s\n", qPrintable(Printable(value)),
                         qPrintable(Printable(QString::fromStdString(problem))));
            return 2;
        }
    }
    for (const auto& [option, into] :
         {std::pair{&commandLine.screenshotOption, &choices.screenshots},
          std::pair{&commandLine.setupOption, &choices.setup}}) {
        if (!parser.isSet(*option)) continue;
        *into = parser.value(*option);
        if (into->isEmpty()) {
            std::fprintf(stderr, "kiv: --%s needs a non-empty value\n",
                         qPrintable(option->names().first()));
            return 2;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("kiv"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    Choices choices;
    if (const int code = ReadCommandLine(argc, argv, choices); code >= 0) return code;

    QApplication app(argc, argv);
    // The window speaks Chinese throughout, the toolkit's words and the
    // program's own; kiv-cli keeps English.
    kiv::SetTextLanguage(kiv::TextLanguage::Chinese);
    kiv::SpeakChinese(app);
    // In English: a terminal on a system without such a font could not show
    // the Chinese form either.
    if (!kiv::ChineseFontInstalled())
        std::fprintf(
            stderr, "kiv: %s\n",
            std::string(kiv::TextForm(kiv::TextId::NoChineseFont, kiv::TextLanguage::English))
                .c_str());
    const kiv::PortMap& ports = choices.ports;

    kiv::Model model;
    kiv::RealTimeServices services;
    kiv::SystemDeviceList devices;
    kiv::PortDirectory directory(devices, kiv::PortDirectory::DefaultSettingsFile());
    directory.setOverrides(ports);
    directory.Refresh();
    kiv::AssignedPortControl port(directory);
    services.Pace(port);
    port.setOpenReporter([&model](const std::string& text) { model.lampToolTip = text; });
    const std::unique_ptr<kiv::WiredWindow> wired =
        kiv::WireWindow(model, services, port, &directory);
    kiv::MainWindow& window = wired->window();
    // Loaded once the window is up, so that a box about the file stands over
    // the window.
    const auto loadSetup = [&window, &choices] {
        if (!window.setups()->load(choices.setup))
            std::fprintf(stderr, "kiv: --setup %s: not loaded\n",
                         qPrintable(Printable(choices.setup)));
    };
    if (!choices.screenshots.isEmpty()) {
        if (!choices.setup.isEmpty()) loadSetup();
        return SaveScreenshots(window, model, choices.screenshots, choices.setup.isEmpty());
    }
    if (!choices.setup.isEmpty()) QTimer::singleShot(0, &window, loadSetup);
    return QApplication::exec();
}
