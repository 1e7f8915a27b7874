#include "gui/wave_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace kiv {
namespace {

constexpr double kFullScale = 255.0;

// A fixed jagged pattern in -0.5..0.5 for the noise band: the picture stays
// the same from paint to paint.
constexpr double kNoisePattern[] = {0.10,  -0.35, 0.42,  -0.08, 0.27,  -0.47, 0.05,  0.38,
                                    -0.22, 0.15,  -0.40, 0.31,  -0.12, 0.46,  -0.29, 0.02,
                                    0.35,  -0.44, 0.20,  -0.05, 0.48,  -0.18, 0.08,  -0.36,
                                    0.25,  -0.02, 0.41,  -0.31, 0.12,  -0.45};

}  // namespace

std::vector<WaveSegment> PeriodSegments(WaveKind kind, const SignalParams& p) {
    const double low = p.a0;
    const double high = static_cast<double>(p.a0) + p.am;
    switch (kind) {
        case WaveKind::Sine:
            if (p.t1 <= 0) return {};
            return {{"t1", static_cast<double>(p.t1), high, high}};
        case WaveKind::Rectangular: {
            // The low level lasts the rest of the cycle after t1.
            const double rest = static_cast<double>(p.cycle) - p.t1;
            if (p.t1 < 0 || rest < 0 || p.cycle <= 0) return {};
            return {{"t1", static_cast<double>(p.t1), high, high}, {"t2", rest, low, low}};
        }
        case WaveKind::Sawtooth: {
            const double rest = static_cast<double>(p.cycle) - p.t1 - p.t2;
            if (p.t1 < 0 || p.t2 < 0 || rest < 0 || p.cycle <= 0) return {};
            return {{"t1", static_cast<double>(p.t1), low, high},
                    {"t2", static_cast<double>(p.t2), high, low},
                    {"t3", rest, low, low}};
        }
        case WaveKind::Noise:
            return {};
    }
    return {};
}

WavePicture::WavePicture(WaveKind kind, QWidget* parent) : QWidget(parent), m_kind(kind) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void WavePicture::setSignal(const QString& name, const SignalParams& params) {
    if (name == m_name && params == m_params) return;
    m_name = name;
    m_params = params;
    update();
}

void WavePicture::setDecorative(bool decorative) {
    if (decorative == m_decorative) return;
    m_decorative = decorative;
    update();
}

QSize WavePicture::sizeHint() const {
    return {200, 120};
}

void WavePicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.color(QPalette::Base));
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    QFont small = font();
    small.setPointSizeF(font().pointSizeF() * 0.8);
    p.setFont(small);
    const QFontMetrics fm(small);
    const int textH = fm.height();

    // Plot area: room for the level numbers on the left, the caption on top
    // and the time marks below.
    const int left = m_decorative ? 4 : fm.horizontalAdvance(QStringLiteral("255")) + 8;
    // The top level's number sits centred on its line: keep it clear of the caption.
    const int top = m_decorative ? 4 : textH * 3 / 2 + 4;
    const int bottom = height() - (m_decorative ? 4 : textH + 4);
    const int right = width() - 6;
    if (right - left < 10 || bottom - top < 10) return;
    const QRectF plot(left, top, right - left, bottom - top);
    auto yOf = [&](double level) { return plot.bottom() - level / kFullScale * plot.height(); };

    const SignalParams& s = m_params;
    const double low = s.a0;
    const double high = static_cast<double>(s.a0) + s.am;

    if (!m_decorative) {
        p.setPen(pal.color(QPalette::Text));
        QString caption = m_name;
        if (m_kind == WaveKind::Noise)
            caption += QStringLiteral("  am=%1").arg(s.am);
        else
            caption += QStringLiteral("  am=%1  a0=%2").arg(s.am).arg(s.a0);
        p.drawText(QPointF(4, fm.ascent() + 2), caption);

        // Axes.
        p.setPen(pal.color(QPalette::Mid));
        p.drawLine(plot.bottomLeft(), plot.bottomRight());
        p.drawLine(plot.bottomLeft(), plot.topLeft());
    }

    QPen levelPen(pal.color(QPalette::Mid), 1, Qt::DashLine);
    auto markLevel = [&](double level, const QString& text) {
        const double y = yOf(level);
        p.setPen(levelPen);
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        if (m_decorative) return;
        p.setPen(pal.color(QPalette::Text));
        p.drawText(QRectF(0, y - textH / 2.0, left - 4, textH), Qt::AlignRight | Qt::AlignVCenter,
                   text);
    };

    QPen wavePen(QColor(0, 90, 200), 1.6);

    if (m_kind == WaveKind::Noise) {
        // A band of height am around the middle of the scale.
        const double mid = kFullScale / 2;
        const QString half = QString::number(s.am / 2.0, 'g', 4);
        if (yOf(mid - s.am / 2.0) - yOf(mid + s.am / 2.0) < textH) {
            // Too thin for two numbers: one mark at the middle says both.
            markLevel(mid, QStringLiteral("±") + half);
        } else {
            markLevel(mid + s.am / 2.0, half);
            markLevel(mid - s.am / 2.0, QStringLiteral("-") + half);
        }
        QPainterPath path;
        const int n = static_cast<int>(std::size(kNoisePattern));
        for (int i = 0; i < n; ++i) {
            const QPointF pt(plot.left() + plot.width() * i / (n - 1),
                             yOf(mid + kNoisePattern[i] * s.am));
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.setPen(wavePen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        return;
    }

    markLevel(high, QString::number(s.a0 + s.am));
    // The offset's number only where it does not run into the top level's.
    if (yOf(low) - yOf(high) >= textH) markLevel(low, QString::number(s.a0));

    const std::vector<WaveSegment> segments = PeriodSegments(m_kind, s);
    double period = 0;
    for (const WaveSegment& seg : segments) period += seg.duration;
    p.setPen(wavePen);
    p.setBrush(Qt::NoBrush);
    if (segments.empty() || period <= 0) {
        // No drawable period: the wave rests at its offset.
        p.drawLine(QPointF(plot.left(), yOf(low)), QPointF(plot.right(), yOf(low)));
        return;
    }

    const double xScale = plot.width() / (2 * period);
    QPainterPath path;
    path.moveTo(plot.left(), yOf(segments.front().from));
    for (int rep = 0; rep < 2; ++rep) {
        double t = rep * period;
        for (const WaveSegment& seg : segments) {
            const double x0 = plot.left() + t * xScale;
            const double x1 = x0 + seg.duration * xScale;
            if (m_kind == WaveKind::Sine) {
                const int steps = qMax(8, static_cast<int>(x1 - x0) / 2);
                for (int k = 0; k <= steps; ++k) {
                    const double phase = 2 * std::numbers::pi * k / steps;
                    path.lineTo(x0 + (x1 - x0) * k / steps,
                                yOf(low + s.am * (1 + std::cos(phase)) / 2));
                }
            } else {
                path.lineTo(x0, yOf(seg.from));
                path.lineTo(x1, yOf(seg.to));
            }
            t += seg.duration;
        }
    }
    p.drawPath(path);

    if (m_decorative) return;
    // Segment boundaries of the first period, with the segment names between.
    p.setPen(pal.color(QPalette::Text));
    double t = 0;
    for (const WaveSegment& seg : segments) {
        const double x0 = plot.left() + t * xScale;
        const double x1 = x0 + seg.duration * xScale;
        p.drawLine(QPointF(x1, plot.bottom()), QPointF(x1, plot.bottom() + 3));
        // The value where it fits under its segment, else the name alone.
        const QString name = QString::fromLatin1(seg.label);
        QString mark = QStringLiteral("%1=%2").arg(name).arg(seg.duration);
        if (fm.horizontalAdvance(mark) + 6 > x1 - x0) mark = name;
        if (fm.horizontalAdvance(mark) <= x1 - x0 + 4)
            p.drawText(QRectF(x0, plot.bottom() + 2, x1 - x0, textH), Qt::AlignCenter, mark);
        t += seg.duration;
    }
}

}  // namespace kiv
