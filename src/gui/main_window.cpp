#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include "app/startup.h"
#include "gui/app_icon.h"
#include "gui/line_monitor.h"
#include "gui/pages/page_layout.h"
#include "gui/port_devices.h"
#include "gui/setup_commands.h"
#include "gui/wave_picture.h"
#include "model/signal_table.h"
#include "sending/capacity_warning.h"
#include "sending/frame_settings.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"

namespace kiv {

QString ControlName(const char* name, int index) {
    return QStringLiteral("%1(%2)").arg(QString::fromLatin1(name)).arg(index);
}

QSize MainWindow::FixedSize(double logicalDpiX, double logicalDpiY) {
    constexpr double kTwipsPerInch = 1440.0;
    return {qRound(kWindowWidthTwips * logicalDpiX / kTwipsPerInch),
            qRound(kWindowHeightTwips * logicalDpiY / kTwipsPerInch)};
}

MainWindow::MainWindow(Model& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setObjectName(QStringLiteral("KIV"));
    setWindowIcon(AppIcon());

    auto* outer = Tight(new QVBoxLayout(this));
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("Tabmain"));
    m_tabs->setUsesScrollButtons(false);
    for (int i = 0; i < kProgramPageCount; ++i) {
        QWidget* page = buildPage(i);
        page->setObjectName(ControlName("tabpage", i));
        m_bindings.push_back(std::make_unique<FrameBinding>(m_model.tabpage(i), page));
        const std::size_t tab = static_cast<std::size_t>(i);
        m_tabs->addTab(page,
                       ToQt(tab < m_model.Tabmain.Tabs.size() ? m_model.Tabmain.Tabs[tab] : ""));
    }
    // The line monitor is the window's own page, after the program's: no
    // handler of the program knows it, and choosing it leaves the pages as
    // they were.
    m_monitor = new LineMonitor(m_model);
    m_monitor->setObjectName(QStringLiteral("lineMonitor"));
    m_tabs->addTab(m_monitor, QStringLiteral("线路监视"));
    fitTabCaptions();
    outer->addWidget(m_tabs, 1);

    auto* bottom = Tight(new QHBoxLayout, 0);
    bottom->addWidget(
        addButton(m_model.Command5, QStringLiteral("Command5"), this, &Command5_Click));
    bottom->addStretch(1);
    outer->addLayout(bottom);

    // Connected only now: filling the tab strip selects its first tab, which
    // is no user's choice.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index < kProgramPageCount) run([index](Model& m) { Tabmain_Click(m, index + 1); });
    });

    setFixedSize(FixedSize(logicalDpiX(), logicalDpiY()));
    measureTabClientArea();

    m_model.endProgram = [this] {
        close();
        QCoreApplication::quit();
    };
    m_setups = new SetupCommands(*this, m_model);
    pushModel();
}

MainWindow::~MainWindow() {
    // The model may outlive the window; it must not call back into it.
    m_model.endProgram = nullptr;
}

QWidget* MainWindow::buildPage(int page) {
    switch (page) {
        case tab::kSend:
            return buildSendPage();
        case tab::kSerial:
            return buildSerialPage();
        case tab::kSine:
        case tab::kRectangular:
        case tab::kSawtooth:
            return buildSignalPage(page);
        case tab::kNoise:
            return buildNoisePage();
        case tab::kInstructions:
            return buildInstructionsPage();
        default:
            return buildFramePage();
    }
}

void MainWindow::measureTabClientArea() {
    if (layout() != nullptr) layout()->activate();
    QWidget* page = m_tabs->widget(0);
    const QPoint topLeft = page->mapTo(this, QPoint(0, 0));
    const double toTwipsX = 1440.0 / logicalDpiX();
    const double toTwipsY = 1440.0 / logicalDpiY();
    m_model.Tabmain.ClientLeft = qRound(topLeft.x() * toTwipsX);
    m_model.Tabmain.ClientTop = qRound(topLeft.y() * toTwipsY);
    m_model.Tabmain.ClientWidth = qRound(page->width() * toTwipsX);
    m_model.Tabmain.ClientHeight = qRound(page->height() * toTwipsY);
}

void MainWindow::run(const std::function<void(Model&)>& handler) {
    try {
        handler(m_model);
    } catch (const std::exception& e) {
        // Handlers catch the program's own errors; anything else is a defect,
        // and Qt cannot carry an exception through its event loop.
        qCritical("kiv: a handler failed: %s", e.what());
    }
    showCapacity();
    // Any handler may change what the next frame holds (the applied slots,
    // the count, the format).
    RefreshFrameLayout(m_model);
    pushModel();
}

void MainWindow::showCapacity() {
    // Only a handler changes the applied plan or the port's rate, so the
    // warning is worked out after handlers, never at the loop's yields.
    const QString warning = ToQt(CapacityWarning(m_model));
    if (m_capacity->text() != warning) {
        m_capacity->setText(warning);
        m_capacity->setVisible(!warning.isEmpty());
    }
    m_monitor->showCapacity(warning);
}

void MainWindow::fitTabCaptions() {
    // The window keeps its size: when the captions do not fit the strip with
    // the style's own padding, the padding narrows first, then the type. A
    // caption always keeps a few pixels on either side: a tab's edge drawn
    // over a caption's last stroke cuts it as surely as a squeezed tab.
    QTabBar* bar = m_tabs->tabBar();
    const int frame = m_tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_tabs);
    const int room = FixedSize(logicalDpiX(), logicalDpiY()).width() -
                     layout()->contentsMargins().left() - layout()->contentsMargins().right() -
                     2 * frame;
    const QFont normal = QApplication::font(bar);
    bar->setFont(normal);
    bar->setStyleSheet(QString());
    if (bar->sizeHint().width() <= room) return;
    for (const double scale : {1.0, 0.95, 0.9, 0.85, 0.8}) {
        QFont f = normal;
        f.setPointSizeF(normal.pointSizeF() * scale);
        bar->setFont(f);
        for (const int padding : {8, 6, 5, 4}) {
            bar->setStyleSheet(
                QStringLiteral("QTabBar::tab { padding-left: %1px; padding-right: %1px; }")
                    .arg(padding));
            if (bar->sizeHint().width() <= room) return;
        }
    }
}

void MainWindow::pushModel() {
    if (m_shownCaption != m_model.Caption) {
        setWindowTitle(ToQt(m_model.Caption));
        m_shownCaption = m_model.Caption;
    }
    // While sending, the frame page's line follows the count at every
    // yield, but only where someone sees it: the loop pays nothing for it
    // behind another page.
    if (m_model.isSending && m_tabs->currentIndex() == tab::kFrame) RefreshFrameLayout(m_model);
    for (const auto& binding : m_bindings) binding->push();

    // The monitor stays in front until the program brings a page forward.
    const int front = FrontPage(m_model);
    const bool onMonitor = m_tabs->currentWidget() == m_monitor;
    if (front != m_shownFront || (m_tabs->currentIndex() != front && !onMonitor)) {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(front);
        m_shownFront = front;
    }
    for (int page = 0; page < kPageCount; ++page) {
        const Picture& picture = m_pictures[static_cast<std::size_t>(page)];
        if (picture.widget == nullptr || picture.entry == 0) continue;
        picture.widget->setSignal(Latin1(SignalVariableOf(picture.entry).name),
                                  m_model.signalParams(picture.entry));
    }
}

void MainWindow::attachPortDirectory(PortDirectory& directory) {
    auto* box = findChild<QComboBox*>(ControlName("Combo1", kPortBoxPort));
    auto* button = new QToolButton(box->parentWidget());
    button->setObjectName(QStringLiteral("portDevices"));
    m_portBoxes->addWidget(button, 0, 2);
    m_bindings.push_back(std::make_unique<PortDevicesBinding>(m_model, directory, box, button));
    pushModel();
}

void MainWindow::showPictureEntry(int page, int entry) {
    m_pictures[static_cast<std::size_t>(page)].entry = entry;
    pushModel();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A send loop may be waiting in a yield: it must not send again into a
    // window that is gone, and the port must not stay open behind it.
    m_model.isSending = false;
    m_model.programEnded = true;
    if (m_model.MSComm1 != nullptr)
        run([](Model& m) {
            DropUnsentBytes(m);
            Optionclose_Click(m);
        });
    QWidget::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        const QVariant page = watched->property("kivPage");
        const QVariant entry = watched->property("kivEntry");
        if (page.isValid() && entry.isValid()) showPictureEntry(page.toInt(), entry.toInt());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kiv
