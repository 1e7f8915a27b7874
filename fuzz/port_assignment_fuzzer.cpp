// The COM number assignments: any four saved texts (as a hand-edited
// settings file may hold them) and any list of device records. Afterwards
// every number holds at most one device and no device has two numbers, the
// user's own choices are untouched, a device is left without a number only
// when none is free, the system's console never holds a number the
// program gave it (and its summary says what it is), the result is the same
// for the list in any order, assigning again changes nothing, and what is
// saved reads back the same. A name typed for a device stays a path that
// keeps what was typed.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/port_assignment.h"
#include "platform/port_naming.h"

namespace kiv::fuzz {
namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "*** invariant broken: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what) {
    if (!holds) Broken(what);
}

// Paths of the shapes the system gives, or any text at all.
std::string SomePath(FuzzedDataProvider& in) {
    static const char* const kShapes[] = {"/dev/ttyS",   "/dev/ttyUSB", "/dev/ttyACM",
                                          "/dev/ttyAMA", "/dev/pts/",   "/dev/serial/by-id/usb-x-"};
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return in.ConsumeRandomLengthString(40);
        case 1:
            return kShapes[in.ConsumeIntegralInRange<int>(0, 5)];
        default:
            return kShapes[in.ConsumeIntegralInRange<int>(0, 5)] +
                   std::to_string(in.ConsumeIntegralInRange<int>(0, 12));
    }
}

std::string SavedText(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
        case 0:
            return {};
        case 1:
            return "virtual";
        case 2:
            return "auto " + SomePath(in);
        case 3:
            return SomePath(in);
        default:
            return in.ConsumeRandomLengthString(40);
    }
}

void CheckOneNumberPerDevice(const PortAssignments& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortAssignment& p = ports[i];
        if (p.kind != PortAssignment::Kind::Device) {
            Check(p.identity.empty(), "an assignment without a device names one");
            continue;
        }
        Check(IsAssignablePath(p.identity), "an assigned identity is not a usable path");
        for (std::size_t j = i + 1; j < ports.size(); ++j)
            Check(ports[j].kind != PortAssignment::Kind::Device || ports[j].identity != p.identity,
                  "a device has two numbers");
    }
}

bool IsPresentConsole(const std::vector<SerialDevice>& present, const std::string& identity) {
    return std::any_of(present.begin(), present.end(), [&](const SerialDevice& d) {
        return d.console && d.Identity() == identity;
    });
}

void CheckSavedReadsBack(const PortAssignments& ports) {
    for (const PortAssignment& p : ports)
        Check(DecodeAssignment(EncodeAssignment(p)) == p, "a saved assignment reads back changed");
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    FuzzedDataProvider in(data, size);

    // A name typed for a device becomes a path under /dev unless it is one
    // already, and keeps every byte typed.
    const std::string shape = SomePath(in);
    const std::string typed = shape.substr(
        std::min<std::size_t>(in.ConsumeIntegralInRange<std::size_t>(0, 5), shape.size()));
    const std::string device = TypedDeviceName(typed);
    Check(typed.empty() ? device.empty() : device.front() == '/', "a typed name is a path");
    Check(device.size() >= typed.size() &&
              device.compare(device.size() - typed.size(), typed.size(), typed) == 0,
          "a typed name keeps what was typed");
    Check(!typed.empty() && typed.front() == '/' ? device == typed : true,
          "a typed path stays as typed");

    PortAssignments saved;
    for (PortAssignment& p : saved) p = DecodeAssignment(SavedText(in));
    Normalise(saved);
    CheckOneNumberPerDevice(saved);
    CheckSavedReadsBack(saved);

    std::vector<SerialDevice> present(in.ConsumeIntegralInRange<std::size_t>(0, 8));
    for (SerialDevice& d : present) {
        d.path = SomePath(in);
        if (in.ConsumeBool()) d.byId = SomePath(in);
        d.description = in.ConsumeRandomLengthString(16);
        if (in.ConsumeBool()) d.vendorId = in.ConsumeIntegralInRange<int>(-1, 0x1FFFF);
        d.productId = in.ConsumeIntegralInRange<int>(-1, 0xFFFF);
        d.console = in.ConsumeIntegralInRange<int>(0, 3) == 0;
        Check(!d.Summary().empty() || d.path.empty(), "a device summary lost its path");
        Check((d.Summary().find(kSystemConsoleText) != std::string::npos) ==
                  (d.console || d.path.find(kSystemConsoleText) != std::string::npos ||
                   d.description.find(kSystemConsoleText) != std::string::npos),
              "the console's summary does not say so");
    }

    PortAssignments ports = saved;
    const bool changed = AssignNewDevices(ports, present);
    Check(changed == (ports != saved), "the change report is wrong");
    CheckOneNumberPerDevice(ports);
    CheckSavedReadsBack(ports);

    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortAssignment& was = saved[i];
        const PortAssignment& now = ports[i];
        if (was == now) continue;
        const bool consoleTakenBack = was.kind == PortAssignment::Kind::Device && !was.chosen &&
                                      IsPresentConsole(present, was.identity);
        Check(was.kind == PortAssignment::Kind::None || consoleTakenBack ||
                  (was.kind == PortAssignment::Kind::Device && !was.chosen &&
                   FindDevice(present, was.identity) == nullptr),
              "a number in use or chosen by the user was given away");
        Check((now.kind == PortAssignment::Kind::None && consoleTakenBack) ||
                  (now.kind == PortAssignment::Kind::Device && !now.chosen &&
                   FindDevice(present, now.identity) != nullptr),
              "a number went to something that is not a present device");
    }
    for (const PortAssignment& p : ports)
        Check(p.kind != PortAssignment::Kind::Device || p.chosen ||
                  !IsPresentConsole(present, p.identity),
              "the console holds a number the program gave it");

    // A present device without a number: nothing was free.
    for (const SerialDevice& d : present) {
        if (!IsAssignablePath(d.path) || !IsAssignablePath(d.Identity())) continue;
        if (IsPresentConsole(present, d.Identity())) continue;
        const bool numbered = std::any_of(ports.begin(), ports.end(), [&](const PortAssignment& p) {
            return p.kind == PortAssignment::Kind::Device && p.identity == d.Identity();
        });
        if (numbered) continue;
        for (const PortAssignment& p : ports) {
            Check(p.kind != PortAssignment::Kind::None,
                  "a device was left out beside a free number");
            Check(p.kind != PortAssignment::Kind::Device || p.chosen ||
                      FindDevice(present, p.identity) != nullptr,
                  "a device was left out beside a number held for an absent device");
        }
    }

    // The same devices listed in another order.
    std::vector<SerialDevice> reordered = present;
    std::reverse(reordered.begin(), reordered.end());
    if (!reordered.empty())
        std::rotate(
            reordered.begin(),
            reordered.begin() + static_cast<std::ptrdiff_t>(in.ConsumeIntegralInRange<std::size_t>(
                                    0, reordered.size() - 1)),
            reordered.end());
    PortAssignments again = saved;
    AssignNewDevices(again, reordered);
    Check(again == ports, "the assignment depends on the order of the list");

    PortAssignments twice = ports;
    Check(!AssignNewDevices(twice, reordered) && twice == ports,
          "assigning again changed something");

    // A choice by the user takes the device from wherever it was.
    if (!present.empty()) {
        const int port = in.ConsumeIntegralInRange<int>(1, 4);
        const SerialDevice& d =
            present[in.ConsumeIntegralInRange<std::size_t>(0, present.size() - 1)];
        PortAssignments chosen = ports;
        ChooseDevice(chosen, port, d.Identity());
        CheckOneNumberPerDevice(chosen);
        CheckSavedReadsBack(chosen);
        if (IsAssignablePath(d.Identity()))
            Check(chosen[static_cast<std::size_t>(port - 1)] ==
                      PortAssignment{PortAssignment::Kind::Device, d.Identity(), true},
                  "the user's choice was not taken");
        else
            Check(chosen == ports, "an unusable path was assigned");
    }
    return 0;
}
