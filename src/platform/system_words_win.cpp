// Windows names its serial ports COM1, COM2, ... (\\.\COM12 in full), and
// a console program stops on Ctrl+C or Ctrl+Break.
#include "platform/system_words.h"

namespace kiv {

std::string ExampleDeviceName() {
    return "COM3";
}

std::string ExampleDeviceNames() {
    return "COM3, COM12, \\\\.\\COM12";
}

std::string StopRequestNames() {
    return "Ctrl+C or Ctrl+Break";
}

}  // namespace kiv
