#include "platform/system_console.h"

namespace kiv {

// Windows keeps no kernel console on a COM port: every port the system
// lists is free for the program to number.
bool IsSystemConsole(const std::string&, const std::string&) {
    return false;
}

}  // namespace kiv
