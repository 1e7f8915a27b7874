#include "sending/capacity_warning.h"

#include <charconv>

#include "serial/comm_control.h"
#include "serial/line_capacity.h"
#include "serial/line_watch.h"

namespace kiv {
namespace {

// The entry of box i that the last apply stored, as text.
const std::string* AppliedEntry(const Model& w, int box) {
    const ComboBox& c = w.Combo1(box);
    const std::size_t at = w.portChoices(box);
    return at < c.List.size() ? &c.List[at] : nullptr;
}

std::optional<std::int64_t> Whole(const std::string* text) {
    if (text == nullptr || text->empty()) return std::nullopt;
    std::int64_t v = 0;
    const char* end = text->data() + text->size();
    auto [ptr, ec] = std::from_chars(text->data(), end, v);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return v;
}

}  // namespace

LineCapacity CapacityOf(const Model& w) {
    CharacterFormat format;
    if (const std::string* word = AppliedEntry(w, kPortBoxParity))
        if (const ParityName* parity = FindParityWord(*word)) format.parity = parity->parity;
    if (auto data = Whole(AppliedEntry(w, kPortBoxDataBits)); data && *data >= 5 && *data <= 8)
        format.dataBits = static_cast<int>(*data);
    if (const std::string* stop = AppliedEntry(w, kPortBoxStopBits)) {
        if (*stop == "1.5")
            format.stopHalfBits = 3;
        else if (*stop == "2")
            format.stopHalfBits = 4;
    }
    LineCapacity c;
    c.needed = BaudNeeded(FrameLength(w), format, w.sendPeriod);
    if (auto baud = Whole(AppliedEntry(w, kPortBoxBaud)); baud && *baud > 0) c.portBaud = *baud;
    // An unknown rate is not a slow one, and a line that takes bytes as
    // fast as they come (the virtual port) has no rate to fall behind:
    // nothing to warn about.
    LineWatch* watch = w.MSComm1 != nullptr ? w.MSComm1->Watch() : nullptr;
    c.paced = watch == nullptr || watch->KeepsToRate();
    c.keepsUp = !c.paced || c.portBaud == 0 || LineKeepsUp(c.needed, c.portBaud);
    return c;
}

std::string CapacityWarning(const Model& w) {
    const LineCapacity c = CapacityOf(w);
    if (c.keepsUp) return {};
    if (!c.needed) return "周期为 0，任何波特率都跟不上";
    return "需要至少 " + std::to_string(*c.needed) + " 波特";
}

std::string CapacityWarningForConsole(const Model& w) {
    const LineCapacity c = CapacityOf(w);
    if (c.keepsUp) return {};
    const std::string port = " (the port runs at " + std::to_string(c.portBaud) + ")";
    if (!c.needed) return "warning: no baud rate keeps up with a period of 0 ms" + port;
    return "warning: the line needs at least " + std::to_string(*c.needed) + " baud for this plan" +
           port;
}

}  // namespace kiv
