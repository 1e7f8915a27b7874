#pragma once

#include "model/model.h"

namespace kiv {

// The window's size in twips; the window is not resizable.
constexpr int kWindowWidthTwips = 8600;
constexpr int kWindowHeightTwips = 4980;

// Brings every subsystem into its start-up state, in the documented order.
void StartUp(Model& w);
// The user selected tab `selected` (1-based).
void Tabmain_Click(Model& w, int selected);

}  // namespace kiv
