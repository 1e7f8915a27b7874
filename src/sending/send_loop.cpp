#include "sending/send_loop.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <iostream>
#include <optional>
#include <span>
#include <string>

#include "model/errors.h"
#include "model/messages.h"
#include "model/one_line.h"
#include "model/texts.h"
#include "sending/frame_tap.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"
#include "serial/port_open_close.h"
#include "signal/compute_frame.h"
#include "signal/frame_assembly.h"

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
// so a handler running inside the yield acts on the wait under way. The
// yield may sleep until wake() ms after t0 at the latest; that is the bound
// itself unless nothing needs the thread awake any earlier.
template <typename Bound, typename Wake>
void WaitFor(Model& w, std::uint32_t t0, Bound bound, Wake wake, bool& yielded) {
    for (;;) {
        const std::int32_t b = bound();
        if (Elapsed(w.clock->Now(), t0) >= b || w.programEnded) return;
        w.yielder->YieldUntil(t0 + static_cast<std::uint32_t>(std::max(b, wake())));
        yielded = true;
    }
}

// The frame plan a frame was composed for: its length and its slot texts.
struct ComposedPlan {
    std::int32_t slotCount = 0;
    std::array<std::string, kSlotCount> texts;

    static ComposedPlan Of(const Model& w) {
        ComposedPlan plan;
        plan.slotCount = w.slotCount;
        for (int i = 1; i <= w.slotCount && i <= kSlotCount; ++i)
            plan.texts[static_cast<std::size_t>(i - 1)] = w.slotText(i);
        return plan;
    }
    // Whether the model still holds this plan; letter case does not count,
    // as the frame's composition does not tell "SINX1" from "sinx1".
    bool InForce(const Model& w) const {
        if (w.slotCount != slotCount) return false;
        for (int i = 1; i <= slotCount && i <= kSlotCount; ++i)
            if (!SameIgnoringCase(texts[static_cast<std::size_t>(i - 1)], w.slotText(i)))
                return false;
        return true;
    }
};

// Composes the frame of time index n for the plan in force. The frame time
// is the cycle's own, whatever a clear of the count did meanwhile.
void ComposeAt(Model& w, std::int32_t n) {
    const std::int32_t count = w.sendCount;
    w.sendCount = n;
    try {
        ComputeFrame(w);
    } catch (...) {
        w.sendCount = count;
        throw;
    }
    w.sendCount = count;
}

// The local time of day, "14:03:27".
std::string TimeOfDay() {
    const std::time_t now = std::time(nullptr);
    char text[16] = "??:??:??";
    if (const std::tm* local = std::localtime(&now); local != nullptr)
        std::strftime(text, sizeof text, "%H:%M:%S", local);
    return text;
}

// Clears the loop flag however the loop ends, and tells the frame tap.
struct LoopActive {
    explicit LoopActive(Model& m) : w(m) {
        w.sendLoopActive = true;
        if (w.frameTap != nullptr) w.frameTap->BeginSending(w);
    }
    ~LoopActive() {
        w.sendLoopActive = false;
        if (w.frameTap != nullptr) w.frameTap->EndSending();
    }
    Model& w;
};

// Frames the port took and then dropped from its queue unsent (an apply
// opened it again) never left: the monitor is told to take them back, so
// that its ring and its recording hold only what went on the line.
class DroppedFrames {
  public:
    void Check(Model& w) {
        LineWatch* watch = w.MSComm1->Watch();
        const std::uint64_t dropped = watch != nullptr ? watch->FramesDropped() : 0;
        if (watch == m_watch && dropped > m_seen && w.frameTap != nullptr)
            w.frameTap->TakeBack(dropped - m_seen);
        m_watch = watch;
        m_seen = dropped;
    }

  private:
    LineWatch* m_watch = nullptr;
    std::uint64_t m_seen = 0;
};

// Composes the cycle's frame for the plan in force, counts it and lights the
// first lamps. Says which plan the frame belongs to.
ComposedPlan ComposeCycleFrame(Model& w) {
    ComputeFrame(w);
    ComposedPlan composed = ComposedPlan::Of(w);
    w.sendCount = w.sendCount + 1 >= kCountWrap ? 0 : w.sendCount + 1;
    w.Tally1.Value = w.sendCount;
    SetLamps(w, kLightGreen);
    return composed;
}

// The cycle's two waits from t0: the half period, when the lamps change, and
// the whole period, when the frame leaves. Unseen lamps need no wake-up at
// the half period: the first wait then sleeps on towards the frame's moment,
// so the thread wakes once per cycle. Events still end every yield early, and
// the frame leaves when it always did. False when the program ended meanwhile.
bool WaitCyclePeriod(Model& w, std::uint32_t t0) {
    bool yielded = false;
    WaitFor(
        w, t0, [&] { return w.halfPeriod; },
        [&] { return w.lampsOnShow ? w.halfPeriod : w.sendPeriod; }, yielded);
    if (w.programEnded) return false;
    SetLamps(w, kGreen);
    WaitFor(
        w, t0, [&] { return w.sendPeriod; }, [&] { return w.sendPeriod; }, yielded);
    if (w.programEnded) return false;
    // A period of 0 or less never waits; the window still gets its turn once
    // per cycle so that pause and close keep working.
    if (!yielded) w.yielder->YieldUntil(w.clock->Now());
    return !w.programEnded;
}

// Writes the frame of time index n, wrapped in the frame format in force: a
// frame-page apply during the waits takes effect with this frame, whole, as
// the port's output buffer was sized for it. The counter is the frame's time
// index.
void WriteFrame(Model& w, std::int32_t n, DroppedFrames& dropped) {
    if (w.slotCount <= 0) return;
    const auto length = static_cast<std::size_t>(std::min(w.slotCount, kSlotCount));
    const AssembledFrame frame = AssembleFrame(
        w.frameFormat, std::span<const std::uint8_t>(w.frameBytes.values).first(length), n);
    // The monitor sees what the port took: nothing of a frame dropped
    // because an apply opened the port again meanwhile, nor of the frames
    // that waited in its queue then.
    dropped.Check(w);
    const std::size_t took = w.MSComm1->Output(frame.Bytes());
    dropped.Check(w);
    if (w.frameTap != nullptr && took > 0)
        w.frameTap->Record(w, frame.Bytes().first(took), frame.parts);
}

// One send cycle: compose, wait, write. Empty while sending goes on, else
// why the loop ends. A write the port refuses throws.
std::optional<SendEnd> SendCycle(Model& w, DroppedFrames& dropped) {
    if (w.programEnded) return SendEnd::ProgramEnded;
    if (!w.isSending) return SendEnd::Paused;
    const std::uint32_t t0 = w.clock->Now();
    const std::int32_t n = w.sendCount;
    ComposedPlan composed;
    try {
        composed = ComposeCycleFrame(w);
    } catch (const KivError&) {
        SetLamps(w, kBlack);
        return SendEnd::FrameError;
    }
    if (!WaitCyclePeriod(w, t0)) return SendEnd::ProgramEnded;

    // A send-page apply during the waits may have changed the plan: the
    // frame composed at the cycle start then belongs to a plan that is no
    // longer in force, and the port's output buffer now has the new frame
    // length. Writing the old bytes would put a cut frame on the line
    // (shorter plan) or the old frame followed by stale bytes of an earlier,
    // longer plan (longer plan). So the frame is composed once more for the
    // plan in force, at this cycle's frame time, and exactly its slotCount
    // bytes are written: every byte on the line belongs to the plan it is
    // sent under, and the frame is as long as the output buffer. A plan left
    // alone keeps the frame composed at the cycle start.
    if (!composed.InForce(w)) {
        try {
            ComposeAt(w, n);
        } catch (const KivError&) {
            SetLamps(w, kBlack);
            return SendEnd::FrameError;
        }
    }
    WriteFrame(w, n, dropped);
    return std::nullopt;
}

// The end of a loop whose port refused a write.
SendEnd EndOnLineLost(Model& w, const KivError& e) {
    SetLamps(w, kBlack);
    // A device that went away under the loop (a cable pulled) leaves the
    // port closed; the window must not go on showing it open, or "串口打开"
    // would look selected and could not be chosen again. A port the user
    // closed ends the loop here too, and needs no word.
    if (w.portOpened) {
        // No box interrupts the user here; the lamps' tooltip and standard
        // error keep what happened and when.
        w.lampToolTip = Say(TextId::SendingStopped, {TimeOfDay(), e.what()});
        // A typed device path in the reason is shown, not acted on.
        std::cerr << "kiv: " << OneLine(w.lampToolTip) << std::endl;
        if (!w.MSComm1->PortOpen()) Optionclose_Click(w);
    }
    return SendEnd::LineLost;
}

}  // namespace

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
    DroppedFrames dropped;
    try {
        dropped.Check(w);
        w.isSending = true;
        for (;;)
            if (const std::optional<SendEnd> end = SendCycle(w, dropped)) return *end;
    } catch (const KivError& e) {
        // A close that ended the loop dropped the queue too.
        dropped.Check(w);
        return EndOnLineLost(w, e);
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
