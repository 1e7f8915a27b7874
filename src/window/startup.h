#pragma once

#include "window/model.h"

namespace kiv {

// The window's size in twips, fixed.
constexpr int kWindowWidthTwips = 8600;
constexpr int kWindowHeightTwips = 4980;

// Brings every subsystem into its start-up state, in the documented order.
void StartUp(Model& w);
// The user selected tab `selected` (1-based).
void Tabmain_Click(Model& w, int selected);
// After a resize to width x height twips: the size the window must take.
// A minimised window (2400 x 360) is left alone.
void Form_Resize(int& width, int& height);

}  // namespace kiv
