#include "gui/wave_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>
#include <optional>

namespace kiv {
namespace {

constexpr double kFullScale = 255.0;

// A fixed jagged pattern in -0.5..0.5 for the noise band: the picture stays
// the same from paint to paint.
constexpr double kNoisePattern[] = {0.10,  -0.35, 0.42,  -0.08, 0.27,  -0.47, 0.05,  0.38,
                                    -0.22, 0.15,  -0.40, 0.31,  -0.12, 0.46,  -0.29, 0.02,
                                    0.35,  -0.44, 0.20,  -0.05, 0.48,  -0.18, 0.08,  -0.36,
                                    0.25,  -0.02, 0.41,  -0.31, 0.12,  -0.45};

// The pen of the wave itself.
QPen WavePen() {
    return {QColor(0, 90, 200), 1.6};
}

// What one paint of a picture draws with: the painter, the small type of
// its numbers, and the plot inside the frame with room for the level
// numbers on the left, the caption on top and the time marks below.
struct Canvas {
    QPainter& p;
    const QPalette& pal;
    const QFontMetrics& fm;
    bool decorative;
    int left;   // where the level numbers end
    int textH;  // a line of the small type
    QRectF plot;

    double yOf(double level) const { return plot.bottom() - level / kFullScale * plot.height(); }

    // A dashed line across the plot at `level`, its number to the left.
    void markLevel(double level, const QString& text) const {
        const double y = yOf(level);
        p.setPen(QPen(pal.color(QPalette::Mid), 1, Qt::DashLine));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        if (decorative) return;
        p.setPen(pal.color(QPalette::Text));
        p.drawText(QRectF(0, y - textH / 2.0, left - 4, textH), Qt::AlignRight | Qt::AlignVCenter,
                   text);
    }
};

// The plot inside a picture of `size`, or none when it is too small to draw.
std::optional<QRectF> PlotArea(QSize size, int left, int textH, bool decorative) {
    // The top level's number sits centred on its line: keep it clear of the caption.
    const int top = decorative ? 4 : textH * 3 / 2 + 4;
    const int bottom = size.height() - (decorative ? 4 : textH + 4);
    const int right = size.width() - 6;
    if (right - left < 10 || bottom - top < 10) return std::nullopt;
    return QRectF(left, top, right - left, bottom - top);
}

// The signal's name and levels above the plot, and the two axes.
void PaintCaptionAndAxes(const Canvas& c, const QString& name, const SignalParams& s,
                         bool hasOffset) {
    c.p.setPen(c.pal.color(QPalette::Text));
    QString caption = name;
    if (hasOffset)
        caption += QStringLiteral("  am=%1  a0=%2").arg(s.am).arg(s.a0);
    else
        caption += QStringLiteral("  am=%1").arg(s.am);
    c.p.drawText(QPointF(4, c.fm.ascent() + 2), caption);

    c.p.setPen(c.pal.color(QPalette::Mid));
    c.p.drawLine(c.plot.bottomLeft(), c.plot.bottomRight());
    c.p.drawLine(c.plot.bottomLeft(), c.plot.topLeft());
}

// A wave without an offset: a band of height am around the middle of the
// scale, drawn as a fixed jagged line.
void PaintBand(const Canvas& c, const SignalParams& s) {
    const double mid = kFullScale / 2;
    const QString half = QString::number(s.am / 2.0, 'g', 4);
    if (c.yOf(mid - s.am / 2.0) - c.yOf(mid + s.am / 2.0) < c.textH) {
        // Too thin for two numbers: one mark at the middle says both.
        c.markLevel(mid, QStringLiteral("±") + half);
    } else {
        c.markLevel(mid + s.am / 2.0, half);
        c.markLevel(mid - s.am / 2.0, QStringLiteral("-") + half);
    }
    QPainterPath path;
    const int n = static_cast<int>(std::size(kNoisePattern));
    for (int i = 0; i < n; ++i) {
        const QPointF pt(c.plot.left() + c.plot.width() * i / (n - 1),
                         c.yOf(mid + kNoisePattern[i] * s.am));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    c.p.setPen(WavePen());
    c.p.setBrush(Qt::NoBrush);
    c.p.drawPath(path);
}

// The wave's two levels; the offset's number only where it does not run
// into the top level's.
void PaintLevels(const Canvas& c, const SignalParams& s) {
    const double low = s.a0;
    const double high = static_cast<double>(s.a0) + s.am;
    c.markLevel(high, QString::number(s.a0 + s.am));
    if (c.yOf(low) - c.yOf(high) >= c.textH) c.markLevel(low, QString::number(s.a0));
}

// Two periods of the wave across the plot. Returns the period's length, or
// 0 when it has none to draw and the wave rests at its offset.
double PaintPeriods(const Canvas& c, Waveform waveform, const SignalParams& s,
                    const std::vector<WaveSegment>& segments) {
    double period = 0;
    for (const WaveSegment& seg : segments) period += seg.duration;
    c.p.setPen(WavePen());
    c.p.setBrush(Qt::NoBrush);
    const double low = s.a0;
    if (segments.empty() || period <= 0) {
        c.p.drawLine(QPointF(c.plot.left(), c.yOf(low)), QPointF(c.plot.right(), c.yOf(low)));
        return 0;
    }

    const double xScale = c.plot.width() / (2 * period);
    QPainterPath path;
    path.moveTo(c.plot.left(), c.yOf(segments.front().from));
    for (int rep = 0; rep < 2; ++rep) {
        double t = rep * period;
        for (const WaveSegment& seg : segments) {
            const double x0 = c.plot.left() + t * xScale;
            const double x1 = x0 + seg.duration * xScale;
            if (waveform == Waveform::Sine) {
                const int steps = qMax(8, static_cast<int>(x1 - x0) / 2);
                for (int k = 0; k <= steps; ++k) {
                    const double phase = 2 * std::numbers::pi * k / steps;
                    path.lineTo(x0 + (x1 - x0) * k / steps,
                                c.yOf(low + s.am * (1 + std::cos(phase)) / 2));
                }
            } else {
                path.lineTo(x0, c.yOf(seg.from));
                path.lineTo(x1, c.yOf(seg.to));
            }
            t += seg.duration;
        }
    }
    c.p.drawPath(path);
    return period;
}

// The segment boundaries of the first period, with the segments' times
// between them.
void PaintTimeMarks(const Canvas& c, const std::vector<WaveSegment>& segments, double period) {
    const double xScale = c.plot.width() / (2 * period);
    c.p.setPen(c.pal.color(QPalette::Text));
    double t = 0;
    for (const WaveSegment& seg : segments) {
        const double x0 = c.plot.left() + t * xScale;
        const double x1 = x0 + seg.duration * xScale;
        c.p.drawLine(QPointF(x1, c.plot.bottom()), QPointF(x1, c.plot.bottom() + 3));
        // The value where it fits under its segment, else the name alone.
        const QString name = QString::fromLatin1(seg.label);
        QString mark = QStringLiteral("%1=%2").arg(name).arg(seg.duration);
        if (c.fm.horizontalAdvance(mark) + 6 > x1 - x0) mark = name;
        if (c.fm.horizontalAdvance(mark) <= x1 - x0 + 4)
            c.p.drawText(QRectF(x0, c.plot.bottom() + 2, x1 - x0, c.textH), Qt::AlignCenter, mark);
        t += seg.duration;
    }
}

}  // namespace

std::vector<WaveSegment> PeriodSegments(Waveform waveform, const SignalParams& p) {
    const double low = p.a0;
    const double high = static_cast<double>(p.a0) + p.am;
    const auto time = [](ParamBox box) { return kParamBoxNames[box].data(); };
    switch (waveform) {
        case Waveform::Sine:
            if (p.t1 <= 0) return {};
            return {{time(kBoxT1), static_cast<double>(p.t1), high, high}};
        case Waveform::Rectangular: {
            // The low level lasts the rest of the cycle after t1.
            const double rest = static_cast<double>(p.cycle) - p.t1;
            if (p.t1 < 0 || rest < 0 || p.cycle <= 0) return {};
            return {{time(kBoxT1), static_cast<double>(p.t1), high, high},
                    {time(kBoxT2), rest, low, low}};
        }
        case Waveform::Sawtooth: {
            const double rest = static_cast<double>(p.cycle) - p.t1 - p.t2;
            if (p.t1 < 0 || p.t2 < 0 || rest < 0 || p.cycle <= 0) return {};
            return {{time(kBoxT1), static_cast<double>(p.t1), low, high},
                    {time(kBoxT2), static_cast<double>(p.t2), high, low},
                    {time(kBoxT3), rest, low, low}};
        }
        case Waveform::Noise:
        case Waveform::None:
            return {};
    }
    return {};
}

WavePicture::WavePicture(Waveform waveform, QWidget* parent)
    : QWidget(parent), m_waveform(waveform) {
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
    const int left = m_decorative ? 4 : fm.horizontalAdvance(QStringLiteral("255")) + 8;
    const std::optional<QRectF> plot = PlotArea(size(), left, textH, m_decorative);
    if (!plot) return;
    const Canvas canvas{p, pal, fm, m_decorative, left, textH, *plot};

    const WaveRow wave = WaveOf(m_waveform);
    if (!m_decorative) PaintCaptionAndAxes(canvas, m_name, m_params, wave.HasOffset());
    if (!wave.HasOffset()) {
        PaintBand(canvas, m_params);
        return;
    }
    PaintLevels(canvas, m_params);
    const std::vector<WaveSegment> segments = PeriodSegments(m_waveform, m_params);
    const double period = PaintPeriods(canvas, m_waveform, m_params, segments);
    if (m_decorative || period <= 0) return;
    PaintTimeMarks(canvas, segments, period);
}

}  // namespace kiv
