// The one place where the window layer reads the Windows clock: the
// performance counter, monotonic and finer than a microsecond.
#include <windows.h>

#include "platform/steady_millisecond_clock.h"

namespace kiv {
namespace {

std::int64_t CounterFrequency() {
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return f.QuadPart > 0 ? f.QuadPart : 1;
    }();
    return frequency;
}

}  // namespace

std::int64_t MonotonicNanoseconds() {
    LARGE_INTEGER count{};
    QueryPerformanceCounter(&count);
    const std::int64_t f = CounterFrequency();
    // Whole seconds and the rest apart, so the product cannot overflow.
    return count.QuadPart / f * 1'000'000'000 + count.QuadPart % f * 1'000'000'000 / f;
}

std::uint32_t SteadyMillisecondClock::Now() {
    return static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(MonotonicNanoseconds() / 1'000'000));
}

}  // namespace kiv
