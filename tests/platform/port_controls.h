#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/port_control_base.h"
#include "support/table_cases.h"

namespace kiv::testing {

// A port control with what it needs around it: for an open, a device at
// its CommPort 1 (the far end of a pseudo-terminal), kept alive in `line`.
// The line is declared first so that it outlives the control: a device
// that went away under an open port would leave the port's lock file
// naming this process on a pty number the next test may be given.
struct ControlUnderTest {
    std::shared_ptr<void> line;
    std::unique_ptr<PortControlBase> control;
};

// One kind of port control of this system, as the window and kiv-cli get it.
struct PortControlKind {
    const char* name;
    std::function<ControlUnderTest()> make;
};

// Every port control this system has: each runs the same rules tests.
// Written once per system (port_controls_posix.cpp, port_controls_win.cpp).
std::vector<PortControlKind> PortControlsOfThisSystem();

}  // namespace kiv::testing
