#pragma once

#include "model/model.h"

namespace kiv {

// The two rows of noise boxes mean the same: a click on one row copies the
// whole row onto the other. Both tolerate being re-entered.
void Check1_Click(Model& w, int index);
void Check2_Click(Model& w, int index);

}  // namespace kiv
