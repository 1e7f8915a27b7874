// How an open failure reads to the user, the same on every system; the
// system's own files find the facts.
#include "platform/port_diagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace kiv {

namespace {

bool IsTextByte(unsigned char c) {
    return (c >= 0x20 && c < 0x7F) || (c >= '\t' && c <= '\r');
}

}  // namespace

long LockFilePid(const std::string& text) {
    // The old binary form: a native int and nothing else. A real PID has a
    // zero byte in it, which no text form has.
    if (text.size() == sizeof(std::int32_t) && !std::all_of(text.begin(), text.end(), [](char c) {
            return IsTextByte(static_cast<unsigned char>(c));
        })) {
        std::int32_t pid = 0;
        std::memcpy(&pid, text.data(), sizeof pid);
        return pid > 0 ? pid : 0;
    }
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    long pid = 0;
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0; ++i) {
        if (++digits > 9) return 0;
        pid = pid * 10 + (text[i] - '0');
    }
    if (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) == 0) return 0;
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
                const bool groupMay = f.deviceMode >= 0 && (f.deviceMode & 060) == 060 &&
                                      !f.deviceGroup.empty() && f.deviceGroup != "root" &&
                                      f.deviceGroup != "0";
                if (groupMay) {
                    out << f.label << ": permission denied. Only members of the group "
                        << f.deviceGroup << " may use " << f.device
                        << ". Add yourself with \"sudo usermod -aG " << f.deviceGroup
                        << " $USER\", then log out and back in.";
                } else if (f.deviceMode >= 0) {
                    char mode[16];
                    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(f.deviceMode));
                    out << f.label << ": permission denied. " << f.device << " is owned by "
                        << (f.deviceOwner.empty() ? "?" : f.deviceOwner) << ":"
                        << (f.deviceGroup.empty() ? "?" : f.deviceGroup) << ", mode " << mode
                        << ", so no group you could join may use it. Ask the system's "
                        << "administrator for read and write access to it.";
                } else {
                    out << f.label << ": permission denied" << said
                        << ". Ask the system's administrator for read and write access to "
                        << f.device << ".";
                }
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
