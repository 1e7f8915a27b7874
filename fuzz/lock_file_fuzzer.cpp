// A serial device's lock file, as any program may have written it, and the
// reason built from what it names. Afterwards: the process id is exactly the
// leading number of at most nine digits after blanks, or 0; the reason is
// one non-empty text that names the port and the holder it was given.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "platform/port_diagnosis.h"
#include "reference.h"

namespace kiv::fuzz {
namespace {

long ExpectedPid(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    std::size_t end = i;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])) != 0) ++end;
    if (end == i || end - i > 9) return 0;
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
    facts.deviceGroup = in.ConsumeRandomLengthString(16);
    const std::string lockFile = in.ConsumeRemainingBytesAsString();

    const long pid = LockFilePid(lockFile);
    FUZZ_CHECK(pid >= 0 && pid <= 999999999, "pid " + std::to_string(pid) + " out of range");
    FUZZ_CHECK(pid == fuzz::ExpectedPid(lockFile),
               "LockFilePid(" + fuzz::Show(lockFile) + ") gave " + std::to_string(pid));

    if (pid > 0) facts.holder = "prog (process " + std::to_string(pid) + ")";
    const std::string reason = ExplainOpenFailure(facts);
    FUZZ_CHECK(reason.rfind(facts.label, 0) == 0,
               "the reason does not start with the port: " + fuzz::Show(reason));
    if (facts.problem == OpenProblem::Busy && !facts.holder.empty())
        FUZZ_CHECK(reason.find(facts.holder) != std::string::npos,
                   "the holder is not named: " + fuzz::Show(reason));
    return 0;
}
