// Windows keeps no lock files for serial ports: it gives a port to one
// program at a time and answers every other open with "access denied", which
// OpenProblemOf already reads as "held by another program". Which program
// holds it the system does not say.
#include "platform/port_diagnosis.h"

namespace kiv {

const std::vector<std::string>& DefaultLockDirectories() {
    static const std::vector<std::string> none;
    return none;
}

std::string LockHolder(const std::string&, const std::vector<std::string>&) {
    return {};
}

void AddSystemFacts(OpenFailureFacts&) {}

}  // namespace kiv
