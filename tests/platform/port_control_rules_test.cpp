// The setter rules every port control of this system applies, the same
// table for each (tests/platform/port_controls_*.cpp list the controls).
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>

#include "model/errors.h"
#include "platform/port_controls.h"

namespace kiv::testing {
namespace {

struct SetterCase {
    const char* name;  // the call, as a refusal names it
    std::function<void(PortControlBase&)> apply;
    bool accepted;
};

using kiv::testing::PrintTo;

class SetterRules : public ::testing::TestWithParam<std::tuple<PortControlKind, SetterCase>> {};

TEST_P(SetterRules, AcceptOrRaiseAPortErrorThatNamesTheMember) {
    const auto& [kind, c] = GetParam();
    ControlUnderTest under = kind.make();
    std::optional<KivError> raised;
    try {
        c.apply(*under.control);
    } catch (const KivError& e) {
        raised = e;
    }
    if (c.accepted) {
        EXPECT_FALSE(raised) << raised->what();
    } else {
        ASSERT_TRUE(raised) << c.name << " was accepted";
        EXPECT_EQ(raised->kind(), ErrorKind::Port);
        // The reason names the member refused, as the call's first word.
        const std::string call = c.name;
        const std::string member = call.substr(0, call.find(' '));
        EXPECT_EQ(std::string(raised->what()).rfind(member + " ", 0), 0U) << raised->what();
    }
    EXPECT_FALSE(under.control->PortOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EveryControl, SetterRules,
    ::testing::Combine(
        ::testing::ValuesIn(PortControlsOfThisSystem()),
        ::testing::Values(
            SetterCase{"InBufferSize 600", [](PortControlBase& c) { c.setInBufferSize(600); },
                       true},
            SetterCase{"InBufferSize 0", [](PortControlBase& c) { c.setInBufferSize(0); }, true},
            SetterCase{"InBufferSize -1", [](PortControlBase& c) { c.setInBufferSize(-1); }, false},
            SetterCase{"OutBufferSize 10", [](PortControlBase& c) { c.setOutBufferSize(10); },
                       true},
            SetterCase{"OutBufferSize 0", [](PortControlBase& c) { c.setOutBufferSize(0); }, true},
            SetterCase{"OutBufferSize -1", [](PortControlBase& c) { c.setOutBufferSize(-1); },
                       false},
            SetterCase{"OutBufferSize min", [](PortControlBase& c) { c.setOutBufferSize(-32768); },
                       false},
            SetterCase{"InputMode 1", [](PortControlBase& c) { c.setInputMode(1); }, true},
            SetterCase{"InputMode 0", [](PortControlBase& c) { c.setInputMode(0); }, true},
            SetterCase{"InputMode 2", [](PortControlBase& c) { c.setInputMode(2); }, false},
            SetterCase{"InputMode -1", [](PortControlBase& c) { c.setInputMode(-1); }, false},
            SetterCase{"InputLen 1", [](PortControlBase& c) { c.setInputLen(1); }, true},
            SetterCase{"InputLen -1", [](PortControlBase& c) { c.setInputLen(-1); }, false},
            SetterCase{"InBufferCount 0", [](PortControlBase& c) { c.setInBufferCount(0); }, true},
            SetterCase{"InBufferCount 1", [](PortControlBase& c) { c.setInBufferCount(1); }, false},
            SetterCase{"OutBufferCount 0", [](PortControlBase& c) { c.setOutBufferCount(0); },
                       true},
            SetterCase{"OutBufferCount 5", [](PortControlBase& c) { c.setOutBufferCount(5); },
                       false},
            SetterCase{"RThreshold 1", [](PortControlBase& c) { c.setRThreshold(1); }, true},
            SetterCase{"RThreshold -1", [](PortControlBase& c) { c.setRThreshold(-1); }, false},
            SetterCase{"CommPort 1", [](PortControlBase& c) { c.setCommPort(1); }, true},
            SetterCase{"CommPort 4", [](PortControlBase& c) { c.setCommPort(4); }, true},
            SetterCase{"CommPort 0", [](PortControlBase& c) { c.setCommPort(0); }, false},
            SetterCase{"CommPort 5", [](PortControlBase& c) { c.setCommPort(5); }, false},
            SetterCase{"CommPort -1", [](PortControlBase& c) { c.setCommPort(-1); }, false},
            SetterCase{"Settings 9600,n,8,1",
                       [](PortControlBase& c) { c.setSettings("9600,n,8,1"); }, true},
            SetterCase{"Settings 56000,o,6,2",
                       [](PortControlBase& c) { c.setSettings("56000,o,6,2"); }, true},
            SetterCase{"Settings 9600,x,8,1",
                       [](PortControlBase& c) { c.setSettings("9600,x,8,1"); }, false},
            SetterCase{"Settings 9600,n,9,1",
                       [](PortControlBase& c) { c.setSettings("9600,n,9,1"); }, false},
            SetterCase{"Settings empty", [](PortControlBase& c) { c.setSettings(""); }, false})),
    [](const auto& info) {
        std::string name =
            std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

}  // namespace
}  // namespace kiv::testing
