#include "platform/system_words.h"

namespace kiv {

std::string ExampleDeviceName() {
    return "/dev/ttyUSB0";
}

std::string ExampleDeviceNames() {
    return "/dev/ttyUSB0, /dev/ttyACM0, /dev/serial/by-id/...";
}

std::string StopRequestNames() {
    return "SIGINT, SIGTERM or SIGHUP";
}

}  // namespace kiv
