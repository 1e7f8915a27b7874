#include "serial/port_open_close.h"

#include <iostream>

#include "model/errors.h"
#include "model/messages.h"
#include "model/one_line.h"
#include "serial/comm_control.h"
#include "serial/port_settings.h"

namespace kiv {
namespace {

void SetSettingsEnabled(Model& w, bool enabled) {
    w.Command1.Enabled = enabled;
    for (int i = 0; i < kPortBoxCount; ++i) w.Combo1(i).Enabled = enabled;
}

}  // namespace

Outcome OpenPort(Model& w) {
    try {
        // The port control may describe the line it opens in the tooltip.
        w.lampToolTip.clear();
        if (!w.MSComm1->PortOpen()) w.MSComm1->setPortOpen(true);
        w.portOpened = true;
        SetLamps(w, kGreen);
        SavePortChoices(w);
        ConfigurePort(w);
        SetSettingsEnabled(w, false);
        UpdatePortStatus(w);
        w.Label50.Caption += "OPEN!";
        w.Optionopen.Value = true;
        w.Optionclose.Value = false;
        return Outcome::Done();
    } catch (const KivError& e) {
        // The box's own text names no cause; its detailed text and standard
        // error tell a missing device, a busy one, a permission problem and
        // refused settings apart.
        std::cerr << "kiv: port open failed: " << OneLine(e.what()) << std::endl;
        // The window is back in its closed look before the box appears.
        Optionclose_Click(w);
        w.msgDetail = e.what();
        ShowMessage(w, kPortSettingsMessage);
        return Outcome::Failed("", e.what());
    }
}

void Optionopen_Click(Model& w) {
    OpenPort(w);
}

void Optionclose_Click(Model& w) {
    // Closing must always reach the closed look, even if the device is
    // already gone and refuses to close.
    try {
        if (w.MSComm1->PortOpen()) w.MSComm1->setPortOpen(false);
    } catch (const KivError&) {
    }
    w.portOpened = false;
    w.isSending = false;
    SetLamps(w, kBlack);
    SetSettingsEnabled(w, true);
    UpdatePortStatus(w);
    w.Label50.Caption += "CLOSE!";
    w.Optionclose.Value = true;
    w.Optionopen.Value = false;
}

void DropUnsentBytes(Model& w) {
    // A slow or stalled line keeps bytes in the system's queue, and closing
    // the device waits until they are sent (up to half a minute on a
    // serial port): the program would hang on after the user ended it.
    try {
        if (w.MSComm1->PortOpen()) w.MSComm1->setOutBufferCount(0);
    } catch (const KivError&) {
    }
}

void Command5_Click(Model& w) {
    DropUnsentBytes(w);
    Optionclose_Click(w);
    w.isSending = false;
    try {
        if (w.MSComm1->PortOpen()) w.MSComm1->setPortOpen(false);
    } catch (const KivError&) {
    }
    w.programEnded = true;
    if (w.endProgram) w.endProgram();
}

}  // namespace kiv
