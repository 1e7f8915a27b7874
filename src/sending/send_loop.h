#pragma once

#include "model/model.h"

namespace kiv {

// Start sending: runs the send loop inside the handler until it ends.
void starsend_Click(Model& w);
// Pause: the cycle under way completes, then the loop ends.
void pausesend_Click(Model& w);
// Clear the send count.
void Command8_Click(Model& w);

}  // namespace kiv
