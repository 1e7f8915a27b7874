// How an open failure reads to the user, the same on every system; the
// system's own files find the facts.
#include "platform/port_diagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "model/texts.h"

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
    const std::string said = f.systemText.empty() ? "" : Say(TextId::SystemSaid, {f.systemText});
    switch (f.problem) {
        case OpenProblem::Missing:
        case OpenProblem::Busy:
            if (!f.holder.empty()) return Say(TextId::OpenHeldBy, {f.label, f.holder});
            // A path that does not lead to a device says why before anything
            // else: such a device is not known to be in use.
            if (!f.unreachable.empty()) {
                const std::string why = Say(TextId::SystemSaid, {f.unreachable});
                if (!f.deniedFolder.empty())
                    return Say(TextId::OpenFolderDenied, {f.label, f.deniedFolder, why});
                if (f.pathMissing) return Say(TextId::OpenMissing, {f.label, why});
                return Say(TextId::OpenUnreachable, {f.label, why});
            }
            if (f.problem == OpenProblem::Missing) return Say(TextId::OpenMissing, {f.label, said});
            if (f.accessDenied) {
                const bool groupMay = f.deviceMode >= 0 && (f.deviceMode & 060) == 060 &&
                                      !f.deviceGroup.empty() && f.deviceGroup != "root" &&
                                      f.deviceGroup != "0";
                if (groupMay) return Say(TextId::OpenGroupOnly, {f.label, f.deviceGroup, f.device});
                if (f.deviceMode >= 0) {
                    char mode[16];
                    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(f.deviceMode));
                    return Say(TextId::OpenOwnerOnly,
                               {f.label, f.device, f.deviceOwner.empty() ? "?" : f.deviceOwner,
                                f.deviceGroup.empty() ? "?" : f.deviceGroup, mode});
                }
                return Say(TextId::OpenDenied, {f.label, said, f.device});
            }
            return Say(TextId::OpenInUse, {f.label, said});
        case OpenProblem::Refused:
            return Say(TextId::OpenRefused, {f.label, f.settings, said});
        case OpenProblem::NotSerial:
            return Say(TextId::OpenNotSerial, {f.label, said});
        case OpenProblem::Other:
            break;
    }
    return Say(TextId::OpenOther, {f.label, said});
}

}  // namespace kiv
