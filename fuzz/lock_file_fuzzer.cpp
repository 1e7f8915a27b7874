// A serial device's lock file, as any program may have written it, and the
// reason built from what it names. Afterwards: the process id is what an
// independent reading of the two forms gives (text: the number of at most
// nine digits after blanks, ended by a blank or the end; binary: exactly
// four bytes, not all text, holding a native int above 0), never negative;
// the lock file names of a path never hold a '/'; the reason is one text
// that names the port and the holder it was given, and advises joining a
// group only when that group may read and write the device.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/port_diagnosis.h"
#include "reference.h"

namespace kiv::fuzz {
namespace {

long ExpectedPid(const std::string& text) {
    const bool allText = std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 0x20 && u <= 0x7E) || u == '\t' || u == '\n' || u == '\v' || u == '\f' ||
               u == '\r';
    });
    if (text.size() == 4 && !allText) {
        std::int32_t pid = 0;
        std::memcpy(&pid, text.data(), 4);
        return pid > 0 ? pid : 0;
    }
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    std::size_t end = i;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) ++end;
    if (end == i || end - i > 9) return 0;
    if (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])) == 0) return 0;
    return std::stol(text.substr(i, end - i));
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    FuzzedDataProvider in(data, size);
    OpenFailureFacts facts;
    facts.problem = static_cast<OpenProblem>(in.ConsumeIntegralInRange<int>(0, 3));
    facts.accessDenied = in.ConsumeBool();
    facts.label = "COM" + std::to_string(in.ConsumeIntegralInRange<int>(1, 4)) + " (" +
                  in.ConsumeRandomLengthString(40) + ")";
    facts.device = in.ConsumeRandomLengthString(40);
    facts.systemText = in.ConsumeRandomLengthString(60);
    facts.settings = in.ConsumeRandomLengthString(20);
    facts.deviceOwner = in.ConsumeRandomLengthString(16);
    facts.deviceGroup = in.ConsumeRandomLengthString(16);
    facts.deviceMode = in.ConsumeIntegralInRange<int>(-1, 07777);
    const std::string lockFile = in.ConsumeRemainingBytesAsString();

    const long pid = LockFilePid(lockFile);
    FUZZ_CHECK(pid >= 0, "pid " + std::to_string(pid) + " is negative");
    FUZZ_CHECK(pid == fuzz::ExpectedPid(lockFile),
               "LockFilePid(" + fuzz::Show(lockFile) + ") gave " + std::to_string(pid));

    for (const std::string& name : LockFileNames(facts.device)) {
        FUZZ_CHECK(!name.empty() && name.find('/') == std::string::npos,
                   "lock file name " + fuzz::Show(name) + " for " + fuzz::Show(facts.device));
    }

    if (pid > 0) facts.holder = "prog (process " + std::to_string(pid) + ")";
    const std::string reason = ExplainOpenFailure(facts);
    FUZZ_CHECK(reason.rfind(facts.label, 0) == 0,
               "the reason does not start with the port: " + fuzz::Show(reason));
    if (facts.problem == OpenProblem::Busy && !facts.holder.empty())
        FUZZ_CHECK(reason.find(facts.holder) != std::string::npos,
                   "the holder is not named: " + fuzz::Show(reason));
    const bool groupMay = facts.deviceMode >= 0 && (facts.deviceMode & 060) == 060 &&
                          !facts.deviceGroup.empty() && facts.deviceGroup != "root" &&
                          facts.deviceGroup != "0";
    const bool quoted =
        (facts.label + facts.device + facts.systemText).find("usermod") != std::string::npos;
    if (facts.problem == OpenProblem::Busy && facts.holder.empty() && facts.accessDenied &&
        !quoted) {
        const std::string advice = "sudo usermod -aG " + facts.deviceGroup + " $USER";
        FUZZ_CHECK((reason.find(advice) != std::string::npos) == groupMay,
                   "group advice " + std::string(groupMay ? "missing" : "given") + " for mode " +
                       std::to_string(facts.deviceMode) + ": " + fuzz::Show(reason));
        if (!groupMay && facts.deviceMode >= 0) {
            char mode[16];
            std::snprintf(mode, sizeof mode, "mode %04o", static_cast<unsigned>(facts.deviceMode));
            FUZZ_CHECK(reason.find(mode) != std::string::npos,
                       "the mode is not named: " + fuzz::Show(reason));
        }
    }
    return 0;
}
