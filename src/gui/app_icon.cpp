#include "gui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace kiv {
namespace {

// All shapes on a 64 x 64 grid, as in packaging/kiv.svg.
constexpr double kGrid = 64.0;
constexpr double kPi = 3.14159265358979323846;

struct Bar {
    double x, height;
};
constexpr Bar kBars[] = {{12, 6}, {22, 10}, {32, 4}, {42, 8}};
constexpr double kBarWidth = 7;
constexpr double kBarBottom = 54;

}  // namespace

QImage AppIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kGrid, size / kGrid);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x79));
    p.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);

    p.setBrush(Qt::white);
    for (const Bar& bar : kBars)
        p.drawRect(QRectF(bar.x, kBarBottom - bar.height, kBarWidth, bar.height));

    // One period from x 10 to 54 around y 26, starting upward, as the
    // polyline of the SVG: 32 segments.
    QPainterPath sine;
    for (int i = 0; i <= 32; ++i) {
        const QPointF point(10 + i * 44.0 / 32, 26 - 12 * std::sin(2 * kPi * i / 32));
        if (i == 0)
            sine.moveTo(point);
        else
            sine.lineTo(point);
    }
    QPen pen(QColor(0x80, 0xff, 0x80), 4);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(sine);
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : kAppIconSizes) icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
    return icon;
}

}  // namespace kiv
