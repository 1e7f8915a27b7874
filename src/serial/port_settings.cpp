#include "serial/port_settings.h"

#include "model/errors.h"
#include "model/texts.h"
#include "serial/comm_control.h"

namespace kiv {

void RestorePortChoices(Model& w) {
    for (int i = 0; i < kPortBoxCount; ++i)
        w.Combo1(i).Pick(kPortStartPositions[static_cast<std::size_t>(i)]);
    SavePortChoices(w);
}

void SavePortChoices(Model& w) {
    for (int i = 0; i < kPortBoxCount; ++i) {
        const int position = w.Combo1(i).ListIndex;
        if (position < 0 || position > 255)
            Raise(ErrorKind::NoListPosition,
                  Say(TextId::TypedTextInBox, {w.Label3(i).Caption, w.Combo1(i).Text}));
        w.portChoices(i) = static_cast<std::uint8_t>(position);
    }
}

Outcome ConfigurePort(Model& w) {
    w.portConfigured = false;
    std::string box;
    try {
        CommControl& port = *w.MSComm1;
        port.setInBufferSize(600);
        // The whole frame, as the send page's apply sizes it.
        port.setOutBufferSize(
            static_cast<std::int16_t>(w.slotCount >= 1 ? FrameLength(w) : kSlotCount));
        port.setInputMode(1);
        port.setInputLen(1);
        port.setInBufferCount(0);
        port.setOutBufferCount(0);
        port.setRThreshold(1);

        const std::string& portText = w.Combo1(kPortBoxPort).Text;
        std::int16_t number = 0;
        for (std::int16_t n = 1; n <= kPortCount; ++n)
            if (portText == "COM" + std::to_string(n)) number = n;
        box = IndexedName("Combo1", kPortBoxPort);
        if (number == 0) Raise(ErrorKind::Port, Say(TextId::UnknownPort, {portText}));
        port.setCommPort(number);

        box = IndexedName("Combo1", kPortBoxParity);
        const std::string& parityText = w.Combo1(kPortBoxParity).Text;
        const ParityName* parity = FindParityWord(parityText);
        if (parity == nullptr) Raise(ErrorKind::Port, Say(TextId::UnknownParity, {parityText}));
        box.clear();
        port.setSettings(w.Combo1(kPortBoxBaud).Text + "," + parity->letter + "," +
                         w.Combo1(kPortBoxDataBits).Text + "," + w.Combo1(kPortBoxStopBits).Text);
        w.portConfigured = true;
        return Outcome::Done();
    } catch (const KivError& e) {
        // Earlier settings stay in force.
        return Outcome::Failed(box, e.what());
    }
}

void UpdatePortStatus(Model& w) {
    w.Label50.Caption.clear();
    for (int i = 0; i < kPortBoxCount; ++i) w.Label50.Caption += w.Combo1(i).Text + ",";
}

Outcome ApplyPortSettings(Model& w) {
    try {
        SavePortChoices(w);
    } catch (const KivError& e) {
        // A typed text cannot be stored; the open action reports this case.
        for (int i = 0; i < kPortBoxCount; ++i)
            if (w.Combo1(i).ListIndex < 0)
                return Outcome::Failed(IndexedName("Combo1", i), e.what());
        return Outcome::Failed("", e.what());
    }
    Outcome outcome = ConfigurePort(w);
    if (w.portConfigured) {
        w.Optionclose.Enabled = true;
        w.Optionopen.Enabled = true;
    }
    return outcome;
}

void Command1_Click(Model& w) {
    const Outcome outcome = ApplyPortSettings(w);
    // A typed text stops the apply without a message box; the page says
    // which box holds it, in place, until an apply goes through.
    w.portHint.clear();
    for (int i = 0; i < kPortBoxCount; ++i)
        if (!outcome && outcome.box == IndexedName("Combo1", i) && w.Combo1(i).ListIndex < 0)
            w.portHint = "“" + w.Label3(i).Caption + "”框中的“" + w.Combo1(i).Text +
                         "”不是列表中的选项，请从列表中选择。";
}

void Combo1_Click(Model& w, int /*index*/) {
    w.Optionclose.Enabled = false;
    w.Optionopen.Enabled = false;
}

}  // namespace kiv
