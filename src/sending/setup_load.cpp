#include "sending/setup_load.h"

#include "model/messages.h"
#include "sending/frame_settings.h"
#include "sending/send_content.h"
#include "serial/port_settings.h"
#include "signal/noise_targets.h"
#include "signal/signal_params.h"

namespace kiv {

bool RefuseSetupLoad(Model& w) {
    if (!w.isSending && !w.portOpened) return false;
    ShowMessage(w, kSetupBusyMessage);
    return true;
}

Outcome LoadSetup(Model& w, const Setup& setup) {
    if (RefuseSetupLoad(w))
        return Outcome::Failed("", "sending or the port is open; pause and close the port first");
    PutSetupInBoxes(w, setup);
    // A pick in a port box locks the open and close options until the
    // serial page is applied, as it does for a user.
    for (int i = 0; i < kPortBoxCount; ++i) Combo1_Click(w, i);
    Check2_Click(w, 1);

    Outcome first = Outcome::Done();
    const auto keep = [&first](const Outcome& o) {
        if (first.ok && !o.ok) first = o;
    };
    const Outcome port = ApplyPortSettings(w);
    if (!port.ok) {
        // The serial page's apply shows nothing of its own; a file must not
        // fail silently, so it gets the serial page's message.
        ShowMessage(w, kPortSettingsMessage);
    }
    keep(port);
    keep(ApplySendSettings(w));
    keep(ApplySignalSettings(w));
    // The frame format last: its line shows the next frame of the plan
    // just applied.
    keep(ApplyFrameFormat(w));
    return first;
}

}  // namespace kiv
