#include "sending/send_content.h"

#include "model/errors.h"
#include "model/messages.h"
#include "model/texts.h"
#include "serial/comm_control.h"
#include "serial/port_open_close.h"
#include "signal/compute_frame.h"
#include "signal/numbers.h"

namespace kiv {

SlotKind ClassifySlot(const std::string& text) {
    const std::string lower = LowerCase(text);
    if (lower.empty()) return SlotKind::Empty;
    if (IsNumber(lower)) {
        try {
            const std::int32_t v = ToInteger(lower);
            return v >= 0 && v <= 255 ? SlotKind::Constant : SlotKind::Invalid;
        } catch (const KivError&) {
            return SlotKind::Invalid;
        }
    }
    return LookUpSignal(lower).waveform != Waveform::None ? SlotKind::Signal : SlotKind::Invalid;
}

std::int32_t HalfOf(std::int32_t period) {
    return RealToInt32(period * 0.5);
}

void EnableSendButtons(Model& w) {
    w.starsend.Enabled = true;
    w.pausesend.Enabled = true;
}

void DisableSendButtons(Model& w) {
    w.starsend.Enabled = false;
    w.pausesend.Enabled = false;
}

Outcome ApplySendSettings(Model& w) {
    std::string box;
    try {
        for (int i = 1; i <= kSlotCount; ++i)
            if (ClassifySlot(w.sendText1(i).Text) == SlotKind::Invalid) {
                box = IndexedName("sendText1", i);
                Raise(ErrorKind::NotANumber, Say(TextId::SlotNeitherConstantNorSignal));
            }
        EnableSendButtons(w);
        box = "autosendtext1";
        w.sendPeriod = ToInteger(w.autosendtext1.Text);
        w.halfPeriod = HalfOf(w.sendPeriod);

        int count = 0;
        while (count < kSlotCount && !w.sendText1(count + 1).Text.empty()) {
            ++count;
            w.slotText(count) = w.sendText1(count).Text;
        }
        w.slotCount = count;

        box.clear();
        CommControl& port = *w.MSComm1;
        if (port.PortOpen()) {
            port.setPortOpen(false);
            port.setOutBufferSize(static_cast<std::int16_t>(FrameLength(w)));
            port.setPortOpen(true);
        } else {
            port.setOutBufferSize(static_cast<std::int16_t>(FrameLength(w)));
        }

        for (int i = 1; i <= w.slotCount; ++i) {
            w.Check1(i).Enabled = true;
            w.Check2(i).Enabled = true;
        }
        for (int i = w.slotCount + 1; i <= decltype(w.Check1)::Count(); ++i) {
            w.Check1(i).Enabled = false;
            w.Check2(i).Enabled = false;
        }
        return Outcome::Done();
    } catch (const KivError& e) {
        ShowMessage(w, kSendSettingsMessage);
        DisableSendButtons(w);
        Optionclose_Click(w);
        return Outcome::Failed(box, e.what());
    }
}

void Command7_Click(Model& w) {
    ApplySendSettings(w);
}

void ResetSendState(Model& w) {
    w.isSending = false;
    w.portOpened = false;
    w.sendPeriod = ToInteger(w.autosendtext1.Text);
    w.halfPeriod = HalfOf(w.sendPeriod);
    w.slotCount = 0;
    w.sendCount = 0;
    DisableSendButtons(w);
    w.Tally1.Value = 0;
}

}  // namespace kiv
