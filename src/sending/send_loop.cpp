#include "sending/send_loop.h"

#include <span>

#include "model/errors.h"
#include "model/messages.h"
#include "serial/comm_control.h"
#include "serial/port_open_close.h"
#include "signal/compute_frame.h"

namespace kiv {
namespace {

constexpr std::int32_t kCountWrap = 1000000;

// Milliseconds since t0. The clock is a 32-bit count that wraps; the
// modular difference stays right across 2^31 and 2^32, so sending does not
// stop after weeks of uptime.
std::int32_t Elapsed(std::uint32_t now, std::uint32_t t0) {
    return static_cast<std::int32_t>(now - t0);
}

// Waits until bound() milliseconds have passed since t0, yielding to the
// window between clock readings. The bound is read afresh at every reading,
// so a handler running inside the yield acts on the wait under way.
template <typename Bound>
void WaitFor(Model& w, std::uint32_t t0, Bound bound, bool& yielded) {
    for (;;) {
        const std::int32_t b = bound();
        if (Elapsed(w.clock->Now(), t0) >= b || w.programEnded) return;
        w.yielder->YieldUntil(t0 + static_cast<std::uint32_t>(b));
        yielded = true;
    }
}

// Clears the loop flag however the loop ends.
struct LoopActive {
    explicit LoopActive(Model& m) : w(m) { w.sendLoopActive = true; }
    ~LoopActive() { w.sendLoopActive = false; }
    Model& w;
};

}  // namespace

const char* Describe(SendEnd end) {
    switch (end) {
        case SendEnd::PortNotOpen:
            return "the port is not open";
        case SendEnd::AlreadySending:
            return "a send loop is running already";
        case SendEnd::Paused:
            return "paused";
        case SendEnd::ProgramEnded:
            return "the program ended";
        case SendEnd::LineLost:
            return "the line was lost";
        case SendEnd::FrameError:
            return "a frame could not be composed";
    }
    return "unknown";
}

SendEnd SendFrames(Model& w) {
    if (!w.MSComm1->PortOpen() || !w.portOpened) {
        ShowMessage(w, kPortNotOpenMessage);
        SetLamps(w, kBlack);
        return SendEnd::PortNotOpen;
    }
    // A start while the loop runs keeps that loop going; a second loop nested
    // in its yield would duplicate frames and nest without bound.
    if (w.sendLoopActive) {
        w.isSending = true;
        return SendEnd::AlreadySending;
    }
    LoopActive active(w);
    try {
        w.isSending = true;
        for (;;) {
            if (w.programEnded) return SendEnd::ProgramEnded;
            if (!w.isSending) return SendEnd::Paused;
            const std::uint32_t t0 = w.clock->Now();
            try {
                ComputeFrame(w);
            } catch (const KivError&) {
                SetLamps(w, kBlack);
                return SendEnd::FrameError;
            }
            w.sendCount = w.sendCount + 1 >= kCountWrap ? 0 : w.sendCount + 1;
            w.Tally1.Value = w.sendCount;
            SetLamps(w, kLightGreen);

            bool yielded = false;
            WaitFor(
                w, t0, [&] { return w.halfPeriod; }, yielded);
            if (w.programEnded) return SendEnd::ProgramEnded;
            SetLamps(w, kGreen);
            WaitFor(
                w, t0, [&] { return w.sendPeriod; }, yielded);
            if (w.programEnded) return SendEnd::ProgramEnded;
            // A period of 0 or less never waits; the window still gets its
            // turn once per cycle so that pause and close keep working.
            if (!yielded) w.yielder->YieldUntil(w.clock->Now());
            if (w.programEnded) return SendEnd::ProgramEnded;

            if (w.slotCount > 0)
                w.MSComm1->Output(std::span<const std::uint8_t>(w.frameBytes.values));
        }
    } catch (const KivError&) {
        SetLamps(w, kBlack);
        // A device that went away under the loop (a cable pulled) leaves the
        // port closed; the window must not go on showing it open, or
        // "串口打开" would look selected and could not be chosen again.
        if (w.portOpened && !w.MSComm1->PortOpen()) Optionclose_Click(w);
        return SendEnd::LineLost;
    }
}

void starsend_Click(Model& w) {
    SendFrames(w);
}

void pausesend_Click(Model& w) {
    w.isSending = false;
}

void Command8_Click(Model& w) {
    w.sendCount = 0;
    w.Tally1.Value = 0;
}

}  // namespace kiv
