#pragma once

#include "model/model.h"
#include "model/outcome.h"

namespace kiv {

// Checks the fifty parameter boxes of the four signal pages and, when all are
// good, stores them into signalParams. Any fault shows the signal pages'
// message; see the .cpp for what survives a failure.
Outcome ApplySignalSettings(Model& w);

// The apply buttons of the sine, rectangular, sawtooth and noise pages.
void Command2_Click(Model& w);
void Command3_Click(Model& w);
void Command4_Click(Model& w);
void Command6_Click(Model& w);

}  // namespace kiv
