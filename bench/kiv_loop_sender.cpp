#include "kiv_loop_sender.h"

namespace kiv::bench {

// ======================================================================
//  REGISTRATION POINT: the program's real send loop.
//
//  Return a SendFunction that runs the window's send loop, on this thread,
//  against devicePath (for instance through a QtCommControl whose PortMap
//  maps COM1 to devicePath, with the program's own yielder and clock),
//  sending 4-byte frames (four filled slots) every periodMs, and that
//  returns once `frames` frames have been written. The harness then times
//  every 4-byte group as it reaches the far end; the content is the
//  program's own, so losses are counted from the byte total, not by number.
//
//  The harness has created a QCoreApplication; a loop that needs widgets
//  needs the harness to create a QApplication instead.
//  Link what the loop needs to kiv_send_timing in bench/CMakeLists.txt.
// ======================================================================
std::optional<SendFunction> RegisteredKivLoop() {
    return std::nullopt;
}

}  // namespace kiv::bench
