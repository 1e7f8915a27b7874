#pragma once

#include <QWidget>
#include <cstdint>

#include "gui/paint_throttle.h"

namespace kiv {

// A status lamp: a filled circle in the colour the model holds. color()
// follows at once; the circle is repainted at a screen's pace.
class LampWidget : public QWidget {
    Q_OBJECT
  public:
    explicit LampWidget(QWidget* parent = nullptr);

    // colour as 0x00BBGGRR, the way the model stores it.
    void setBackColor(std::uint32_t colour);
    QColor color() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::uint32_t m_colour = 0;
    PaintThrottle m_throttle;
};

// The model's 0x00BBGGRR colour as a QColor.
QColor ColorFromBgr(std::uint32_t colour);

}  // namespace kiv
