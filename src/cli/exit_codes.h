#pragma once

namespace kiv {

// Exit codes of kiv-cli. --help lists them from kExitCodes below; the
// README's table is written by hand and must be kept in step with it.
enum CliExit {
    kExitOk = 0,           // done
    kExitBadInput = 2,     // usage error or a rejected value; nothing was sent
    kExitLineLost = 3,     // the line was lost while sending
    kExitPortFailed = 4,   // the port could not be opened
    kExitFrameError = 5,   // a frame could not be composed
    kExitUndelivered = 6,  // stopped with frames that could not be delivered
    kExitLogFailed = 7,    // the log could not be written; sending stopped
};

struct ExitCodeInfo {
    CliExit code;
    const char* meaning;
};

inline constexpr ExitCodeInfo kExitCodes[] = {
    {kExitOk, "done: every frame sent"},
    {kExitBadInput, "usage error or rejected value; nothing was sent"},
    {kExitLineLost, "the line was lost while sending"},
    {kExitPortFailed, "the port could not be opened"},
    {kExitFrameError, "a frame could not be composed"},
    {kExitUndelivered, "stopped with frames undelivered (dropped, counted on stderr)"},
    {kExitLogFailed, "the log could not be written; sending stopped there"},
};

}  // namespace kiv
