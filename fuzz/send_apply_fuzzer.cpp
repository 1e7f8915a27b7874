// The send page's apply (ApplySendSettings) with any text in the ten slots
// and the period box, over any earlier plan, with the port open or closed,
// and with the port refusing the new frame length or the reopen. Afterwards
// either the plan, the timing and the noise boxes follow the page and no
// message was shown, or the send message was shown once, sending is shut
// down, and what survives is what the point of failure allows.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/startup.h"
#include "box_texts.h"
#include "fakes.h"
#include "reference.h"
#include "sending/send_content.h"
#include "serial/port_open_close.h"

namespace kiv::fuzz {
namespace {

constexpr const char* kMessage = "发送内容设置错误，请修改！";
constexpr const char* kTitle = "发送内容信息";

bool SlotAccepted(const std::string& text) {
    const std::string lower = RefLower(text);
    if (lower.empty() || RefSignalEntry(lower) != 0) return true;
    return RefTextToRange(lower, 0, 255).ok();
}

enum class PortFault { None, RefuseBufferSize, RefuseReopen };

struct Snapshot {
    std::array<std::string, 10> slotText;
    std::int32_t slotCount, sendPeriod, halfPeriod, sendCount;
    std::array<int, 20> checkValue;
    std::array<bool, 20> checkEnabled;
    bool starsend, pausesend, portOpen, portOpened, isSending;
    std::uint32_t lamp;
    std::string status;

    explicit Snapshot(Model& w, const testing::FakeComm& port) {
        for (int i = 1; i <= kSlotCount; ++i) {
            slotText[static_cast<std::size_t>(i - 1)] = w.slotText(i);
            checkValue[static_cast<std::size_t>(i - 1)] = w.Check1(i).Value;
            checkValue[static_cast<std::size_t>(i + 9)] = w.Check2(i).Value;
            checkEnabled[static_cast<std::size_t>(i - 1)] = w.Check1(i).Enabled;
            checkEnabled[static_cast<std::size_t>(i + 9)] = w.Check2(i).Enabled;
        }
        slotCount = w.slotCount;
        sendPeriod = w.sendPeriod;
        halfPeriod = w.halfPeriod;
        sendCount = w.sendCount;
        starsend = w.starsend.Enabled;
        pausesend = w.pausesend.Enabled;
        portOpen = port.open;
        portOpened = w.portOpened;
        isSending = w.isSending;
        lamp = w.Shape1(1).BackColor;
        status = w.Label50.Caption;
    }
};

std::string ShowAll(Model& w) {
    std::string s = "slots";
    for (int i = 1; i <= kSlotCount; ++i) s += " " + Show(w.sendText1(i).Text);
    return s + ", period " + Show(w.autosendtext1.Text);
}

}  // namespace
}  // namespace kiv::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    using namespace kiv::fuzz;
    FuzzedDataProvider in(data, size);
    testing::Rig rig;
    Model& w = rig.w;
    StartUp(w);

    // The state an earlier session left: open or closed port, sending or
    // not, an earlier plan and timing, any ticks and enabled boxes.
    if (in.ConsumeBool()) Optionopen_Click(w);
    w.isSending = in.ConsumeBool();
    if (in.ConsumeBool()) {
        w.slotCount = in.ConsumeIntegralInRange<std::int32_t>(0, 10);
        for (int i = 1; i <= kSlotCount; ++i) w.slotText(i) = in.ConsumeRandomLengthString(8);
        w.sendPeriod = in.ConsumeIntegral<std::int32_t>();
        w.halfPeriod = in.ConsumeIntegral<std::int32_t>();
        w.sendCount = in.ConsumeIntegralInRange<std::int32_t>(0, 999999);
        w.starsend.Enabled = w.pausesend.Enabled = in.ConsumeBool();
    }
    const auto ticks = in.ConsumeIntegral<std::uint32_t>();
    const auto enabled = in.ConsumeIntegral<std::uint32_t>();
    for (int i = 1; i <= kSlotCount; ++i) {
        w.Check1(i).Value = w.Check2(i).Value = static_cast<int>((ticks >> i) & 1U);
        w.Check1(i).Enabled = (enabled >> i) & 1U;
        w.Check2(i).Enabled = (enabled >> (i + 10)) & 1U;
    }
    const auto fault = static_cast<PortFault>(in.ConsumeIntegralInRange<int>(0, 2));
    if (fault == PortFault::RefuseBufferSize) rig.port.failOn = "OutBufferSize";
    if (fault == PortFault::RefuseReopen) rig.port.failOpen = true;
    rig.port.calls.clear();
    rig.box.shown.clear();

    BoxTexts texts(in);
    for (int i = 1; i <= kSlotCount; ++i) w.sendText1(i).Text = texts.Next(w.sendText1(i).Text);
    w.autosendtext1.Text = texts.Next(w.autosendtext1.Text);

    const Snapshot before(w, rig.port);
    std::array<std::string, 10> typed;
    for (int i = 1; i <= kSlotCount; ++i)
        typed[static_cast<std::size_t>(i - 1)] = w.sendText1(i).Text;

    // The expected outcome, from the page alone.
    bool slotsGood = true;
    for (const std::string& t : typed) slotsGood = slotsGood && SlotAccepted(t);
    const RefResult period = RefTextToRange(w.autosendtext1.Text, kInt32Min, kInt32Max);
    const bool pageGood = slotsGood && period.ok();
    int count = 0;
    while (count < 10 && !typed[static_cast<std::size_t>(count)].empty()) ++count;
    std::vector<std::string> calls;
    bool portFails = false;
    if (pageGood) {
        if (before.portOpen) calls.push_back("PortOpen=false");
        calls.push_back("OutBufferSize=" + std::to_string(count));
        portFails = fault == PortFault::RefuseBufferSize;
        if (before.portOpen && !portFails) {
            calls.push_back("PortOpen=true");
            portFails = fault == PortFault::RefuseReopen;
        }
    } else if (before.portOpen) {
        calls.push_back("PortOpen=false");  // the shut-down closes the port
    }
    const bool failure = !pageGood || portFails;

    ApplySendSettings(w);

    const Snapshot after(w, rig.port);
    const std::string page = ShowAll(w);
    FUZZ_CHECK(rig.port.calls == calls, "port calls differ for " + page);
    for (int i = 1; i <= kSlotCount; ++i) {
        FUZZ_CHECK(w.sendText1(i).Text == typed[static_cast<std::size_t>(i - 1)],
                   "the apply changed a slot box");
    }
    FUZZ_CHECK(after.sendCount == before.sendCount, "the apply changed the send count");
    FUZZ_CHECK(after.checkValue == before.checkValue, "the apply changed a tick");

    if (pageGood) {
        FUZZ_CHECK(after.slotCount == count, "slotCount " + std::to_string(after.slotCount) +
                                                 ", expected " + std::to_string(count) + " for " +
                                                 page);
        for (int i = 1; i <= kSlotCount; ++i) {
            const auto k = static_cast<std::size_t>(i - 1);
            FUZZ_CHECK(after.slotText[k] == (i <= count ? typed[k] : before.slotText[k]),
                       "slotText(" + std::to_string(i) + ") is " + Show(after.slotText[k]));
        }
        FUZZ_CHECK(after.sendPeriod == period.value,
                   "sendPeriod " + std::to_string(after.sendPeriod) + " for " + page);
        const RefResult half =
            RefRealToRange(static_cast<double>(period.value) * 0.5, kInt32Min, kInt32Max);
        FUZZ_CHECK(after.halfPeriod == half.value,
                   "halfPeriod " + std::to_string(after.halfPeriod) + " for " + page);
    } else {
        FUZZ_CHECK(after.slotText == before.slotText && after.slotCount == before.slotCount &&
                       after.sendPeriod == before.sendPeriod &&
                       after.halfPeriod == before.halfPeriod,
                   "a rejected page changed the plan or the timing: " + page);
    }

    if (failure) {
        FUZZ_CHECK(rig.box.shown.size() == 1 && rig.box.shown[0].text == kMessage &&
                       rig.box.shown[0].title == kTitle && rig.box.shown[0].style == 22,
                   "the send message should be shown once for " + page);
        FUZZ_CHECK(!after.starsend && !after.pausesend, "send buttons left enabled");
        FUZZ_CHECK(!after.portOpen && !after.portOpened && !after.isSending,
                   "sending not shut down after a failed apply");
        FUZZ_CHECK(after.lamp == kBlack && w.Shape1(0).BackColor == kBlack, "lamps not black");
        FUZZ_CHECK(after.status.ends_with("CLOSE!") && w.Optionclose.Value && !w.Optionopen.Value,
                   "the window is not in its closed look");
        FUZZ_CHECK(after.checkEnabled == before.checkEnabled, "a failed apply changed the boxes");
    } else {
        FUZZ_CHECK(rig.box.shown.empty(), "a message for a good page: " + page);
        FUZZ_CHECK(after.starsend && after.pausesend, "send buttons not enabled");
        FUZZ_CHECK(after.portOpen == before.portOpen && after.portOpened == before.portOpened &&
                       after.isSending == before.isSending && after.lamp == before.lamp &&
                       after.status == before.status,
                   "a good apply changed the port's state");
        for (int i = 1; i <= kSlotCount; ++i) {
            const bool inFrame = i <= count;
            FUZZ_CHECK(after.checkEnabled[static_cast<std::size_t>(i - 1)] == inFrame &&
                           after.checkEnabled[static_cast<std::size_t>(i + 9)] == inFrame,
                       "noise box " + std::to_string(i) + " enabled state wrong, slotCount " +
                           std::to_string(count));
        }
    }
    return 0;
}
