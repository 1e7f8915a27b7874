#pragma once

// Test doubles for the platform services: a scripted clock and yield, a
// recording message box and port, and a replayable random source. The one
// fake port of every test: the window's tests use it as well.
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/services.h"
#include "app/startup.h"
#include "model/errors.h"
#include "model/model.h"
#include "sending/send_loop.h"
#include "serial/comm_control.h"
#include "serial/line_watch.h"
#include "serial/port_settings_text.h"

namespace kiv::testing {

struct ShownMessage {
    std::string text;
    std::int32_t style;
    std::string title;
    std::string detail;  // the box's detailed text
};

class FakeMessageBox : public MessageBoxService {
  public:
    std::int32_t Show(const std::string& text, std::int32_t style, const std::string& title,
                      const std::string& helpFile, std::int32_t helpContext) override {
        return ShowWithDetail(text, style, title, helpFile, helpContext, {});
    }
    std::int32_t ShowWithDetail(const std::string& text, std::int32_t style,
                                const std::string& title, const std::string&, std::int32_t,
                                const std::string& detail) override {
        shown.push_back({text, style, title, detail});
        if (onShow) onShow();
        return kAnswerContinue;
    }
    std::vector<ShownMessage> shown;
    std::function<void()> onShow;  // runs while the box is "open"
};

// A clock that only moves when the test or the yield moves it.
class FakeClock : public MillisecondClock {
  public:
    std::uint32_t Now() override { return now; }
    std::uint32_t now = 0;
};

// Each yield advances the clock by `step` ms (never past wakeAt unless step
// is larger) and runs the next scripted action, if any is due.
class FakeYielder : public Yielder {
  public:
    explicit FakeYielder(FakeClock& clock) : m_clock(clock) {}
    void YieldUntil(std::uint32_t wakeAt) override {
        ++yields;
        lastWakeAt = wakeAt;
        m_clock.now += step;
        if (everyYield) everyYield();
    }
    int yields = 0;
    std::uint32_t lastWakeAt = 0;
    std::uint32_t step = 1;
    std::function<void()> everyYield;

  private:
    FakeClock& m_clock;
};

class FakeRandom : public RandomSource {
  public:
    float Draw() override {
        ++draws;
        if (values.empty()) return 0.5f;
        float v = values.front();
        values.pop_front();
        return v;
    }
    std::deque<float> values;
    int draws = 0;
};

// A port that records every call and its bytes, and fails on request.
class FakeComm : public CommControl {
  public:
    void setInBufferSize(std::int16_t v) override { Call("InBufferSize=" + std::to_string(v)); }
    void setOutBufferSize(std::int16_t v) override {
        Call("OutBufferSize=" + std::to_string(v));
        outBufferSize = v;
    }
    void setInputMode(std::int32_t v) override { Call("InputMode=" + std::to_string(v)); }
    void setInputLen(std::int16_t v) override { Call("InputLen=" + std::to_string(v)); }
    void setInBufferCount(std::int16_t v) override { Call("InBufferCount=" + std::to_string(v)); }
    void setOutBufferCount(std::int16_t v) override { Call("OutBufferCount=" + std::to_string(v)); }
    void setRThreshold(std::int16_t v) override { Call("RThreshold=" + std::to_string(v)); }
    void setCommPort(std::int16_t v) override {
        Call("CommPort=" + std::to_string(v));
        commPort = v;
    }
    void setSettings(const std::string& s) override {
        Call("Settings=" + s);
        if (!ParseLineSettings(s) || (refuseBaud && s.rfind(*refuseBaud + ",", 0) == 0))
            Raise(ErrorKind::Port, "settings refused");
        settings = s;
    }
    bool PortOpen() const override { return open; }
    void setPortOpen(bool v) override {
        Call(v ? "PortOpen=true" : "PortOpen=false");
        if (v && failOpen) Raise(ErrorKind::Port, "device missing");
        if (!v && open) {
            // The frames still queued never reach the line.
            const std::size_t n = std::min(queueDepth, sinceOpen);
            frames.resize(frames.size() - n);
            droppedFrames += n;
        }
        sinceOpen = 0;
        open = v;
    }
    std::size_t Output(std::span<const std::uint8_t> bytes) override {
        Call("Output");
        if (!open) Raise(ErrorKind::Port, "port closed");
        // A frame dropped whole, as a port opened again while it waited.
        if (++outputs == dropOutput) return 0;
        const std::size_t n = std::min<std::size_t>(
            bytes.size(), static_cast<std::size_t>(std::max<int>(outBufferSize, 0)));
        frames.emplace_back(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        ++sinceOpen;
        return n;
    }
    LineWatch* Watch() override { return watched ? &m_watch : nullptr; }

    std::vector<std::string> calls;
    std::vector<std::vector<std::uint8_t>> frames;
    bool open = false;
    bool failOpen = false;
    std::optional<std::string> refuseBaud;  // a baud text the port refuses
    std::optional<std::string> failOn;      // a call prefix that raises
    std::string failReason;                 // its reason, when not the usual one
    int outBufferSize = 0;
    int outputs = 0;     // Output calls so far
    int dropOutput = 0;  // the Output call whose frame is dropped; 0: none
    int commPort = 0;
    std::string settings;
    // With `watched`, the port shows a line watch. The newest `queueDepth`
    // frames taken since the last open wait in its queue, and a close drops
    // them whole: `frames` keeps only what reached the line.
    bool watched = false;
    bool keepsToRate = true;
    std::size_t queueDepth = 0;
    std::uint64_t droppedFrames = 0;
    ArrivedStore arrived;

  private:
    struct Watched : LineWatch {
        explicit Watched(FakeComm& c) : comm(c) {}
        const ArrivedStore& Arrived() override { return comm.arrived; }
        std::int64_t BytesQueued() override { return -1; }
        std::uint64_t FramesDropped() override { return comm.droppedFrames; }
        bool KeepsToRate() override { return comm.keepsToRate; }
        FakeComm& comm;
    };
    Watched m_watch{*this};
    std::size_t sinceOpen = 0;

    void Call(const std::string& what) {
        calls.push_back(what);
        if (failOn && what.rfind(*failOn, 0) == 0)
            Raise(ErrorKind::Port, failReason.empty() ? "refused: " + what : failReason);
    }
};

// A model wired to fresh fakes.
struct Rig {
    Rig() : yielder(clock) { Services{&clock, &yielder, &random, &port, &box}.AttachTo(w); }
    FakeMessageBox box;
    FakeClock clock;
    FakeYielder yielder;
    FakeRandom random;
    FakeComm port;
    Model w;
};

// Runs the send loop until `frames` frames are written: pausing in the last
// cycle lets that cycle complete. `alsoEachYield` runs at every yield first.
inline void RunFrames(Rig& r, std::size_t frames, std::function<void()> alsoEachYield = {}) {
    r.yielder.everyYield = [&r, frames, alsoEachYield] {
        if (alsoEachYield) alsoEachYield();
        if (r.port.frames.size() + 1 >= frames) pausesend_Click(r.w);
    };
    starsend_Click(r.w);
}

// A rig whose window has been through its start-up; the port's calls from
// the start-up are forgotten, so a test sees only its own.
struct StartedRig : Rig {
    StartedRig() {
        StartUp(w);
        port.calls.clear();
    }
};

}  // namespace kiv::testing
