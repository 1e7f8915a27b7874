#include "gui/line_monitor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTextCursor>
#include <QTextLayout>
#include <QVBoxLayout>
#include <chrono>

#include "gui/record_dialog.h"
#include "model/model.h"
#include "model/texts.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"

namespace kiv {
namespace {

constexpr int kSpans[] = {1, 10, 60};

QLabel* SmallLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QLabel* RedLabel(const QString& name, QWidget* parent) {
    QLabel* label = SmallLabel(name, parent);
    label->setStyleSheet(QStringLiteral("color: #b00000"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

ChartFrame ToChart(const SentFrame& f) {
    ChartFrame c;
    c.count = f.number;
    c.ms = f.ms;
    const auto own = f.Slots();
    c.length = static_cast<std::uint8_t>(std::min(own.size(), c.bytes.size()));
    std::copy_n(own.begin(), c.length, c.bytes.begin());
    c.recorded = f.recorded;
    c.recordedMs = f.recordedMs;
    return c;
}

QStringList ToQt(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& t : texts)
        if (!t.empty()) list << QString::fromStdString(t);
    return list;
}

}  // namespace

WrappedLabel::WrappedLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void WrappedLabel::setFullText(const QString& text) {
    if (text == m_full && !text.isEmpty()) return;
    m_full = text;
    setToolTip(text);
    wrap();
}

void WrappedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    wrap();
}

void WrappedLabel::wrap() {
    const QString shown = Wrap(m_full, font(), contentsRect().width(), kMaxLines);
    if (shown != text()) setText(shown);
}

QString WrappedLabel::Wrap(const QString& text, const QFont& font, int width, int maxLines) {
    if (text.isEmpty() || width <= 0 || maxLines <= 0) return text;
    const QFontMetrics metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            // The last line room is left for: the rest, cut short if need be.
            const QString rest = text.mid(line.textStart());
            lines << metrics.elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines.join(QLatin1Char('\n'));
}

ReadoutLines::ReadoutLines(int lineCount, QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    setFont(f);
    for (int i = 0; i < lineCount; ++i) m_lines << QString();
    setFixedHeight(fontMetrics().height() * lineCount + 2);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ReadoutLines::setLine(int index, const QString& text) {
    if (index < 0 || index >= m_lines.size() || m_lines[index] == text) return;
    m_lines[index] = text;
    const int h = fontMetrics().height();
    update(0, 1 + index * h, width(), h);
}

void ReadoutLines::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.fillRect(event->rect(), palette().window());
    p.setPen(palette().color(QPalette::WindowText));
    const int h = fontMetrics().height();
    for (int i = 0; i < m_lines.size(); ++i) {
        const QRect line(0, 1 + i * h, width(), h);
        if (line.intersects(event->rect()))
            p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, m_lines[i]);
    }
}

LineMonitor::LineMonitor(Model& model, QWidget* parent) : QWidget(parent), m_model(model) {
    m_place = new QStackedLayout(this);
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("monitorBody"));
    m_body->installEventFilter(this);
    m_place->addWidget(m_body);

    // The page while the monitor is in its own window.
    m_away = new QWidget(this);
    auto* awayColumn = new QVBoxLayout(m_away);
    auto* awayText = new QLabel(QStringLiteral("线路监视在单独的窗口中。"), m_away);
    awayText->setAlignment(Qt::AlignCenter);
    awayColumn->addStretch(1);
    awayColumn->addWidget(awayText);
    auto* back = new QPushButton(QStringLiteral("放回此页"), m_away);
    back->setObjectName(QStringLiteral("monitorAttach"));
    back->setAutoDefault(false);
    connect(back, &QPushButton::clicked, this, [this] { setDetached(false); });
    awayColumn->addWidget(back, 0, Qt::AlignHCenter);
    awayColumn->addStretch(1);
    m_place->addWidget(m_away);

    auto* column = new QVBoxLayout(m_body);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(2);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(6);
    m_span = new QComboBox(m_body);
    m_span->setObjectName(QStringLiteral("monitorSpan"));
    for (const int seconds : kSpans) m_span->addItem(QStringLiteral("%1 秒").arg(seconds), seconds);
    m_span->setCurrentIndex(1);
    connect(m_span, &QComboBox::activated, this,
            [this](int index) { m_chart->setSpanSeconds(m_span->itemData(index).toInt()); });
    controls->addWidget(m_span);
    m_freeze = new QCheckBox(QStringLiteral("冻结"), m_body);
    m_freeze->setObjectName(QStringLiteral("monitorFreeze"));
    connect(m_freeze, &QCheckBox::toggled, this, [this](bool on) { m_chart->setFrozen(on); });
    controls->addWidget(m_freeze);
    m_record = new QPushButton(QStringLiteral("开始记录"), m_body);
    m_record->setObjectName(QStringLiteral("monitorRecord"));
    m_record->setAutoDefault(false);
    connect(m_record, &QPushButton::clicked, this, &LineMonitor::toggleRecording);
    controls->addWidget(m_record);
    m_recordState = SmallLabel(QStringLiteral("monitorRecordState"), m_body);
    controls->addWidget(m_recordState, 1);
    m_detach = new QPushButton(QStringLiteral("单独窗口"), m_body);
    m_detach->setObjectName(QStringLiteral("monitorDetach"));
    m_detach->setAutoDefault(false);
    m_detach->setToolTip(QStringLiteral("在可调整大小的单独窗口中显示线路监视"));
    connect(m_detach, &QPushButton::clicked, this, [this] { setDetached(!detached()); });
    controls->addWidget(m_detach);
    column->addLayout(controls);
    m_recordFailure = new WrappedLabel(m_body);
    m_recordFailure->setObjectName(QStringLiteral("monitorRecordFailure"));
    m_recordFailure->setStyleSheet(QStringLiteral("color: #b00000"));
    m_recordFailure->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_recordFailure->hide();
    column->addWidget(m_recordFailure);

    m_chart = new LineChart(m_body);
    m_chart->setObjectName(QStringLiteral("monitorChart"));
    column->addWidget(m_chart, 1);
    m_readout = new ReadoutLines(kReadoutLines, m_body);
    m_readout->setObjectName(QStringLiteral("monitorReadout"));
    connect(m_chart, &LineChart::pointed, m_readout,
            [this](const QString& text) { m_readout->setLine(kPointed, text); });
    column->addWidget(m_readout);
    m_capacity = RedLabel(QStringLiteral("monitorCapacity"), m_body);
    column->addWidget(m_capacity);

    m_arrived = new QPlainTextEdit(m_body);
    m_arrived->setObjectName(QStringLiteral("monitorArrived"));
    m_arrived->setReadOnly(true);
    m_arrived->setMaximumBlockCount(kArrivedLines);
    m_arrived->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_arrived->setPlaceholderText(QStringLiteral("收到的字节"));
    m_arrived->setMinimumHeight(m_arrived->fontMetrics().height() * 3 + 8);
    m_arrived->setMaximumHeight(m_arrived->fontMetrics().height() * 3 + 8);
    column->addWidget(m_arrived);

    QFont f = m_recordState->font();
    f.setPointSizeF(f.pointSizeF() * 0.9);
    m_recordState->setFont(f);
    m_recordState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_timer.setInterval(kLookIntervalMs);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LineMonitor::tick);
    for (const auto& [line, text] : figures()) m_readout->setLine(line, text);

    m_model.frameTap = &m_tap;
    // Called inside the send loop, from the frame whose line the file
    // refused; the page says so when the loop next yields.
    m_tap.onRecordingFailed = [this](const std::string& reason) {
        QMetaObject::invokeMethod(
            this, [this, why = QString::fromStdString(reason)] { recordingFailed(why); },
            Qt::QueuedConnection);
    };
    m_tap.afterFrame = [this] {
        QMetaObject::invokeMethod(this, &LineMonitor::frameLeft, Qt::QueuedConnection);
    };
    showRecording();
}

LineMonitor::~LineMonitor() {
    if (m_model.frameTap == &m_tap) m_model.frameTap = nullptr;
}

bool LineMonitor::eventFilter(QObject* watched, QEvent* event) {
    // The monitor looks while it is on screen, on its page or in its window.
    if (watched == m_body && event->type() == QEvent::Show) {
        look();
        m_timer.start();
    } else if (watched == m_body && event->type() == QEvent::Hide) {
        m_timer.stop();
    } else if (watched == m_window && event->type() == QEvent::Close) {
        setDetached(false);
    }
    return QWidget::eventFilter(watched, event);
}

bool LineMonitor::detached() const {
    return m_window != nullptr && m_body->parentWidget() == m_window;
}

void LineMonitor::setDetached(bool detached) {
    if (detached == this->detached()) return;
    if (detached) {
        if (m_window == nullptr) {
            m_window = new QWidget(this, Qt::Window);
            m_window->setObjectName(QStringLiteral("monitorWindow"));
            m_window->setWindowTitle(QStringLiteral("线路监视"));
            auto* layout = new QVBoxLayout(m_window);
            layout->setContentsMargins(0, 0, 0, 0);
            m_window->installEventFilter(this);
            m_window->resize(std::max(900, width()), std::max(600, height()));
        }
        m_place->removeWidget(m_body);
        m_window->layout()->addWidget(m_body);
        m_body->show();
        m_place->setCurrentWidget(m_away);
        m_detach->setText(QStringLiteral("放回主窗口"));
        m_detach->setToolTip(QStringLiteral("把线路监视放回主窗口的页面"));
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    m_window->layout()->removeWidget(m_body);
    m_place->insertWidget(0, m_body);
    m_place->setCurrentWidget(m_body);
    m_detach->setText(QStringLiteral("单独窗口"));
    m_detach->setToolTip(QStringLiteral("在可调整大小的单独窗口中显示线路监视"));
    m_window->hide();
}

void LineMonitor::showCapacity(const QString& warning) {
    if (m_capacity->text() == warning) return;
    m_capacity->setText(warning);
    m_capacity->setVisible(!warning.isEmpty());
}

void LineMonitor::tick() {
    constexpr int kTicksToWait = 3;
    if (m_model.sendLoopActive && ++m_ticksWithoutLook < kTicksToWait) {
        m_lookAsked = true;
        m_tap.AskAfterNextFrame();
        return;
    }
    const bool stalled = m_model.sendLoopActive;
    look();
    if (!stalled) return;
    // No frame left for a few ticks (the line stalls, or the period is
    // long): the figures cannot wait for one, they follow at once.
    m_figuresToShow.clear();
    for (const auto& [line, text] : figures()) m_readout->setLine(line, text);
}

void LineMonitor::frameLeft() {
    // One step per frame, so that no period pays for more than one: the
    // look first, then the figures one line at a time.
    if (m_lookAsked) {
        look();
    } else if (!m_figuresToShow.empty()) {
        const auto [line, text] = m_figuresToShow.front();
        m_figuresToShow.erase(m_figuresToShow.begin());
        m_readout->setLine(line, text);
    }
    if (m_lookAsked || !m_figuresToShow.empty()) m_tap.AskAfterNextFrame();
}

void LineMonitor::look() {
    m_lookAsked = false;
    m_ticksWithoutLook = 0;
    takeFrames();
    takeArrived();
    m_chart->refresh();
    // The figures change with every frame, but a reader takes in a few a
    // second and each new line of text costs a paint: while the loop sends
    // they follow a few times a second, each line after a frame of its own.
    if (!m_model.sendLoopActive) {
        m_figuresToShow.clear();
        for (const auto& [line, text] : figures()) m_readout->setLine(line, text);
        return;
    }
    if (m_sinceFigures.isValid() && !m_sinceFigures.hasExpired(kFiguresIntervalMs)) return;
    m_sinceFigures.start();
    m_figuresToShow = figures();
    m_tap.AskAfterNextFrame();
}

std::vector<std::pair<LineMonitor::ReadoutLine, QString>> LineMonitor::figures() const {
    const SentFrame* frame = m_tap.frames().Newest();
    // The whole frame, its parts set apart.
    const auto text = [frame](bool hex) {
        return frame != nullptr
                   ? QString::fromStdString(PartsText(frame->Bytes(), frame->parts, hex))
                   : QString();
    };
    const QString decimal = text(false);
    const QString hex = text(true);

    QString rate = QStringLiteral("每秒 %1 帧").arg(m_tap.FramesPerSecond(), 0, 'f', 1);
    if (const auto planned = FrameTap::PlannedFramesPerSecond(m_model))
        rate += QStringLiteral("（计划 %1）").arg(*planned, 0, 'f', 1);
    LineWatch* watch = m_model.MSComm1 != nullptr ? m_model.MSComm1->Watch() : nullptr;
    const std::int64_t queued = watch != nullptr ? watch->BytesQueued() : -1;
    rate +=
        queued >= 0 ? QStringLiteral("    待发 %1 字节").arg(queued) : QStringLiteral("    待发 —");
    const LoopbackMatcher& loop = m_loopback;
    if (loop.equal() + loop.different() + loop.missed() + loop.missedBytes() + loop.extraBytes() >
        0) {
        rate += QStringLiteral("    回环 相同 %1 不同 %2").arg(loop.equal()).arg(loop.different());
        if (loop.missed() > 0) rate += QStringLiteral(" 漏 %1 帧").arg(loop.missed());
        if (loop.missedBytes() > 0) rate += QStringLiteral(" 缺 %1 字节").arg(loop.missedBytes());
        if (loop.extraBytes() > 0) rate += QStringLiteral(" 多 %1 字节").arg(loop.extraBytes());
    }
    return {{kLastDecimal, QStringLiteral("末帧  %1").arg(decimal)},
            {kLastHex, QStringLiteral("十六进制  %1").arg(hex)},
            {kRates, rate}};
}

void LineMonitor::takeFrames() {
    const SentFrames& sent = m_tap.frames();
    if (m_tap.session() != m_session) {
        // A new sending: its frames count from 1 and its times from 0.
        m_session = m_tap.session();
        m_seenTakeBacks = m_tap.takeBacks();
        m_seenFrames = 0;
        m_seenMarks = 0;
        m_chart->clear();
    } else if (m_tap.takeBacks() != m_seenTakeBacks) {
        // Frames the chart shows never left: it is drawn again from the ring.
        m_seenTakeBacks = m_tap.takeBacks();
        m_seenFrames =
            sent.total() > LineChart::kCapacity ? sent.total() - LineChart::kCapacity : 0;
        m_seenMarks = 0;
        m_chart->clear();
    }
    for (std::uint64_t n = std::max(m_seenFrames + 1, sent.oldest()); n <= sent.total(); ++n) {
        if (const SentFrame* f = sent.Find(n)) m_chart->append(ToChart(*f));
    }
    m_seenFrames = sent.total();

    const PlanMarks& marks = m_tap.planMarks();
    const std::vector<PlanMark>& held = marks.marks();
    const std::uint64_t fresh = std::min<std::uint64_t>(marks.total() - m_seenMarks, held.size());
    for (std::size_t i = held.size() - static_cast<std::size_t>(fresh); i < held.size(); ++i) {
        // The plan sending started with is no change.
        if (held[i].firstFrame > 1) m_chart->addMark(held[i].ms);
    }
    m_seenMarks = marks.total();
    m_chart->setLabels(held.empty() ? ToQt(SlotLabels(m_model))
                                    : ToQt({held.back().labels.begin(), held.back().labels.end()}));
}

void LineMonitor::takeArrived() {
    LineWatch* watch = m_model.MSComm1 != nullptr ? m_model.MSComm1->Watch() : nullptr;
    if (watch == nullptr) return;
    const ArrivedStore& arrived = watch->Arrived();
    m_loopback.Update(m_tap.frames(), m_tap.session(), arrived);
    if (arrived.total() <= m_seenArrived) return;
    // The arrival times are steady-clock readings; the lines show the time
    // of day.
    const double steadyNow = std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    const QDateTime wallNow = QDateTime::currentDateTime();
    QString text;
    for (const ArrivedRow& row : m_arrivedRows.Take(arrived)) {
        if (!row.continues) {
            if (!text.isEmpty() || !m_arrived->document()->isEmpty()) text += QLatin1Char('\n');
            const QDateTime when = wallNow.addMSecs(-static_cast<qint64>(steadyNow - row.ms));
            text += when.toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ');
        }
        for (const std::uint8_t b : row.bytes)
            text +=
                QLatin1Char(' ') + QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    }
    m_seenArrived = arrived.total();
    if (text.isEmpty()) return;
    QTextCursor end(m_arrived->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    m_arrived->ensureCursorVisible();
}

void LineMonitor::toggleRecording() {
    if (m_tap.recording()) {
        m_tap.StopRecording();
        showRecording();
        return;
    }
    if (m_dialog == nullptr) {
        // Not exec(): a nested event loop would hold the send loop's
        // handler inside it.
        m_dialog = new RecordDialog(this);
        m_dialog->setObjectName(QStringLiteral("monitorRecordDialog"));
        connect(m_dialog, &QFileDialog::fileSelected, this, &LineMonitor::startRecording);
    }
    m_dialog->open();
}

void LineMonitor::startRecording(const QString& path) {
    const std::string why = m_tap.StartRecording(path.toStdString(), m_model);
    m_failure =
        why.empty() ? QString() : RecordingFailure(path, QString::fromStdString(why), false);
    showRecording();
}

void LineMonitor::recordingFailed(const QString& reason) {
    m_failure = RecordingFailure(QString::fromStdString(m_tap.recordingPath()), reason, true);
    showRecording();
}

QString LineMonitor::RecordingFailure(const QString& path, const QString& reason, bool started) {
    // A reason may start with the path it is about, which the sentence
    // names already.
    QString detail = reason.trimmed();
    const QString prefix = path + QStringLiteral(": ");
    if (!path.isEmpty() && detail.startsWith(prefix)) detail = detail.mid(prefix.size());
    const std::string shownPath = QDir::toNativeSeparators(path).toStdString();
    QString text = QString::fromStdString(
        Say(started ? TextId::RecordingCannotWrite : TextId::RecordingCannotStart, {shownPath}));
    // The program's own reasons are said in the window's language; the
    // system's (in its own, mostly English) only as a detail after them.
    bool programs = false;
    for (const QChar c : detail) programs = programs || c.unicode() >= 0x2E80;
    if (detail.isEmpty()) return text;
    if (programs) return text + QStringLiteral("：") + detail;
    return text + QString::fromStdString(Say(TextId::SystemSaid, {detail.toStdString()}));
}

void LineMonitor::showRecording() {
    const bool on = m_tap.recording();
    m_record->setText(on ? QStringLiteral("停止记录") : QStringLiteral("开始记录"));
    const bool failed = !m_failure.isEmpty() && !on;
    m_recordState->setText(
        on ? QStringLiteral("记录到 %1")
                 .arg(QFileInfo(QString::fromStdString(m_tap.recordingPath())).fileName())
           : QString());
    m_recordState->setToolTip(
        on ? QDir::toNativeSeparators(QString::fromStdString(m_tap.recordingPath())) : QString());
    m_recordFailure->setFullText(failed ? QStringLiteral("记录已停止：%1").arg(m_failure)
                                        : QString());
    m_recordFailure->setVisible(failed);
}

}  // namespace kiv
