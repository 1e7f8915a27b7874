#include "gui/line_chart.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kiv {
namespace {

// Ten colours that stay apart on white, one per byte of the frame.
constexpr std::array<QRgb, kSlotCount> kTraceColours = {
    0xff1f77b4, 0xffd62728, 0xff2ca02c, 0xffff7f0e, 0xff9467bd,
    0xff8c564b, 0xffe377c2, 0xff17becf, 0xffbcbd22, 0xff505050,
};
constexpr QRgb kMarkColour = 0xffb00000;
constexpr int kMaxLanes = static_cast<int>(kTraceColours.size());
// Rows kept free at the top and bottom of a lane, so that a trace at 255
// or 0 stays clear of the plot's edge and of the next lane.
constexpr int kLaneInset = 2;

constexpr int kLeftMargin = 24;
constexpr int kBottomMargin = 13;
constexpr int kTopMargin = 3;
constexpr int kLegendWidth = 70;

// A grid step for the time axis that gives four to six lines.
double TimeStepMs(int spanSeconds) {
    switch (spanSeconds) {
        case 1:
            return 200;
        case 10:
            return 2000;
        default:
            return 10000;
    }
}

}  // namespace

LineChart::LineChart(QWidget* parent) : QWidget(parent), m_ring(kCapacity) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    setFont(f);
    setMinimumSize(200, 90);
}

void LineChart::clear() {
    m_head = 0;
    m_size = 0;
    m_appended = 0;
    m_markTimes.clear();
    rebuild();
}

void LineChart::append(const ChartFrame& frame) {
    m_ring[m_head] = frame;
    m_head = (m_head + 1) % kCapacity;
    m_size = std::min(m_size + 1, kCapacity);
    ++m_appended;
}

void LineChart::addMark(double ms) {
    if (m_markTimes.size() == kMarkCapacity) {
        m_markTimes.erase(m_markTimes.begin());
        if (m_marksDrawn > 0) --m_marksDrawn;
    }
    m_markTimes.push_back(ms);
}

void LineChart::setLabels(const QStringList& labels) {
    if (labels == m_labels) return;
    const int lanes = laneCount();
    m_labels = labels;
    m_backdrop = QImage();
    // The traces drawn so far stand in lanes of the old height.
    if (laneCount() != lanes) rebuild();
    update();
}

int LineChart::laneCount() const {
    return m_labels.isEmpty() ? kMaxLanes : std::min<int>(m_labels.size(), kMaxLanes);
}

std::pair<int, int> LineChart::laneRows(int lane) const {
    const int h = m_image.isNull() ? plotRect().height() : m_image.height();
    const int n = laneCount();
    const int top = lane * h / n;
    const int bottom = (lane + 1) * h / n - 1;
    // A lane too low for its insets still gets a row.
    const int inset = std::min(kLaneInset, std::max(0, (bottom - top) / 3));
    return {top + inset, std::max(top + inset, bottom - inset)};
}

QRgb LineChart::TraceColour(int trace) {
    return kTraceColours[static_cast<std::size_t>(trace) % kTraceColours.size()];
}

QRgb LineChart::BandColour(int trace) {
    // A third of the trace's colour on white.
    const QRgb c = TraceColour(trace);
    const auto pale = [](int v) { return (v + 2 * 255) / 3; };
    return qRgb(pale(qRed(c)), pale(qGreen(c)), pale(qBlue(c)));
}

void LineChart::setSpanSeconds(int seconds) {
    if (seconds == m_spanSeconds) return;
    m_spanSeconds = seconds;
    rebuild();
}

void LineChart::setFrozen(bool frozen) {
    if (frozen == m_frozen) return;
    m_frozen = frozen;
    if (!m_frozen) rebuild();
    update();
}

const ChartFrame& LineChart::at(std::size_t i) const {
    return m_ring[(m_head + kCapacity - m_size + i) % kCapacity];
}

std::vector<ChartFrame> LineChart::frames() const {
    std::vector<ChartFrame> all;
    all.reserve(m_size);
    for (std::size_t i = 0; i < m_size; ++i) all.push_back(at(i));
    return all;
}

std::vector<double> LineChart::marks() const {
    return m_markTimes;
}

QRect LineChart::plotRect() const {
    return QRect(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kLegendWidth),
                 std::max(1, height() - kTopMargin - kBottomMargin));
}

double LineChart::msPerColumn() const {
    return m_spanSeconds * 1000.0 / std::max(1, m_image.width());
}

std::int64_t LineChart::columnOf(double ms) const {
    return static_cast<std::int64_t>(std::floor(ms / msPerColumn()));
}

double LineChart::msAtX(int x) const {
    const int imageX = x - plotRect().left();
    const std::int64_t column = m_rightColumn - (m_image.width() - 1 - imageX);
    return (static_cast<double>(column) + 0.5) * msPerColumn();
}

int LineChart::yOf(int level, int lane) const {
    const auto [top, bottom] = laneRows(lane);
    return top + (255 - level) * (bottom - top) / 255;
}

std::size_t LineChart::firstAtOrAfter(double ms) const {
    // The stored frames are in time order.
    std::size_t lo = 0;
    std::size_t hi = m_size;
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (at(mid).ms < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void LineChart::rebuild() {
    const QRect plot = plotRect();
    if (m_image.size() != plot.size())
        m_image = QImage(plot.size(), QImage::Format_ARGB32_Premultiplied);
    m_image.fill(Qt::transparent);
    for (Pen& pen : m_pens) pen = Pen{};
    m_drawn = m_appended - m_size;
    m_marksDrawn = 0;
    const double newest = m_size > 0 ? at(m_size - 1).ms : 0.0;
    m_rightColumn = std::max<std::int64_t>(columnOf(newest), m_image.width() - 1);
    // Only what falls within the span is drawn, from the frame before it on
    // (where the traces come from); earlier marks count as drawn.
    const double from = (static_cast<double>(m_rightColumn - m_image.width() + 1)) * msPerColumn();
    const std::size_t lo = firstAtOrAfter(from);
    std::size_t first = lo > 0 ? lo - 1 : 0;
    // A trace leaves a column at the mean of all the frames in it.
    if (m_size > 0) {
        const std::int64_t column = columnOf(at(first).ms);
        while (first > 0 && columnOf(at(first - 1).ms) == column) --first;
    }
    const double firstMs = m_size > 0 ? at(first).ms : from;
    while (m_marksDrawn < m_markTimes.size() && m_markTimes[m_marksDrawn] < firstMs) ++m_marksDrawn;
    m_drawn += first;
    drawFrom(first);
    update();
}

void LineChart::refresh() {
    if (m_frozen) return;
    const std::uint64_t stored = m_appended - m_size;  // the oldest still stored
    if (m_drawn < stored) {
        // Frames went by unseen: more came than the store holds.
        rebuild();
        return;
    }
    const std::int64_t shownRight = m_rightColumn;
    m_dirtyFrom = std::numeric_limits<std::int64_t>::max();
    m_dirtyTo = std::numeric_limits<std::int64_t>::min();
    drawFrom(static_cast<std::size_t>(m_drawn - stored));
    // Marks after the last frame: an apply while no frame went out yet.
    while (m_marksDrawn < m_markTimes.size()) {
        const double ms = m_markTimes[m_marksDrawn++];
        const std::int64_t column = columnOf(ms);
        scrollTo(column);
        drawMark(column);
        for (Pen& pen : m_pens) pen = Pen{};
    }
    showDrawn(shownRight);
}

int LineChart::imageX(std::int64_t column) const {
    return m_image.width() - 1 - static_cast<int>(m_rightColumn - column);
}

void LineChart::showDrawn(std::int64_t shownRight) {
    const std::int64_t shift = m_rightColumn - shownRight;
    if (shift == 0 && m_dirtyFrom > m_dirtyTo) return;
    const QRect plot = plotRect();
    // The plot's outline stays where it is; within it the picture moves
    // left, and Qt repaints the columns that come in on the right.
    const QRect inside = plot.adjusted(1, 0, -1, 0);
    if (shift >= inside.width()) {
        update(movingRegion());
        return;
    }
    if (shift > 0) scroll(static_cast<int>(-shift), 0, inside);
    if (m_dirtyFrom <= m_dirtyTo) {
        const int left = plot.left() + std::max(0, imageX(m_dirtyFrom));
        const int right = plot.left() + std::max(0, imageX(m_dirtyTo));
        update(QRect(left, plot.top(), right + 1 - left, plot.height()));
    }
    // The time labels below move as a whole.
    update(labelStrip());
}

void LineChart::drawFrom(std::size_t first) {
    for (std::size_t i = first; i < m_size; ++i) {
        const ChartFrame& frame = at(i);
        while (m_marksDrawn < m_markTimes.size() && m_markTimes[m_marksDrawn] <= frame.ms) {
            const std::int64_t column = columnOf(m_markTimes[m_marksDrawn++]);
            scrollTo(column);
            drawMark(column);
            for (Pen& pen : m_pens) pen = Pen{};
        }
        drawFrame(frame);
        ++m_drawn;
    }
}

void LineChart::scrollTo(std::int64_t column) {
    if (column <= m_rightColumn) return;
    const std::int64_t shift = column - m_rightColumn;
    m_rightColumn = column;
    const int w = m_image.width();
    if (shift >= w) {
        m_image.fill(Qt::transparent);
        return;
    }
    const auto keep = static_cast<std::size_t>(w - shift);
    for (int y = 0; y < m_image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_image.scanLine(y));
        std::memmove(row, row + shift, keep * sizeof(QRgb));
        std::fill(row + keep, row + w, QRgb{0});
    }
}

void LineChart::paintRun(int x, int y0, int y1, QRgb colour) {
    if (x < 0 || x >= m_image.width()) return;
    const int top = std::clamp(std::min(y0, y1), 0, m_image.height() - 1);
    const int bottom = std::clamp(std::max(y0, y1), 0, m_image.height() - 1);
    for (int y = top; y <= bottom; ++y) reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = colour;
}

void LineChart::clearLane(int x, int lane) {
    if (x < 0 || x >= m_image.width()) return;
    const int n = laneCount();
    const int h = m_image.height();
    for (int y = lane * h / n; y < (lane + 1) * h / n; ++y) {
        QRgb& pixel = reinterpret_cast<QRgb*>(m_image.scanLine(y))[x];
        if (pixel != kMarkColour) pixel = 0;
    }
}

void LineChart::drawMark(std::int64_t column) {
    const int x = imageX(column);
    if (x < 0) return;
    m_dirtyFrom = std::min(m_dirtyFrom, column);
    m_dirtyTo = std::max(m_dirtyTo, column);
    for (int y = 0; y < m_image.height(); y += 4) paintRun(x, y, y + 1, kMarkColour);
}

void LineChart::drawFrame(const ChartFrame& frame) {
    const std::int64_t column = columnOf(frame.ms);
    scrollTo(column);
    const int x = imageX(column);
    const int lanes = laneCount();
    for (std::size_t k = 0; k < m_pens.size(); ++k) {
        Pen& pen = m_pens[k];
        const int lane = static_cast<int>(k);
        if (k >= frame.length || lane >= lanes) {
            pen = Pen{};
            continue;
        }
        const int level = frame.bytes[k];
        if (pen.count > 0 && pen.column != column) {
            // The column before is done: the line leaves it at its mean.
            pen.lastY = yOf(static_cast<int>(pen.sum / pen.count), lane);
            pen.lastColumn = pen.column;
            pen.count = 0;
        }
        // After a pause the trace starts again rather than bridge it.
        if (pen.lastY >= 0 && static_cast<double>(column - pen.lastColumn) * msPerColumn() > 1000.0)
            pen.lastY = -1;
        if (pen.count == 0) {
            pen.column = column;
            pen.low = pen.high = level;
            pen.sum = 0;
        }
        ++pen.count;
        pen.sum += level;
        pen.low = std::min(pen.low, level);
        pen.high = std::max(pen.high, level);

        m_dirtyFrom = std::min(m_dirtyFrom, pen.lastY < 0 ? column : pen.lastColumn);
        m_dirtyTo = std::max(m_dirtyTo, column);
        // The column is drawn again whole with every frame in it, so that
        // a picture drawn bit by bit ends as one drawn at once.
        clearLane(x, lane);
        if (pen.high > pen.low)
            paintRun(x, yOf(pen.high, lane), yOf(pen.low, lane), BandColour(lane));
        const int y = yOf(static_cast<int>(pen.sum / pen.count), lane);
        const QRgb colour = TraceColour(lane);
        if (pen.lastY < 0 || pen.lastColumn >= column - 1) {
            // The next column: a vertical run joins the levels.
            paintRun(x, pen.lastY < 0 ? y : pen.lastY, y, colour);
        } else {
            // Frames further apart than a column (a long period or a wide
            // span): a line across the columns between.
            const int lastX = x - static_cast<int>(column - pen.lastColumn);
            QPainter painter(&m_image);
            painter.setPen(QColor::fromRgba(colour));
            painter.drawLine(lastX, pen.lastY, x, y);
        }
    }
}

std::optional<ChartFrame> LineChart::frameAt(int x) const {
    const QRect plot = plotRect();
    if (m_size == 0 || x < plot.left() || x > plot.right() || m_image.isNull()) return std::nullopt;
    const double ms = msAtX(x);
    const std::size_t lo = firstAtOrAfter(ms);
    std::optional<std::size_t> best;
    for (const std::size_t i : {lo, lo - 1}) {
        if (i >= m_size) continue;
        if (!best || std::abs(at(i).ms - ms) < std::abs(at(*best).ms - ms)) best = i;
    }
    // Between two frames the nearer one is read out, unless sending paused.
    if (!best || std::abs(at(*best).ms - ms) > std::max(msPerColumn(), 1000.0)) return std::nullopt;
    return at(*best);
}

QString LineChart::Describe(const ChartFrame& frame) {
    QString decimal;
    QString hex;
    for (std::size_t i = 0; i < frame.length && i < frame.bytes.size(); ++i) {
        if (i > 0) {
            decimal += QLatin1Char(' ');
            hex += QLatin1Char(' ');
        }
        decimal += QString::number(frame.bytes[i]);
        hex += QStringLiteral("%1").arg(frame.bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    // A recording counts from its own start: the frame's row there is named
    // too, so that it can be found in the file.
    const QString recorded = frame.recorded == 0 ? QString()
                                                 : QStringLiteral("  （记录第 %1 帧 %2 ms）")
                                                       .arg(frame.recorded)
                                                       .arg(frame.recordedMs, 0, 'f', 3);
    return QStringLiteral("第 %1 帧  %2 s%3  %4  |  %5")
        .arg(frame.count)
        .arg(frame.ms / 1000.0, 0, 'f', 3)
        .arg(recorded, decimal, hex);
}

void LineChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rebuild();
}

void LineChart::mouseMoveEvent(QMouseEvent* event) {
    m_pointerX = event->position().toPoint().x();
    const auto frame = frameAt(m_pointerX);
    emit pointed(frame ? Describe(*frame) : QString());
    if (m_frozen) update(movingRegion());
}

void LineChart::leaveEvent(QEvent* event) {
    m_pointerX = -1;
    emit pointed(QString());
    if (m_frozen) update(movingRegion());
    QWidget::leaveEvent(event);
}

void LineChart::drawBackdrop() {
    // What changes only with the size and the labels: the margins, the
    // plot's white with the level lines, and the legend.
    m_backdrop = QImage(size(), QImage::Format_RGB32);
    m_stamps.clear();
    QPainter p(&m_backdrop);
    p.fillRect(rect(), palette().window());
    const QRect plot = plotRect();
    p.fillRect(plot, Qt::white);
    const QFontMetrics fm = fontMetrics();
    p.setFont(font());
    const int lanes = laneCount();
    const int h = plot.height();
    const QColor textColour = palette().color(QPalette::WindowText);
    const int rowHeight = std::max(fm.height(), 1);
    const int legendX = plot.right() + 6;
    int legendFree = plot.top();  // the first row the next legend entry may use
    for (int lane = 0; lane < lanes; ++lane) {
        const auto [top, bottom] = laneRows(lane);
        // The lanes apart, and a line at the middle level in each.
        if (lane > 0) {
            p.setPen(QColor(0xb8, 0xb8, 0xb8));
            const int y = plot.top() + lane * h / lanes;
            p.drawLine(plot.left(), y, plot.right(), y);
        }
        p.setPen(QColor(0xee, 0xee, 0xee));
        p.drawLine(plot.left(), plot.top() + yOf(128, lane), plot.right(),
                   plot.top() + yOf(128, lane));
        // Levels beside a lane with room for two of them.
        p.setPen(textColour);
        if (bottom - top + 1 >= 2 * fm.height()) {
            for (const int level : {0, 255}) {
                const int y = plot.top() + yOf(level, lane);
                const int boxTop = level == 255 ? y - 1 : y - fm.height() + 2;
                p.drawText(QRect(0, boxTop, kLeftMargin - 3, fm.height()),
                           Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
            }
        }
        // The lane's name level with it, where the names before left room.
        if (lane < m_labels.size()) {
            const int y = std::max(legendFree, plot.top() + (top + bottom) / 2 - rowHeight / 2);
            if (y + rowHeight > plot.bottom() + kBottomMargin) continue;
            legendFree = y + rowHeight;
            p.fillRect(legendX, y + rowHeight / 2 - 1, 8, 3, QColor::fromRgba(TraceColour(lane)));
            p.setPen(textColour);
            p.drawText(QRect(legendX + 11, y, kLegendWidth - 12, rowHeight),
                       Qt::AlignLeft | Qt::AlignVCenter, m_labels[lane]);
        }
    }
}

void LineChart::paintEvent(QPaintEvent* event) {
    if (m_backdrop.size() != size()) drawBackdrop();
    QPainter p(this);
    // In bands of fewer than 96 lines: Qt hands any taller fill or copy to
    // its thread pool, and waking those threads 30 times a second cost the
    // send loop more than the drawing itself.
    constexpr int kBand = 64;
    for (const QRect& dirty : event->region()) {
        for (int top = dirty.top(); top <= dirty.bottom(); top += kBand) {
            const QRect band(dirty.left(), top, dirty.width(),
                             std::min(kBand, dirty.bottom() + 1 - top));
            p.setClipRect(band);
            paintBand(p, band);
        }
    }
}

void LineChart::paintBand(QPainter& p, const QRect& band) {
    p.drawImage(band.topLeft(), m_backdrop, band);
    const QRect plot = plotRect();

    // Time: lines at whole steps since sending started, labelled below.
    // Lines and edges are filled as rectangles, and only where they cross
    // the band: a band may be a few columns wide.
    const QColor gridColour(0xdd, 0xdd, 0xdd);
    const QRgb textColour = palette().color(QPalette::WindowText).rgba();
    const double step = TimeStepMs(m_spanSeconds);
    const double rightMs = static_cast<double>(m_rightColumn + 1) * msPerColumn();
    const double leftMs = rightMs - m_spanSeconds * 1000.0;
    for (double t = std::ceil(leftMs / step) * step; t <= rightMs; t += step) {
        if (t < 0) continue;
        // By whole columns, as the picture goes, so that a line scrolled on
        // screen meets the same line drawn afresh.
        const int x = plot.left() + imageX(columnOf(t));
        const QRect line = QRect(x, plot.top(), 1, plot.height()) & band & plot;
        if (!line.isEmpty()) p.fillRect(line, gridColour);
        const QRect label(x - 30, plot.bottom() + 1, 60, kBottomMargin);
        if (label.intersects(band))
            drawStamp(p, label, Qt::AlignHCenter | Qt::AlignTop,
                      QStringLiteral("%1 s").arg(t / 1000.0), textColour);
    }
    const QRect imageBand = band.intersected(plot);
    if (!imageBand.isEmpty())
        p.drawImage(imageBand.topLeft(), m_image, imageBand.translated(-plot.topLeft()));
    const QColor edgeColour(0x90, 0x90, 0x90);
    for (const QRect& edge : {QRect(plot.left(), plot.top(), plot.width(), 1),
                              QRect(plot.left(), plot.bottom(), plot.width(), 1),
                              QRect(plot.left(), plot.top(), 1, plot.height()),
                              QRect(plot.right(), plot.top(), 1, plot.height())}) {
        const QRect part = edge & band;
        if (!part.isEmpty()) p.fillRect(part, edgeColour);
    }

    if (m_frozen && m_pointerX >= plot.left() && m_pointerX <= plot.right()) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawLine(m_pointerX, plot.top(), m_pointerX, plot.bottom());
    }
    if (m_frozen && band.top() <= plot.top() + fontMetrics().height()) {
        const int w = fontMetrics().horizontalAdvance(QStringLiteral("冻结")) + 2;
        drawStamp(p, QRect(plot.right() - 3 - w, plot.top() + 2, w, fontMetrics().height()),
                  Qt::AlignRight | Qt::AlignTop, QStringLiteral("冻结"), kMarkColour);
    }
}

QRect LineChart::labelStrip() const {
    const int top = plotRect().bottom() + 1;
    return QRect(0, top, width(), height() - top);
}

QRegion LineChart::movingRegion() const {
    return QRegion(plotRect()) + QRegion(labelStrip());
}

void LineChart::drawStamp(QPainter& p, const QRect& box, int flags, const QString& text,
                          QRgb colour) {
    const QString key = QString::number(colour, 16) + QLatin1Char(' ') + text;
    auto found = m_stamps.constFind(key);
    if (found == m_stamps.constEnd() || found->size() != box.size() * devicePixelRatio()) {
        // Labels come and go as time moves on; a few dozen cover any span.
        if (m_stamps.size() >= 64) m_stamps.clear();
        QImage stamp(box.size() * devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
        stamp.setDevicePixelRatio(devicePixelRatio());
        stamp.fill(Qt::transparent);
        QPainter sp(&stamp);
        sp.setFont(font());
        sp.setPen(QColor::fromRgba(colour));
        sp.drawText(QRect(QPoint(0, 0), box.size()), flags, text);
        sp.end();
        found = m_stamps.insert(key, stamp);
    }
    p.drawImage(box.topLeft(), *found);
}

}  // namespace kiv
