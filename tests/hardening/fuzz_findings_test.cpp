// Faults the fuzz targets found in the logic, kept as plain cases.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "fakes.h"
#include "sending/send_content.h"
#include "signal/compute_frame.h"
#include "signal/numbers.h"
#include "signal/waveforms.h"

namespace kiv {
namespace {

std::optional<ErrorKind> Raised(const std::function<void()>& call) {
    try {
        call();
    } catch (const KivError& e) {
        return e.kind();
    }
    return std::nullopt;
}

// A number too small or too large for a double is judged by its magnitude,
// not by the sign of its exponent: hundreds of zeros after the point make a
// tiny number without any exponent, hundreds of digits before "e-10" a huge
// one with a negative exponent.
TEST(NumbersBeyondADouble, ReadByTheirMagnitude) {
    const std::string zeros(400, '0');
    const struct {
        std::string text;
        std::optional<std::int32_t> integer;  // nothing: Overflow
        SlotKind slot;
    } cases[] = {
        {"0." + zeros + "1", 0, SlotKind::Constant},
        {" -." + zeros + "7 ", 0, SlotKind::Constant},
        {"0." + zeros + "1e+20", 0, SlotKind::Constant},
        {"1" + zeros + "e-10", std::nullopt, SlotKind::Invalid},
        {"-9" + zeros + ".5E-3", std::nullopt, SlotKind::Invalid},
        {"1e-400", 0, SlotKind::Constant},
        {"1e400", std::nullopt, SlotKind::Invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 12) + "... (" + std::to_string(c.text.size()) + " bytes)");
        if (c.integer) {
            EXPECT_EQ(ToInteger(c.text), *c.integer);
        } else {
            EXPECT_EQ(Raised([&] { ToInteger(c.text); }), ErrorKind::Overflow);
        }
        EXPECT_EQ(ClassifySlot(c.text), c.slot);
    }
}

// When a slot's noise cannot be added, that slot keeps its previous byte
// like every later one; only the earlier slots hold new bytes.
TEST(ComputeFrameFailure, ASlotWhoseNoiseFailsKeepsItsPreviousByte) {
    testing::Rig rig;
    Model& w = rig.w;
    w.PI_SINGLE = PiSingle();
    w.signalParams(1) = {100, 0, 0, 60, 100, 100};
    // Far beyond what a noise offset can hold.
    w.signalParams(kNoiseEntry).am = 100000;
    w.slotCount = 3;
    w.slotText(1) = "7";
    w.slotText(2) = "sinx1";
    w.slotText(3) = "9";
    w.Check1(2).Value = 1;
    for (int i = 1; i <= 3; ++i) w.frameBytes(i) = 42;
    rig.random.values = {0.0f};

    EXPECT_EQ(Raised([&] { ComputeFrame(w); }), ErrorKind::Overflow);
    EXPECT_EQ(w.frameBytes(1), 7);
    EXPECT_EQ(w.frameBytes(2), 42);
    EXPECT_EQ(w.frameBytes(3), 42);
}

}  // namespace
}  // namespace kiv
