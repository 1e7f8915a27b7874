#pragma once

#include "model/model.h"
#include "model/outcome.h"
#include "model/setup_file.h"

namespace kiv {

// Loads a setup the way a user would enter it: the texts go into the boxes,
// then the serial page, the send page, the signal pages and the frame
// format page are applied, in that order, each showing its own message when it fails. The port is
// never opened. Refused, with nothing changed, while sending or with the port open (the serial page
// cannot be applied then). The outcome names the first box at fault.
Outcome LoadSetup(Model& w, const Setup& setup);

// While a setup cannot be loaded, shows why (kSetupBusyMessage) and returns true; a front end
// asks before it offers a file dialog.
bool RefuseSetupLoad(Model& w);

}  // namespace kiv
