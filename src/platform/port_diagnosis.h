#pragma once

#include <string>
#include <vector>

namespace kiv {

// What the system said when a serial device would not open, sorted the way
// a user fixes it.
enum class OpenProblem {
    Missing,  // no such device
    Busy,     // another program has it (a lock file or an exclusive open)
    Refused,  // the device refused the line settings
    Other,    // anything else; the system's own words are given
};

// The facts a reason is made of. Everything but problem, label and device
// may be empty.
struct OpenFailureFacts {
    OpenProblem problem = OpenProblem::Other;
    std::string label;          // "COM1 (/dev/ttyUSB0)"
    std::string device;         // "/dev/ttyUSB0"
    std::string systemText;     // the system's words
    std::string settings;       // "9600,n,8,1"
    std::string holder;         // "minicom (process 4242)", from the lock file
    bool accessDenied = false;  // this user may not read and write the device
    std::string deviceGroup;    // the group that may ("dialout")
};

// One or two plain sentences for the user: what is wrong and what to do.
std::string ExplainOpenFailure(const OpenFailureFacts& facts);

// The lock directories serial programs use on this system.
const std::vector<std::string>& DefaultLockDirectories();

// The process id a lock file names: its leading decimal number, blanks
// before it allowed, as Qt and the classic serial tools write it; 0 when
// the text starts with no number or one too long for a process id.
long LockFilePid(const std::string& text);

// The program that holds device's lock file, as "name (process PID)", or
// empty when no lock file names a running process. The lock file is
// LCK..<name> in one of dirs, where <name> is the device path below /dev
// with '/' as '_' (pts_3) or its last component (ttyUSB0); it holds the PID
// in ASCII.
std::string LockHolder(const std::string& device,
                       const std::vector<std::string>& dirs = DefaultLockDirectories());

// Fills in holder, accessDenied and deviceGroup from the system for facts'
// device.
void AddSystemFacts(OpenFailureFacts& facts);

}  // namespace kiv
