#include "gui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include "app/startup.h"
#include "gui/app_icon.h"
#include "gui/lamp_widget.h"
#include "gui/line_monitor.h"
#include "gui/port_devices.h"
#include "gui/setup_commands.h"
#include "gui/tally_display.h"
#include "gui/wave_picture.h"
#include "model/signal_table.h"
#include "sending/capacity_warning.h"
#include "sending/frame_settings.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "serial/port_settings.h"
#include "signal/noise_targets.h"
#include "signal/signal_params.h"

namespace kiv {
namespace {

// The waveform whose rows a signal page holds.
Waveform WaveformOf(int page) {
    switch (page) {
        case tab::kSine:
            return Waveform::Sine;
        case tab::kRectangular:
            return Waveform::Rectangular;
        case tab::kSawtooth:
            return Waveform::Sawtooth;
        case tab::kNoise:
            return Waveform::Noise;
        default:
            return Waveform::None;
    }
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

WaveKind KindOf(int page) {
    switch (page) {
        case tab::kSine:
            return WaveKind::Sine;
        case tab::kRectangular:
            return WaveKind::Rectangular;
        case tab::kSawtooth:
            return WaveKind::Sawtooth;
        default:
            return WaveKind::Noise;
    }
}

// Every layout of the window is tight: the window is small and fixed.
template <typename L>
L* Tight(L* layout, int margin = 4, int spacing = 4) {
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(spacing);
    return layout;
}

}  // namespace

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
        QWidget* page = nullptr;
        switch (i) {
            case tab::kSend:
                page = buildSendPage();
                break;
            case tab::kSerial:
                page = buildSerialPage();
                break;
            case tab::kSine:
                page = buildSignalPage(i, FirstEntryOf(WaveformOf(i)), m_model.sineNotes,
                                       m_model.Command2, "Command2", &Command2_Click);
                break;
            case tab::kRectangular:
                page = buildSignalPage(i, FirstEntryOf(WaveformOf(i)), m_model.squareNotes,
                                       m_model.Command3, "Command3", &Command3_Click);
                break;
            case tab::kSawtooth:
                page = buildSignalPage(i, FirstEntryOf(WaveformOf(i)), m_model.sawtoothNotes,
                                       m_model.Command4, "Command4", &Command4_Click);
                break;
            case tab::kNoise:
                page = buildNoisePage();
                break;
            case tab::kInstructions:
                page = buildInstructionsPage();
                break;
            default:
                page = buildFramePage();
                break;
        }
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
    auto* box = findChild<QComboBox*>(ControlName("Combo1", 0));
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

QLineEdit* MainWindow::addTextBox(TextBox& box, const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    auto binding = std::make_unique<TextBoxBinding>(box, edit);
    TextBoxBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    // No handler reads a box while it is typed in; the text only has to be
    // in the model when the apply buttons look.
    connect(edit, &QLineEdit::textEdited, this, [b](const QString& text) { b->userEdited(text); });
    return edit;
}

QWidget* MainWindow::addButton(CommandButton& button, const QString& name, QWidget* parent,
                               std::function<void(Model&)> handler) {
    auto* widget = new QPushButton(parent);
    widget->setObjectName(name);
    widget->setAutoDefault(false);
    m_bindings.push_back(std::make_unique<CommandButtonBinding>(button, widget));
    connect(widget, &QPushButton::clicked, this,
            [this, handler = std::move(handler)] { run(handler); });
    return widget;
}

QWidget* MainWindow::addLabel(const std::string& caption, const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    m_bindings.push_back(std::make_unique<LabelBinding>(caption, label));
    return label;
}

void MainWindow::addNotes(const std::vector<std::string>& notes, const QString& arrayName,
                          QWidget* parent, QBoxLayout* layout) {
    for (std::size_t i = 0; i < notes.size(); ++i)
        layout->addWidget(addLabel(
            notes[i], ControlName(arrayName.toLatin1().constData(), static_cast<int>(i)), parent));
}

QWidget* MainWindow::buildSendPage() {
    auto* page = new QWidget;
    auto* column = Tight(new QVBoxLayout(page), 6);
    auto* top = Tight(new QHBoxLayout, 0, 12);
    column->addLayout(top);

    auto* slotGrid = Tight(new QGridLayout, 0, 3);
    slotGrid->setHorizontalSpacing(6);
    slotGrid->addWidget(addLabel(m_model.Label53.Caption, QStringLiteral("Label53"), page), 0, 2);
    slotGrid->addWidget(addLabel(m_model.Label54.Caption, QStringLiteral("Label54"), page), 0, 6);
    const int boxWidth = fontMetrics().horizontalAdvance(QStringLiteral("sinx1")) * 2;
    for (int slot = 1; slot <= 10; ++slot) {
        const int row = (slot - 1) % 5 + 1;
        const int col = slot <= 5 ? 0 : 4;
        slotGrid->addWidget(
            addLabel(m_model.Label1(slot - 1).Caption, ControlName("Label1", slot - 1), page), row,
            col);
        QLineEdit* edit = addTextBox(m_model.sendText1(slot), ControlName("sendText1", slot), page);
        edit->setFixedWidth(boxWidth);
        slotGrid->addWidget(edit, row, col + 1);

        auto* check = new QCheckBox(page);
        check->setObjectName(ControlName("Check2", slot));
        auto binding = std::make_unique<CheckBoxBinding>(m_model.Check2(slot), check);
        CheckBoxBinding* b = binding.get();
        m_bindings.push_back(std::move(binding));
        connect(check, &QCheckBox::clicked, this, [this, b, slot](bool checked) {
            b->userClicked(checked);
            run([slot](Model& m) { Check2_Click(m, slot); });
        });
        slotGrid->addWidget(check, row, col + 2, Qt::AlignHCenter);
    }
    slotGrid->setColumnMinimumWidth(3, 10);
    top->addLayout(slotGrid);
    top->addStretch(1);

    auto* controls = Tight(new QVBoxLayout, 0, 4);
    controls->addWidget(addLabel(m_model.Label2.Caption, QStringLiteral("Label2"), page));
    QLineEdit* period = addTextBox(m_model.autosendtext1, QStringLiteral("autosendtext1"), page);
    controls->addWidget(period);
    controls->addWidget(
        addButton(m_model.Command7, QStringLiteral("Command7"), page, &Command7_Click));
    controls->addWidget(
        addButton(m_model.starsend, QStringLiteral("starsend"), page, &starsend_Click));
    controls->addWidget(
        addButton(m_model.pausesend, QStringLiteral("pausesend"), page, &pausesend_Click));
    controls->addWidget(
        addButton(m_model.Command8, QStringLiteral("Command8"), page, &Command8_Click));
    controls->addStretch(1);
    top->addLayout(controls);

    column->addStretch(1);
    // The line's rate against the applied plan, shown only when too slow.
    m_capacity = new QLabel(page);
    m_capacity->setObjectName(QStringLiteral("capacityWarning"));
    m_capacity->setStyleSheet(QStringLiteral("color: #b00000"));
    m_capacity->hide();
    column->addWidget(m_capacity);
    auto* status = Tight(new QHBoxLayout, 0, 6);
    status->addWidget(addLabel(m_model.Label49.Caption, QStringLiteral("Label49"), page));
    // The status line says why the line was lost, as the lamp beside it
    // does: a window started from Explorer has no standard error to say it.
    QWidget* statusText = addLabel(m_model.Label50.Caption, QStringLiteral("Label50"), page);
    m_bindings.push_back(std::make_unique<ToolTipBinding>(m_model.lampToolTip, statusText));
    status->addWidget(statusText);
    auto* lamp = new LampWidget(page);
    lamp->setObjectName(ControlName("Shape1", 1));
    m_bindings.push_back(std::make_unique<ShapeBinding>(m_model.Shape1(1), lamp));
    m_bindings.push_back(std::make_unique<ToolTipBinding>(m_model.lampToolTip, lamp));
    status->addWidget(lamp);
    status->addStretch(1);
    auto* tally = new TallyDisplay(page);
    tally->setObjectName(QStringLiteral("Tally1"));
    tally->setMinimumSize(fontMetrics().height() * 6, fontMetrics().height() * 2);
    m_bindings.push_back(std::make_unique<TallyBinding>(m_model.Tally1, tally));
    status->addWidget(tally);
    column->addLayout(status);
    return page;
}

QWidget* MainWindow::buildSerialPage() {
    auto* page = new QWidget;
    auto* row = Tight(new QHBoxLayout(page), 8, 24);

    auto* boxes = Tight(new QGridLayout, 0, 6);
    for (int i = 0; i <= 4; ++i) {
        boxes->addWidget(addLabel(m_model.Label3(i).Caption, ControlName("Label3", i), page), i, 0);
        auto* combo = new QComboBox(page);
        combo->setObjectName(ControlName("Combo1", i));
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setMinimumContentsLength(8);
        // Typed text is the user's own, even when it spells an entry: only a
        // pick from the list gives the box a list position. So neither the
        // completer nor the box's own matching on editing-finished may turn
        // typing into a pick.
        combo->setCompleter(nullptr);
        disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
        auto binding = std::make_unique<ComboBoxBinding>(m_model.Combo1(i), combo);
        ComboBoxBinding* b = binding.get();
        m_bindings.push_back(std::move(binding));
        connect(combo, &QComboBox::activated, this, [this, b, i](int index) {
            if (index < 0) return;
            b->userPicked(index);
            run([i](Model& m) { Combo1_Click(m, i); });
        });
        connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                [b](const QString& text) { b->userTyped(text); });
        boxes->addWidget(combo, i, 1);
    }
    row->addLayout(boxes);
    m_portBoxes = boxes;

    auto* right = Tight(new QVBoxLayout, 0, 8);
    auto* group = new QGroupBox(page);
    auto* groupLayout = Tight(new QHBoxLayout(group), 8, 12);
    auto* buttons = new QButtonGroup(group);
    buttons->setExclusive(true);
    struct OptionSpec {
        OptionButton* option;
        OptionButton* other;
        const char* name;
        void (*handler)(Model&);
    };
    const OptionSpec options[2] = {
        {&m_model.Optionopen, &m_model.Optionclose, "Optionopen", &Optionopen_Click},
        {&m_model.Optionclose, &m_model.Optionopen, "Optionclose", &Optionclose_Click},
    };
    auto* radios = Tight(new QVBoxLayout, 0, 6);
    for (const OptionSpec& spec : options) {
        auto* radio = new QRadioButton(group);
        radio->setObjectName(QString::fromLatin1(spec.name));
        buttons->addButton(radio);
        m_bindings.push_back(std::make_unique<OptionButtonBinding>(*spec.option, radio));
        // Only a selection by the user reaches here: pushes are blocked, and
        // the option that loses the selection reports false.
        connect(radio, &QRadioButton::toggled, this, [this, spec](bool on) {
            if (!on) return;
            spec.option->Value = true;
            spec.other->Value = false;
            run(spec.handler);
        });
        radios->addWidget(radio);
    }
    groupLayout->addLayout(radios);
    auto* lamp = new LampWidget(group);
    lamp->setObjectName(ControlName("Shape1", 0));
    m_bindings.push_back(std::make_unique<ShapeBinding>(m_model.Shape1(0), lamp));
    m_bindings.push_back(std::make_unique<ToolTipBinding>(m_model.lampToolTip, lamp));
    groupLayout->addWidget(lamp);
    right->addWidget(group);
    right->addWidget(
        addButton(m_model.Command1, QStringLiteral("Command1"), page, &Command1_Click));
    auto* hint = static_cast<QLabel*>(addLabel(m_model.portHint, QStringLiteral("portHint"), page));
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("color: #b00000"));
    right->addWidget(hint);
    right->addStretch(1);
    row->addLayout(right);
    row->addStretch(1);
    return page;
}

QGridLayout* MainWindow::buildParameterGrid(QWidget* page, int firstEntry, int lastEntry) {
    const int pageIndex = page->property("kivPageIndex").toInt();
    auto* grid = Tight(new QGridLayout, 0, 4);
    for (int c = 0; c < kParamBoxCount; ++c) {
        auto* header = new QLabel(Latin1(kParamBoxNames[static_cast<std::size_t>(c)]), page);
        grid->addWidget(header, 0, c + 1, Qt::AlignHCenter);
    }
    const int boxWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000000"));
    for (int entry = firstEntry; entry <= lastEntry; ++entry) {
        const int row = entry - firstEntry + 1;
        grid->addWidget(new QLabel(Latin1(SignalVariableOf(entry).name), page), row, 0);
        for (int c = 0; c < kParamBoxCount; ++c) {
            const QString column =
                QStringLiteral("fuction_") + Latin1(kParamBoxNames[static_cast<std::size_t>(c)]);
            const QString name = ControlName(column.toLatin1().constData(), entry);
            QLineEdit* edit = addTextBox(ParamBoxColumn(m_model, c)(entry), name, page);
            edit->setFixedWidth(boxWidth);
            // Working in a row shows that row's signal in the illustration.
            edit->setProperty("kivPage", pageIndex);
            edit->setProperty("kivEntry", entry);
            edit->installEventFilter(this);
            grid->addWidget(edit, row, c + 1);
        }
    }
    return grid;
}

QWidget* MainWindow::buildSignalPage(int pageIndex, int firstEntry,
                                     const std::vector<std::string>& notes, CommandButton& apply,
                                     const char* applyName, void (*handler)(Model&)) {
    auto* page = new QWidget;
    page->setProperty("kivPageIndex", pageIndex);
    auto* row = Tight(new QHBoxLayout(page), 6, 10);

    auto* left = Tight(new QVBoxLayout, 0, 2);
    left->addLayout(buildParameterGrid(page, firstEntry, firstEntry + 2));
    left->addSpacing(6);
    addNotes(notes,
             QString::fromLatin1(pageIndex == tab::kSine          ? "sineNotes"
                                 : pageIndex == tab::kRectangular ? "squareNotes"
                                                                  : "sawtoothNotes"),
             page, left);
    left->addStretch(1);
    row->addLayout(left);

    auto* right = Tight(new QVBoxLayout, 0, 6);
    auto* picture = new WavePicture(KindOf(pageIndex), page);
    picture->setObjectName(ControlName("picture", pageIndex));
    m_pictures[static_cast<std::size_t>(pageIndex)] = {picture,
                                                       FirstEntryOf(WaveformOf(pageIndex))};
    right->addWidget(picture, 1);
    right->addWidget(addButton(apply, QString::fromLatin1(applyName), page, handler), 0,
                     Qt::AlignRight);
    row->addLayout(right, 1);
    return page;
}

QWidget* MainWindow::buildNoisePage() {
    auto* page = new QWidget;
    page->setProperty("kivPageIndex", tab::kNoise);
    auto* column = Tight(new QVBoxLayout(page), 6, 6);

    auto* top = Tight(new QHBoxLayout, 0, 10);
    auto* left = Tight(new QVBoxLayout, 0, 2);
    left->addLayout(buildParameterGrid(page, kNoiseEntry, kNoiseEntry));
    left->addSpacing(6);
    addNotes(m_model.noiseNotes, QStringLiteral("noiseNotes"), page, left);
    left->addStretch(1);
    top->addLayout(left);
    auto* picture = new WavePicture(WaveKind::Noise, page);
    picture->setObjectName(ControlName("picture", tab::kNoise));
    m_pictures[tab::kNoise] = {picture, kNoiseEntry};
    top->addWidget(picture, 1);
    column->addLayout(top, 1);

    auto* targets = Tight(new QHBoxLayout, 0, 4);
    targets->addWidget(
        addLabel(m_model.noiseTargetsLabel.Caption, QStringLiteral("noiseTargetsLabel"), page));
    for (int i = 1; i <= 10; ++i) {
        auto* check = new QCheckBox(page);
        check->setObjectName(ControlName("Check1", i));
        auto binding = std::make_unique<CheckBoxBinding>(m_model.Check1(i), check);
        CheckBoxBinding* b = binding.get();
        m_bindings.push_back(std::move(binding));
        connect(check, &QCheckBox::clicked, this, [this, b, i](bool checked) {
            b->userClicked(checked);
            run([i](Model& m) { Check1_Click(m, i); });
        });
        targets->addWidget(check);
    }
    targets->addStretch(1);
    column->addLayout(targets);

    auto* applyRow = Tight(new QHBoxLayout, 0);
    applyRow->addStretch(1);
    applyRow->addWidget(
        addButton(m_model.Command6, QStringLiteral("Command6"), page, &Command6_Click));
    column->addLayout(applyRow);
    return page;
}

QWidget* MainWindow::buildInstructionsPage() {
    auto* page = new QWidget;
    auto* row = Tight(new QHBoxLayout(page), 6, 10);

    auto* left = Tight(new QVBoxLayout, 0, 4);
    for (std::size_t i = 0; i < m_model.instructionLabels.size(); ++i) {
        QWidget* label = addLabel(m_model.instructionLabels[i].Caption,
                                  ControlName("instructionLabels", static_cast<int>(i)), page);
        QFont f = label->font();
        f.setBold(i < 2);
        if (i == 0) f.setPointSizeF(f.pointSizeF() * 1.5);
        label->setFont(f);
        left->addWidget(label);
    }
    auto* ornament = new WavePicture(WaveKind::Sine, page);
    ornament->setObjectName(ControlName("picture", tab::kInstructions));
    ornament->setDecorative(true);
    ornament->setSignal(QString(), SignalParams{1, 0, 0, 200, 28, 1});
    ornament->setFixedSize(fontMetrics().height() * 7, fontMetrics().height() * 3);
    left->addWidget(ornament);
    left->addStretch(1);
    for (const auto& [label, name] : {std::pair{&m_model.contactLabel, "contactLabel"},
                                      std::pair{&m_model.rightsLabel, "rightsLabel"}}) {
        QWidget* small = addLabel(label->Caption, QString::fromLatin1(name), page);
        QFont f = small->font();
        f.setPointSizeF(f.pointSizeF() * 0.8);
        small->setFont(f);
        left->addWidget(small);
    }
    row->addLayout(left);

    auto* manual = new QPlainTextEdit(page);
    manual->setObjectName(QStringLiteral("Text2"));
    manual->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    manual->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto binding = std::make_unique<MultiLineTextBinding>(m_model.Text2, manual);
    MultiLineTextBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    connect(manual, &QPlainTextEdit::textChanged, this,
            [b, manual] { b->userEdited(manual->toPlainText()); });
    // The manual comes with its own line breaks: the box is made wide enough
    // for its longest line, so that no line wraps a second time.
    const QFontMetrics fm(manual->font());
    int longest = 0;
    for (const QString& line : ToQt(m_model.Text2.Text).split(QStringLiteral("\r\n")))
        longest = qMax(longest, fm.horizontalAdvance(line));
    const int chrome = 2 * static_cast<int>(manual->document()->documentMargin()) +
                       2 * manual->frameWidth() +
                       manual->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 6;
    manual->setMinimumWidth(longest + chrome);
    row->addWidget(manual, 1);
    return page;
}

QComboBox* MainWindow::addChoiceBox(ComboBox& box, const QString& name, QWidget* parent,
                                    std::function<void(Model&)> handler) {
    // A choice of fixed entries: no typing, a pick is the only input.
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    auto binding = std::make_unique<ComboBoxBinding>(box, combo);
    ComboBoxBinding* b = binding.get();
    m_bindings.push_back(std::move(binding));
    connect(combo, &QComboBox::activated, this, [this, b, handler = std::move(handler)](int index) {
        if (index < 0) return;
        b->userPicked(index);
        // A pick without a handler is only stored: the page's apply reads it.
        if (handler) {
            run(handler);
        } else {
            pushModel();
        }
    });
    return combo;
}

QWidget* MainWindow::buildFramePage() {
    auto* page = new QWidget;
    auto* column = Tight(new QVBoxLayout(page), 6, 6);

    // The words beside the boxes are the window's own, as are the headers
    // of the parameter grids.
    auto* grid = Tight(new QGridLayout, 0, 4);
    grid->setHorizontalSpacing(6);
    const auto caption = [page](const char* text) {
        return new QLabel(QString::fromUtf8(text), page);
    };
    const int byteListWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("00 00 00 00 00 00 00 00")) + 12;
    QLineEdit* header = addTextBox(m_model.frameHeader, QStringLiteral("frameHeader"), page);
    header->setMinimumWidth(byteListWidth);
    QLineEdit* trailer = addTextBox(m_model.frameTrailer, QStringLiteral("frameTrailer"), page);
    trailer->setMinimumWidth(byteListWidth);
    for (QLineEdit* edit : {header, trailer})
        edit->setPlaceholderText(QStringLiteral("无，或如 AA 55"));
    grid->addWidget(caption("帧头"), 0, 0);
    grid->addWidget(header, 0, 1);
    grid->addWidget(caption("帧尾"), 0, 3);
    grid->addWidget(trailer, 0, 4);

    grid->addWidget(caption("计数"), 1, 0);
    grid->addWidget(addChoiceBox(m_model.frameCounter, QStringLiteral("frameCounter"), page), 1, 1);
    auto* length = new QCheckBox(page);
    length->setObjectName(QStringLiteral("frameLengthByte"));
    auto lengthBinding = std::make_unique<CheckBoxBinding>(m_model.frameLengthByte, length);
    CheckBoxBinding* lb = lengthBinding.get();
    m_bindings.push_back(std::move(lengthBinding));
    connect(length, &QCheckBox::clicked, this, [lb](bool checked) { lb->userClicked(checked); });
    grid->addWidget(length, 1, 3, 1, 2, Qt::AlignLeft);

    grid->addWidget(caption("校验"), 2, 0);
    grid->addWidget(addChoiceBox(m_model.frameChecksum, QStringLiteral("frameChecksum"), page,
                                 &frameChecksum_Click),
                    2, 1);
    grid->addWidget(caption("字节顺序"), 2, 3);
    grid->addWidget(
        addChoiceBox(m_model.frameChecksumOrder, QStringLiteral("frameChecksumOrder"), page), 2, 4);
    grid->addWidget(caption("校验范围"), 3, 3);
    grid->addWidget(
        addChoiceBox(m_model.frameChecksumFrom, QStringLiteral("frameChecksumFrom"), page), 3, 4);
    grid->setColumnMinimumWidth(2, 16);
    grid->setColumnStretch(5, 1);
    column->addLayout(grid);

    auto* note = caption("帧头、帧尾：十六进制字节，以空格或逗号分隔，至多 8 个。");
    column->addWidget(note);

    // The applied layout and the next frame's bytes: long enough to wrap,
    // and selectable, so the bytes can be copied into a receiver's test.
    column->addWidget(caption("帧结构及下一帧："));
    auto* layout = static_cast<QLabel*>(
        addLabel(m_model.frameLayout.Caption, QStringLiteral("frameLayout"), page));
    layout->setWordWrap(true);
    layout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->setFrameShape(QFrame::StyledPanel);
    layout->setMargin(4);
    column->addWidget(layout, 1);

    auto* applyRow = Tight(new QHBoxLayout, 0);
    applyRow->addStretch(1);
    applyRow->addWidget(
        addButton(m_model.Command9, QStringLiteral("Command9"), page, &Command9_Click));
    column->addLayout(applyRow);
    return page;
}

}  // namespace kiv
