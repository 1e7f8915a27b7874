// What the wake timer keeps track of, the same on every system: which moment
// is asked for, and when a repetition the system keeps makes a new setting
// unnecessary.
#include "platform/wake_timer.h"

namespace kiv {
namespace {
constexpr std::int64_t kNsPerMs = 1'000'000;
}

void WakeTimer::ArmAt(std::int64_t deadlineNs) {
    if (!m_system) return;
    // The timer is set for this moment already: still pending (a yield
    // repeated after an early wake-up), or rearmed by the system when it
    // last fired.
    if (deadlineNs == m_nextNs && (m_pending || m_intervalNs > 0)) {
        m_armedNs = deadlineNs;
        m_pending = true;
        return;
    }
    // Steps of whole milliseconds are what the send loop asks for; another
    // one is not repeated, so a caller's odd request cannot make the timer
    // fire in a storm, and every system can keep the repetition.
    const std::int64_t step = deadlineNs - m_armedNs;
    const bool repeat = m_armedNs > 0 && step >= kNsPerMs && step % kNsPerMs == 0;
    if (!Set(deadlineNs, repeat ? step : 0)) return;
    m_armedNs = deadlineNs;
    m_pending = true;
}

bool WakeTimer::Set(std::int64_t valueNs, std::int64_t intervalNs) {
    ++m_timesSet;
    if (!SetSystem(valueNs, intervalNs)) {
        m_intervalNs = 0;
        return false;
    }
    m_intervalNs = intervalNs;
    m_nextNs = valueNs;
    return true;
}

void WakeTimer::OnFired(std::uint64_t expirations) {
    if (expirations == 0) return;
    const bool asked = m_pending;
    m_pending = false;
    ++m_fired;
    if (m_intervalNs <= 0) return;
    m_nextNs += static_cast<std::int64_t>(expirations) * m_intervalNs;
    // Nobody waits for the repetitions any more (the loop ended or changed
    // pace): stop them rather than wake the thread every step.
    if (!asked) Set(0, 0);
}

}  // namespace kiv
