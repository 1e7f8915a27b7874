#include "app/startup.h"

#include "sending/frame_settings.h"
#include "sending/send_content.h"
#include "serial/port_settings.h"
#include "signal/signal_params.h"
#include "signal/waveforms.h"

namespace kiv {

void StartUp(Model& w) {
    for (int i = 0; i < kProgramPageCount; ++i) {
        Frame& page = w.tabpage(i);
        page.Left = w.Tabmain.ClientLeft;
        page.Top = w.Tabmain.ClientTop;
        page.Width = w.Tabmain.ClientWidth;
        page.Height = w.Tabmain.ClientHeight;
    }
    BringToFront(w, 0);
    for (int i = 1; i < kProgramPageCount; ++i) w.tabpage(i).Enabled = false;
    w.PI_SINGLE = PiSingle();
    ApplySignalSettings(w);
    RestorePortChoices(w);
    Command1_Click(w);
    ResetSendState(w);
    RefreshFrameLayout(w);
}

void Tabmain_Click(Model& w, int selected) {
    for (int i = 0; i < kProgramPageCount; ++i) w.tabpage(i).Enabled = (i == selected - 1);
    w.Tabmain.SelectedItem = selected;
    BringToFront(w, selected - 1);
}

}  // namespace kiv
