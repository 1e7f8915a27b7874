#pragma once

#include <string>
#include <vector>

namespace kiv {

// What the system said when a serial device would not open, sorted the way
// a user fixes it.
enum class OpenProblem {
    Missing,    // no such device
    Busy,       // another program has it (a lock file or an exclusive open)
    Refused,    // the device refused the line settings
    NotSerial,  // the name opens something else: a file, a pipe, NUL, the console
    Other,      // anything else; the system's own words are given
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
    std::string deviceOwner;    // the device's owner ("root")
    std::string deviceGroup;    // the device's group ("dialout")
    int deviceMode = -1;        // the device's permission bits (0660); -1 not known
    // The path itself cannot be followed to the device: the system's words
    // (no such file, file name too long, permission denied), and for a
    // folder on the path this user may not enter, that folder. Empty when
    // the path reaches a device.
    std::string unreachable;
    bool pathMissing = false;  // the system found nothing at the path
    std::string deniedFolder;
};

// One or two plain sentences for the user: what is wrong and what to do.
// Joining the device's group is advised only when that group may read and
// write the device (and is not root's); otherwise the reason names the
// owner, group and mode.
std::string ExplainOpenFailure(const OpenFailureFacts& facts);

// The lock directories serial programs use on this system.
const std::vector<std::string>& DefaultLockDirectories();

// The process id a lock file names, in either form serial programs write:
// text (the decimal PID after blanks, then a newline or the end: Qt's
// "PID\nprogram\nhost\n", the padded "      4242\n") or binary (exactly
// four bytes holding a native int, at least one of them not text). 0 when
// it names none: no such number, one of more than nine digits, or not
// above 0.
long LockFilePid(const std::string& text);

// The names of device's lock file (each to follow "LCK.."), for the path as
// given and, when it is reached through links, for the device it resolves
// to: the path below /dev with '/' as '_' (pts_3, serial_by-id_usb-...; the
// whole path so for one outside /dev), as Qt, picocom and minicom write it;
// with '/' as ':' (pts:3), as lockdev writes it; and its last element
// (ttyUSB0), as the older tools write it.
std::vector<std::string> LockFileNames(const std::string& device);

// The program that holds device's lock file, as "name (process PID)", or
// empty when no lock file names a running process. The lock files are
// LCK..<name> in dirs, for each name of LockFileNames.
std::string LockHolder(const std::string& device,
                       const std::vector<std::string>& dirs = DefaultLockDirectories());

// Before an open: the holder when a lock file names a running process (the
// open must not go ahead), else "" after removing the lock files that name
// a process that is gone, so that the open may take the device. A lock
// file that names no process at all is left for the open to judge.
std::string ClaimDeviceLocks(const std::string& device,
                             const std::vector<std::string>& dirs = DefaultLockDirectories());

// Fills in holder, accessDenied and the device's owner, group and mode from
// the system for facts' device.
void AddSystemFacts(OpenFailureFacts& facts);

}  // namespace kiv
