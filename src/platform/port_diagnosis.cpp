// How an open failure reads to the user, the same on every system; the
// system's own files find the facts.
#include "platform/port_diagnosis.h"

#include <cctype>
#include <sstream>

namespace kiv {

long LockFilePid(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    long pid = 0;
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        if (++digits > 9) return 0;
        pid = pid * 10 + (text[i] - '0');
    }
    return pid;
}

std::string ExplainOpenFailure(const OpenFailureFacts& f) {
    std::ostringstream out;
    const std::string said = f.systemText.empty() ? "" : " (the system said: " + f.systemText + ")";
    switch (f.problem) {
        case OpenProblem::Missing:
            out << f.label << ": there is no such device. Plug the adapter in, or make sure the "
                << "port number names the device you mean" << said << ".";
            break;
        case OpenProblem::Busy:
            if (!f.holder.empty()) {
                out << f.label << " is held by another program: " << f.holder
                    << ". Close that program, then open the port again.";
            } else if (f.accessDenied) {
                const std::string group = f.deviceGroup.empty() ? "dialout" : f.deviceGroup;
                out << f.label << ": permission denied. Only members of the group " << group
                    << " may use " << f.device << ". Add yourself with \"sudo usermod -aG " << group
                    << " $USER\", then log out and back in.";
            } else {
                out << f.label << " is in use by another program" << said
                    << ". Close that program, then open the port again.";
            }
            break;
        case OpenProblem::Refused:
            out << f.label << " refused the settings " << f.settings << said
                << ". Choose another baud rate, parity, data or stop bits.";
            break;
        case OpenProblem::Other:
            out << f.label << " could not be opened" << said << ".";
            break;
    }
    return out.str();
}

}  // namespace kiv
