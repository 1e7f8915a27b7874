#pragma once

#include <string>

#include "model/model.h"
#include "model/outcome.h"

namespace kiv {

// Whether a slot text, as typed, is admitted into the frame plan: empty, a
// number that rounds into 0..255, or a signal name in any case.
enum class SlotKind { Empty, Constant, Signal, Invalid };
SlotKind ClassifySlot(const std::string& text);

// halfPeriod for a period: period x 0.5 rounded halves to even.
std::int32_t HalfOf(std::int32_t period);

// The send page's apply: on a fault shows the page's message, shuts sending
// down and says which box was at fault.
Outcome ApplySendSettings(Model& w);
void Command7_Click(Model& w);
void ResetSendState(Model& w);
void EnableSendButtons(Model& w);
void DisableSendButtons(Model& w);

}  // namespace kiv
