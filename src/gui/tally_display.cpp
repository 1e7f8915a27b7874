#include "gui/tally_display.h"

namespace kiv {

namespace {
constexpr int kRepaintIntervalMs = 20;
}

TallyDisplay::TallyDisplay(QWidget* parent)
    : QLCDNumber(6, parent),
      m_throttle([this] { display(static_cast<int>(m_value)); }, kRepaintIntervalMs) {
    setSegmentStyle(QLCDNumber::Flat);
    display(0);
}

void TallyDisplay::setValue(std::int32_t value) {
    if (value == m_value) return;
    m_value = value;
    m_throttle.request();
}

}  // namespace kiv
