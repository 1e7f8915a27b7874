#include "sending/frame_settings.h"

#include <algorithm>
#include <array>
#include <span>

#include "model/errors.h"
#include "model/messages.h"
#include "serial/comm_control.h"
#include "serial/port_open_close.h"
#include "signal/compute_frame.h"
#include "signal/frame_assembly.h"

namespace kiv {
namespace {

// The entry a choice box holds: its text is one of the table's labels (the
// window's words) or names (kiv-cli's and the setup file's words).
template <typename Table, typename Get>
auto ChoiceOf(const ComboBox& box, const Table& table, Get value)
    -> std::optional<decltype(value(table.front()))> {
    for (const auto& k : table)
        if (box.Text == k.label || (box.Text == k.name && *k.name != '\0')) return value(k);
    return std::nullopt;
}

const char* ChecksumLabel(const ChecksumKind& k) {
    return k.checksum == Checksum::None ? "无" : k.name;
}

// A frame whose slots are filled as the next one would be, without noise:
// the line shows the frame's shape, and sending keeps every random draw.
std::vector<std::uint8_t> NextSlotsWithoutNoise(const Model& w) {
    const int count = std::clamp(w.slotCount, 0, kSlotCount);
    FrameInputs in{
        std::span<const std::string>(w.slotText.values).first(static_cast<std::size_t>(count)),
        std::span<const SignalParams, kSignalEntryCount>(w.signalParams.values)};
    in.previous = w.frameBytes.values;
    in.count = w.sendCount;
    in.period = w.sendPeriod;
    in.pi = w.PI_SINGLE;
    struct NoDraws : RandomSource {
        float Draw() override { return 0.0f; }
    } none;
    ComposedFrame frame = ComposeFrame(in, none);
    if (!frame.ok()) return {};
    return frame.bytes;
}

}  // namespace

Outcome ReadFrameFormat(const Model& w, FrameFormat& format) {
    FrameFormat read;
    std::string why;
    const auto header = ParseByteList(w.frameHeader.Text, &why);
    if (!header) return Outcome::Failed("frameHeader", why);
    read.header = *header;
    const auto counter =
        ChoiceOf(w.frameCounter, kCounterKinds, [](const CounterKind& k) { return k.counter; });
    if (!counter) return Outcome::Failed("frameCounter", "is none of the counter's entries");
    read.counter = *counter;
    read.lengthByte = w.frameLengthByte.Value == 1;
    std::optional<Checksum> checksum;
    for (const ChecksumKind& k : kChecksumKinds)
        if (w.frameChecksum.Text == ChecksumLabel(k) ||
            (w.frameChecksum.Text.empty() && k.checksum == Checksum::None))
            checksum = k.checksum;
    if (!checksum) return Outcome::Failed("frameChecksum", "is none of the checksum's entries");
    read.checksum = *checksum;
    const auto order =
        ChoiceOf(w.frameChecksumOrder, kByteOrders, [](const ByteOrderKind& k) { return k.order; });
    if (!order) return Outcome::Failed("frameChecksumOrder", "is none of the byte orders");
    read.checksumOrder = *order;
    const auto from = ChoiceOf(w.frameChecksumFrom, kChecksumFroms,
                               [](const ChecksumFromKind& k) { return k.from; });
    if (!from) return Outcome::Failed("frameChecksumFrom", "is none of the checksum's ranges");
    read.checksumFrom = *from;
    const auto trailer = ParseByteList(w.frameTrailer.Text, &why);
    if (!trailer) return Outcome::Failed("frameTrailer", why);
    read.trailer = *trailer;
    format = std::move(read);
    return Outcome::Done();
}

Outcome ApplyFrameFormat(Model& w) {
    FrameFormat format;
    Outcome read = ReadFrameFormat(w, format);
    if (!read) {
        w.msgDetail = read.box + ": " + read.reason;
        ShowMessage(w, kFrameFormatMessage);
        return read;
    }
    const bool resized = PartsOf(format, w.slotCount).Total() != FrameLength(w);
    w.frameFormat = std::move(format);
    if (resized && w.MSComm1 != nullptr) {
        CommControl& port = *w.MSComm1;
        try {
            const auto length = static_cast<std::int16_t>(FrameLength(w));
            if (port.PortOpen()) {
                port.setPortOpen(false);
                port.setOutBufferSize(length);
                port.setPortOpen(true);
            } else {
                port.setOutBufferSize(length);
            }
        } catch (const KivError& e) {
            // The format is stored; the port that would not take the new
            // length is shut, as the send page's apply shuts it.
            RefreshFrameLayout(w);
            w.msgDetail = e.what();
            ShowMessage(w, kFrameFormatMessage);
            Optionclose_Click(w);
            return Outcome::Failed("", e.what());
        }
    }
    RefreshFrameLayout(w);
    return Outcome::Done();
}

void Command9_Click(Model& w) {
    ApplyFrameFormat(w);
}

void frameChecksum_Click(Model& w) {
    for (const ChecksumKind& k : kChecksumKinds)
        if (w.frameChecksum.Text == ChecksumLabel(k) && k.width > 1)
            w.frameChecksumOrder.Pick(k.defaultOrder == ByteOrder::Le ? 0 : 1);
}

void PutFrameFormatInBoxes(Model& w, const FrameFormat& format) {
    w.frameHeader.Text = ByteListText(format.header);
    w.frameTrailer.Text = ByteListText(format.trailer);
    w.frameLengthByte.Value = format.lengthByte ? 1 : 0;
    for (std::size_t i = 0; i < kCounterKinds.size(); ++i)
        if (kCounterKinds[i].counter == format.counter) w.frameCounter.Pick(static_cast<int>(i));
    for (std::size_t i = 0; i < kChecksumKinds.size(); ++i)
        if (kChecksumKinds[i].checksum == format.checksum)
            w.frameChecksum.Pick(static_cast<int>(i));
    for (std::size_t i = 0; i < kByteOrders.size(); ++i)
        if (kByteOrders[i].order == format.checksumOrder)
            w.frameChecksumOrder.Pick(static_cast<int>(i));
    for (std::size_t i = 0; i < kChecksumFroms.size(); ++i)
        if (kChecksumFroms[i].from == format.checksumFrom)
            w.frameChecksumFrom.Pick(static_cast<int>(i));
}

std::string FrameLayoutLine(const Model& w) {
    const FrameFormat& f = w.frameFormat;
    const int slots = std::clamp(w.slotCount, 0, kSlotCount);
    std::string layout;
    const auto part = [&](const std::string& text) {
        if (!layout.empty()) layout += " | ";
        layout += text;
    };
    if (!f.header.empty()) part(ByteListText(f.header));
    if (f.counter != FrameCounter::None) part(std::string("计数 ") + KindOf(f.counter).label);
    if (f.lengthByte) part("长度");
    part(std::to_string(slots) + " 个槽");
    if (f.checksum != Checksum::None) {
        const ChecksumKind& k = KindOf(f.checksum);
        std::string text = k.name;
        if (k.width > 1) text += std::string(" ") + KindOf(f.checksumOrder).label;
        if (f.checksumFrom == ChecksumFrom::Payload)
            text += std::string(" ") + KindOf(f.checksumFrom).label;
        part(text);
    }
    if (!f.trailer.empty()) part(ByteListText(f.trailer));
    const std::vector<std::uint8_t> next = NextSlotsWithoutNoise(w);
    if (static_cast<int>(next.size()) != slots) return layout;
    const AssembledFrame frame = AssembleFrame(f, next, w.sendCount);
    const auto bytes = frame.Bytes();
    return layout + "：" + ByteListText(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void RefreshFrameLayout(Model& w) {
    w.frameLayout.Caption = FrameLayoutLine(w);
}

}  // namespace kiv
