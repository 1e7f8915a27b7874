#pragma once

#include "model/model.h"
#include "model/outcome.h"

namespace kiv {

void RestorePortChoices(Model& w);
// Stores the five list positions; raises NoListPosition at a typed box.
void SavePortChoices(Model& w);
// Applies the boxes' texts to the port control; never raises, reports
// through portConfigured and the outcome.
Outcome ConfigurePort(Model& w);
void UpdatePortStatus(Model& w);
// The serial page's apply: stores the choices and configures the port; the
// open and close options are enabled only when every setting was accepted.
Outcome ApplyPortSettings(Model& w);
// The serial page's apply button "设置完毕!".
void Command1_Click(Model& w);
// A pick in any of the five boxes.
void Combo1_Click(Model& w, int index);

}  // namespace kiv
