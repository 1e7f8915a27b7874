#include "gui/lamp_widget.h"

#include <QPainter>

namespace kiv {

QColor ColorFromBgr(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

namespace {
constexpr int kRepaintIntervalMs = 20;
}

LampWidget::LampWidget(QWidget* parent)
    : QWidget(parent), m_throttle([this] { update(); }, kRepaintIntervalMs) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LampWidget::setBackColor(std::uint32_t colour) {
    if (colour == m_colour) return;
    m_colour = colour;
    m_throttle.request();
}

QColor LampWidget::color() const {
    return ColorFromBgr(m_colour);
}

QSize LampWidget::sizeHint() const {
    const int d = fontMetrics().height() + 4;
    return {d, d};
}

void LampWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    p.setBrush(color());
    const int d = qMin(width(), height()) - 2;
    p.drawEllipse(QRectF((width() - d) / 2.0, (height() - d) / 2.0, d, d));
}

}  // namespace kiv
