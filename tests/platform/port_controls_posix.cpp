// The port controls of Linux: QSerialPort's on a pseudo-terminal standing in
// for a cable, and the virtual port. Both take OutBufferSize by the same
// rules, which only an open port shows.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/comm_test_support.h"
#include "platform/port_controls.h"
#include "platform/pty_port.h"
#include "platform/qt_comm_control.h"
#include "support/pty_pair.h"
#include "support/table_cases.h"

namespace kiv::testing {

std::vector<PortControlKind> PortControlsOfThisSystem() {
    return {
        {"QtCommControl",
         [] {
             auto cable = std::make_shared<PtyPair>();
             PortMap map;
             map.setDevice(1, cable->slavePath());
             return ControlUnderTest{cable, std::make_unique<QtCommControl>(map)};
         }},
        {"PtyPort",
         [] {
             return ControlUnderTest{{}, std::make_unique<PtyPort>()};
         }},
    };
}

namespace {

enum class Step { Set, SetRefused, Open, Close };

struct SizeStep {
    Step step;
    std::int16_t size = 0;
};

struct OutBufferCase {
    const char* name;
    std::vector<SizeStep> steps;
    // What Output takes of a 600-byte frame at the end.
    std::size_t taken;
};

using kiv::testing::PrintTo;

class OutBufferSizeRules
    : public ::testing::TestWithParam<std::tuple<PortControlKind, OutBufferCase>> {};

TEST_P(OutBufferSizeRules, OutputTakesWhatTheLastOpenWasGiven) {
    const auto& [kind, c] = GetParam();
    ControlUnderTest under = kind.make();
    PortControlBase& control = *under.control;
    for (const SizeStep& s : c.steps) {
        switch (s.step) {
            case Step::Set:
                control.setOutBufferSize(s.size);
                break;
            case Step::SetRefused:
                EXPECT_EQ(RaisedKind([&] { control.setOutBufferSize(s.size); }), ErrorKind::Port);
                break;
            case Step::Open:
                control.setPortOpen(true);
                break;
            case Step::Close:
                control.setPortOpen(false);
                break;
        }
    }
    ASSERT_TRUE(control.PortOpen());
    const std::vector<std::uint8_t> frame(600, 0x5A);
    EXPECT_EQ(control.Output(frame), c.taken);
}

INSTANTIATE_TEST_SUITE_P(
    EveryControl, OutBufferSizeRules,
    ::testing::Combine(
        ::testing::ValuesIn(PortControlsOfThisSystem()),
        ::testing::Values(
            OutBufferCase{"Default", {{Step::Open}}, 512},
            OutBufferCase{"SetBeforeOpen", {{Step::Set, 20}, {Step::Open}}, 20},
            OutBufferCase{"SetWhileOpenWaits", {{Step::Open}, {Step::Set, 20}}, 512},
            OutBufferCase{"SetWhileOpenAtNextOpen",
                          {{Step::Open}, {Step::Set, 20}, {Step::Close}, {Step::Open}},
                          20},
            OutBufferCase{"ZeroTakesNothing", {{Step::Set, 0}, {Step::Open}}, 0},
            OutBufferCase{"LargerThanTheFrame", {{Step::Set, 1000}, {Step::Open}}, 600},
            OutBufferCase{"RefusedKeepsTheLast",
                          {{Step::Set, 20}, {Step::SetRefused, -1}, {Step::Open}},
                          20})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace kiv::testing
