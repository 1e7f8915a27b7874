#include "cli/headless.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "model/errors.h"
#include "sending/send_content.h"
#include "sending/send_loop.h"
#include "serial/port_open_close.h"
#include "serial/port_settings.h"
#include "signal/noise_targets.h"
#include "signal/signal_params.h"

namespace kiv {

void FrameRecorder::Output(std::span<const std::uint8_t> bytes) {
    try {
        inner().Output(bytes);
    } catch (const KivError& e) {
        m_lastError = e.what();
        throw;
    }
    const auto now = Clock::now();
    ++m_frames;
    if (m_frames > 1) {
        const double period = std::chrono::duration<double, std::milli>(now - m_last).count();
        m_sumPeriodMs += period;
        m_worstDeviationMs = std::max(m_worstDeviationMs, std::abs(period - m_periodMs));
    }
    m_last = now;
    if (m_log != nullptr) {
        const double ms = std::chrono::duration<double, std::milli>(now - m_start).count();
        char when[32];
        std::snprintf(when, sizeof when, "%.3f", ms);
        *m_log << m_frames << ',' << when;
        const int n = std::min<int>(m_w.slotCount, static_cast<int>(bytes.size()));
        for (int i = 0; i < n; ++i)
            *m_log << ',' << static_cast<int>(bytes[static_cast<std::size_t>(i)]);
        *m_log << '\n';
    }
    if (onFrame) onFrame(*this);
    if (m_limit && m_frames >= *m_limit) pausesend_Click(m_w);
}

bool HeadlessRun::MessageShownSince(std::size_t before) const {
    auto* box = dynamic_cast<PrintingMessageBox*>(w.messageBox);
    return box != nullptr && box->shown > before;
}

bool HeadlessRun::Prepare(const CliOptions& o) {
    if (PrepareSteps(o)) return true;
    // The program ends here: leave the device closed.
    Optionclose_Click(w);
    return false;
}

bool HeadlessRun::PrepareSteps(const CliOptions& o) {
    auto* box = dynamic_cast<PrintingMessageBox*>(w.messageBox);
    auto shown = [&] { return box != nullptr ? box->shown : std::size_t{0}; };

    // The serial page: pick the entries, or type a text that is not one.
    const std::optional<std::string>* values[5] = {nullptr, &o.baud, &o.parity, &o.dataBits,
                                                   &o.stopBits};
    const char* names[5] = {"", "--baud", "--parity", "--data-bits", "--stop-bits"};
    std::string typed;
    for (int i = 1; i <= 4; ++i) {
        if (!values[i]->has_value()) continue;
        ComboBox& c = w.Combo1(i);
        const auto it = std::find(c.List.begin(), c.List.end(), **values[i]);
        if (it != c.List.end()) {
            c.Pick(static_cast<int>(it - c.List.begin()));
            Combo1_Click(w, i);
        } else {
            c.Type(**values[i]);
            if (typed.empty()) typed = std::string(names[i]) + " " + **values[i];
        }
    }
    Command1_Click(w);
    if (typed.empty() && !w.portConfigured) {
        err("the port refused the line settings " + w.Combo1(1).Text + "," + w.Combo1(2).Text +
            "," + w.Combo1(3).Text + "," + w.Combo1(4).Text);
        return false;
    }

    std::size_t before = shown();
    Optionopen_Click(w);
    if (MessageShownSince(before)) {
        if (!typed.empty())
            err(typed + ": not one of the serial page's entries");
        else
            err("--device " + o.device.value_or("(virtual port)") +
                ": the port could not be opened");
        return false;
    }

    // The signal pages, one option at a time so that a failure names its option.
    for (const SignalSetting& s : o.sets) {
        for (const auto& [key, text] : s.fields) {
            ControlArray<TextBox, 1, 10>* column = key == "t1"   ? &w.fuction_t1
                                                   : key == "t2" ? &w.fuction_t2
                                                   : key == "t3" ? &w.fuction_t3
                                                   : key == "am" ? &w.fuction_am
                                                                 : &w.fuction_a0;
            (*column)(s.entry).Text = text;
        }
        before = shown();
        Command2_Click(w);
        if (MessageShownSince(before)) {
            err(s.option + ": rejected (levels must satisfy 0 <= am, a0 and am + a0 <= 255)");
            return false;
        }
    }

    for (int slot : o.noise) {
        w.Check2(slot).Value = 1;
        Check2_Click(w, slot);
    }

    if (o.frame) {
        for (int i = 1; i <= 10; ++i)
            w.sendText1(i).Text = i <= static_cast<int>(o.frame->size())
                                      ? (*o.frame)[static_cast<std::size_t>(i - 1)]
                                      : "";
    }
    if (o.period) w.autosendtext1.Text = *o.period;
    before = shown();
    Command7_Click(w);
    if (MessageShownSince(before)) {
        std::string culprit = "--period " + w.autosendtext1.Text;
        for (int i = 1; i <= 10; ++i) {
            if (ClassifySlot(w.sendText1(i).Text) == SlotKind::Invalid) {
                culprit = "--frame: slot " + std::to_string(i) + " \"" + w.sendText1(i).Text + "\"";
                break;
            }
        }
        err(culprit + ": rejected (slots are constants 0..255 or sinx1..3, squx1..3, trix1..3)");
        return false;
    }
    recorder.setPeriodMs(w.sendPeriod);
    return true;
}

int HeadlessRun::Send() {
    starsend_Click(w);
    // The loop's error path leaves the lamps black; a pause leaves them green.
    const bool failed = !stopRequested && w.Shape1(0).BackColor == kBlack;
    const std::string error = recorder.lastError();
    Optionclose_Click(w);
    if (!failed) return kExitOk;
    if (!error.empty()) {
        err("sending stopped: the line was lost (" + error + ")");
    } else {
        err("sending stopped: a frame could not be computed (arithmetic overflow or invalid signal "
            "parameters)");
    }
    return kExitLineLost;
}

}  // namespace kiv
