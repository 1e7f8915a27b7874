// What the Windows device manager says about a serial port (a friendly name
// and a hardware id), as any driver may word it. Afterwards: the port found
// is empty or a COM name an assignment can keep, found at the name's end;
// the description is the name's front part, the whole name when no port was
// found; the USB ids are both known, each 0..0xFFFF, or both unknown.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "platform/device_names.h"
#include "platform/port_assignment.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    FuzzedDataProvider in(data, size);
    const std::string friendly = in.ConsumeRandomLengthString(120);
    const std::string hardwareId = in.ConsumeRemainingBytesAsString();

    const std::string port = PortNameInFriendlyName(friendly);
    const std::string description = DescriptionOfFriendlyName(friendly);
    if (port.empty()) {
        FUZZ_CHECK(description == friendly, "a name without a port was changed");
    } else {
        FUZZ_CHECK(IsComPortName(port) && IsAssignablePath(port),
                   "the port found is not a COM name: " + fuzz::Show(port));
        FUZZ_CHECK(friendly.find(')') != std::string::npos, "a port without its brackets");
        FUZZ_CHECK(friendly.compare(0, description.size(), description) == 0,
                   "the description is not the name's front part");
        FUZZ_CHECK(description.size() < friendly.size(), "the description kept the port");
        FUZZ_CHECK(description.empty() || description.back() != ' ',
                   "the description ends in a blank");
    }

    const UsbIds ids = UsbIdsOfHardwareId(hardwareId);
    const bool known = ids.vendorId >= 0;
    FUZZ_CHECK(known == (ids.productId >= 0), "only one of the USB ids is known");
    FUZZ_CHECK(ids.vendorId <= 0xFFFF && ids.productId <= 0xFFFF && ids.vendorId >= -1 &&
                   ids.productId >= -1,
               "a USB id out of range");
    return 0;
}
