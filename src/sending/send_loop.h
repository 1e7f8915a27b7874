#pragma once

#include "model/model.h"

namespace kiv {

// Why a send loop ended.
enum class SendEnd {
    PortNotOpen,     // nothing sent: the port was not open ("串口未打开!")
    AlreadySending,  // a loop was running already and goes on
    Paused,          // the pause button (or a caller) cleared isSending
    ProgramEnded,    // the program is ending
    LineLost,        // the port refused a write; the window shows its closed look
    FrameError,      // a frame could not be composed
};

// Runs the send loop until it ends and says why; the lamps and the window
// show the same outcome.
SendEnd SendFrames(Model& w);
// Start sending: runs the send loop inside the handler until it ends.
void starsend_Click(Model& w);
// Pause: the cycle under way completes, then the loop ends.
void pausesend_Click(Model& w);
// Clear the send count.
void Command8_Click(Model& w);

}  // namespace kiv
