#include "serial/port_settings.h"

#include "model/errors.h"
#include "serial/comm_control.h"

namespace kiv {

void RestorePortChoices(Model& w) {
    const int startPositions[5] = {0, 5, 0, 2, 0};
    for (int i = 0; i <= 4; ++i) w.Combo1(i).Pick(startPositions[i]);
    SavePortChoices(w);
}

void SavePortChoices(Model& w) {
    for (int i = 0; i <= 4; ++i) {
        const int position = w.Combo1(i).ListIndex;
        if (position < 0 || position > 255)
            Raise(ErrorKind::NoListPosition, "a port box holds a typed text");
        w.portChoices(i) = static_cast<std::uint8_t>(position);
    }
}

void ConfigurePort(Model& w) {
    w.portConfigured = false;
    try {
        CommControl& port = *w.MSComm1;
        port.setInBufferSize(600);
        port.setOutBufferSize(static_cast<std::int16_t>(w.slotCount >= 1 ? w.slotCount : 10));
        port.setInputMode(1);
        port.setInputLen(1);
        port.setInBufferCount(0);
        port.setOutBufferCount(0);
        port.setRThreshold(1);

        const std::string& portText = w.Combo1(0).Text;
        std::int16_t number = 0;
        for (std::int16_t n = 1; n <= 4; ++n)
            if (portText == "COM" + std::to_string(n)) number = n;
        if (number == 0) Raise(ErrorKind::Port, "unknown port " + portText);
        port.setCommPort(number);

        const std::string& parityText = w.Combo1(2).Text;
        std::string parity;
        if (parityText == "无")
            parity = ",n,";
        else if (parityText == "奇")
            parity = ",o,";
        else if (parityText == "偶")
            parity = ",e,";
        else
            Raise(ErrorKind::Port, "unknown parity " + parityText);
        port.setSettings(w.Combo1(1).Text + parity + w.Combo1(3).Text + "," + w.Combo1(4).Text);
        w.portConfigured = true;
    } catch (const KivError&) {
        // Reported through portConfigured only; earlier settings stay in force.
    }
}

void UpdatePortStatus(Model& w) {
    w.Label50.Caption.clear();
    for (int i = 0; i <= 4; ++i) w.Label50.Caption += w.Combo1(i).Text + ",";
}

void Command1_Click(Model& w) {
    try {
        SavePortChoices(w);
    } catch (const KivError&) {
        // A typed text cannot be stored; the open action reports this case.
        return;
    }
    ConfigurePort(w);
    if (w.portConfigured) {
        w.Optionclose.Enabled = true;
        w.Optionopen.Enabled = true;
    }
}

void Combo1_Click(Model& w, int /*index*/) {
    w.Optionclose.Enabled = false;
    w.Optionopen.Enabled = false;
}

}  // namespace kiv
