#pragma once

#include <QLCDNumber>
#include <cstdint>

#include "gui/paint_throttle.h"

namespace kiv {

// The send-count display: six digits, repainted at a screen's pace however
// fast the count runs. value() is the count last given, at once.
class TallyDisplay : public QLCDNumber {
    Q_OBJECT
  public:
    explicit TallyDisplay(QWidget* parent = nullptr);

    void setValue(std::int32_t value);
    std::int32_t value() const { return m_value; }

  private:
    std::int32_t m_value = 0;
    PaintThrottle m_throttle;
};

}  // namespace kiv
