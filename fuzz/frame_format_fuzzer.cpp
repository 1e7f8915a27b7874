// The frame format page's apply (ApplyFrameFormat) with any texts in its
// boxes, over a format already in force, then the frame it gives for any
// slots at any time index. A refused page shows the page's message once and
// leaves the stored format as it was; an accepted one stores what the boxes
// say, and every frame then equals the frame built here from the rules
// alone: the parts in order, the counter modulo its range, the checksums
// computed bit by bit from their polynomials (the program uses tables).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/startup.h"
#include "box_texts.h"
#include "fakes.h"
#include "reference.h"
#include "sending/frame_settings.h"
#include "signal/frame_assembly.h"

namespace kiv::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A byte list by its rule: tokens between blanks, tabs and commas, each one
// or two hexadecimal digits after an optional 0x, at most eight.
std::optional<Bytes> RefByteList(const std::string& text) {
    static const std::regex token("(?:0[xX])?([0-9a-fA-F]{1,2})");
    Bytes bytes;
    std::string current;
    const auto take = [&]() -> bool {
        if (current.empty()) return true;
        std::smatch m;
        if (!std::regex_match(current, m, token)) return false;
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(m[1].str(), nullptr, 16)));
        current.clear();
        return bytes.size() <= 8;
    };
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ',') {
            if (!take()) return std::nullopt;
        } else {
            current += c;
        }
    }
    if (!take()) return std::nullopt;
    return bytes;
}

// A CRC by its textbook definition, one bit at a time.
struct Crc {
    int width;
    std::uint32_t poly, init;
    bool reflected;
    std::uint32_t xorOut;
};

std::uint32_t Reflect(std::uint32_t v, int bits) {
    std::uint32_t r = 0;
    for (int i = 0; i < bits; ++i)
        if (v & (1U << i)) r |= 1U << (bits - 1 - i);
    return r;
}

std::uint32_t BitwiseCrc(const Crc& c, const Bytes& data) {
    const std::uint64_t top = std::uint64_t{1} << (c.width - 1);
    const std::uint64_t mask = (top << 1) - 1;
    std::uint64_t reg = c.init;
    for (std::uint8_t byte : data) {
        const std::uint32_t in = c.reflected ? Reflect(byte, 8) : byte;
        for (int bit = 7; bit >= 0; --bit) {
            const bool feed = ((in >> bit) & 1U) != 0;
            const bool high = (reg & top) != 0;
            reg = (reg << 1) & mask;
            if (feed != high) reg ^= c.poly;
        }
    }
    std::uint32_t out = static_cast<std::uint32_t>(reg);
    if (c.reflected) out = Reflect(out, c.width);
    return out ^ c.xorOut;
}

struct RefChecksum {
    const char* name;
    int width;  // bytes
    bool usualLowFirst;
    std::uint32_t (*compute)(const Bytes&);
};

const RefChecksum kRefChecksums[] = {
    {"sum8", 1, false,
     [](const Bytes& d) {
         std::uint32_t s = 0;
         for (auto b : d) s += b;
         return s & 0xFF;
     }},
    {"xor8", 1, false,
     [](const Bytes& d) {
         std::uint32_t x = 0;
         for (auto b : d) x ^= b;
         return x;
     }},
    {"lrc8", 1, false,
     [](const Bytes& d) {
         std::uint32_t s = 0;
         for (auto b : d) s += b;
         return (256 - (s & 0xFF)) & 0xFF;
     }},
    {"crc8", 1, false,
     [](const Bytes& d) {
         return BitwiseCrc({8, 0x07, 0, false, 0}, d);
     }},
    {"crc8-maxim", 1, false,
     [](const Bytes& d) {
         return BitwiseCrc({8, 0x31, 0, true, 0}, d);
     }},
    {"crc16-arc", 2, true,
     [](const Bytes& d) {
         return BitwiseCrc({16, 0x8005, 0, true, 0}, d);
     }},
    {"crc16-modbus", 2, true,
     [](const Bytes& d) {
         return BitwiseCrc({16, 0x8005, 0xFFFF, true, 0}, d);
     }},
    {"crc16-ccitt-false", 2, false,
     [](const Bytes& d) {
         return BitwiseCrc({16, 0x1021, 0xFFFF, false, 0}, d);
     }},
    {"crc16-xmodem", 2, false,
     [](const Bytes& d) {
         return BitwiseCrc({16, 0x1021, 0, false, 0}, d);
     }},
    {"crc32", 4, true,
     [](const Bytes& d) {
         return BitwiseCrc({32, 0x04C11DB7, 0xFFFFFFFF, true, 0xFFFFFFFF}, d);
     }},
};

// What the page's boxes say, by the page's own words.
struct RefPage {
    Bytes header, trailer;
    int counterBytes = 0;  // 0, 1 or 2
    bool counterLowFirst = true;
    bool lengthByte = false;
    const RefChecksum* checksum = nullptr;
    bool lowFirst = true;
    bool fromPayload = false;
};

std::optional<RefPage> ReadPage(const Model& w) {
    RefPage p;
    const auto header = RefByteList(w.frameHeader.Text);
    const auto trailer = RefByteList(w.frameTrailer.Text);
    if (!header || !trailer) return std::nullopt;
    p.header = *header;
    p.trailer = *trailer;
    const std::string& counter = w.frameCounter.Text;
    if (counter == "8 位" || counter == "u8") {
        p.counterBytes = 1;
    } else if (counter == "16 位 低字节在前" || counter == "u16le") {
        p.counterBytes = 2;
    } else if (counter == "16 位 高字节在前" || counter == "u16be") {
        p.counterBytes = 2;
        p.counterLowFirst = false;
    } else if (counter != "无") {
        return std::nullopt;
    }
    p.lengthByte = w.frameLengthByte.Value == 1;
    const std::string& checksum = w.frameChecksum.Text;
    if (checksum != "无" && !checksum.empty()) {
        for (const RefChecksum& c : kRefChecksums)
            if (checksum == c.name) p.checksum = &c;
        if (p.checksum == nullptr) return std::nullopt;
    }
    const std::string& order = w.frameChecksumOrder.Text;
    if (order == "高字节在前" || order == "be")
        p.lowFirst = false;
    else if (order != "低字节在前" && order != "le")
        return std::nullopt;
    const std::string& from = w.frameChecksumFrom.Text;
    if (from == "从帧头之后" || from == "payload")
        p.fromPayload = true;
    else if (from != "从帧首" && from != "start")
        return std::nullopt;
    return p;
}

void PutWide(Bytes& out, std::uint32_t value, int bytes, bool lowFirst) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = 8 * (lowFirst ? i : bytes - 1 - i);
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

Bytes RefFrame(const RefPage& p, const Bytes& slots, std::int32_t count) {
    Bytes f = p.header;
    const auto index = static_cast<std::uint32_t>(count);
    if (p.counterBytes == 1) f.push_back(static_cast<std::uint8_t>(index % 256));
    if (p.counterBytes == 2) PutWide(f, index % 65536, 2, p.counterLowFirst);
    if (p.lengthByte) f.push_back(static_cast<std::uint8_t>(slots.size()));
    f.insert(f.end(), slots.begin(), slots.end());
    if (p.checksum != nullptr) {
        const Bytes covered(f.begin() + (p.fromPayload ? static_cast<long>(p.header.size()) : 0),
                            f.end());
        PutWide(f, p.checksum->compute(covered), p.checksum->width, p.lowFirst);
    }
    f.insert(f.end(), p.trailer.begin(), p.trailer.end());
    return f;
}

// A choice box's text: one of its entries, a name kiv-cli would give, or
// anything at all.
void PickOrType(FuzzedDataProvider& in, BoxTexts& texts, ComboBox& box,
                const std::vector<std::string>& names) {
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            box.Pick(in.ConsumeIntegralInRange<int>(0, static_cast<int>(box.List.size()) - 1));
            break;
        case 1:
            box.Type(names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)]);
            break;
        default:
            box.Type(texts.Next(box.Text));
    }
}

std::string ByteListLike(FuzzedDataProvider& in, BoxTexts& texts, const std::string& usual) {
    if (!in.ConsumeBool()) return texts.Next(usual);
    std::string text;
    const int n = in.ConsumeIntegralInRange<int>(0, 10);
    static const char* const kSeparators[] = {" ", ",", "\t", ", ", "  "};
    for (int i = 0; i < n; ++i) {
        if (i > 0) text += kSeparators[in.ConsumeIntegralInRange<int>(0, 4)];
        char cell[8];
        std::snprintf(cell, sizeof cell, in.ConsumeBool() ? "0x%X" : "%02x",
                      in.ConsumeIntegral<std::uint8_t>());
        text += cell;
    }
    return text;
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
    BoxTexts texts(in);

    // Sometimes a format in force already, from an earlier apply.
    if (in.ConsumeBool()) {
        w.frameHeader.Text = "AA 55";
        w.frameChecksum.Pick(in.ConsumeIntegralInRange<int>(0, 10));
        ApplyFrameFormat(w);
    }
    const FrameFormat before = w.frameFormat;
    rig.box.shown.clear();

    w.frameHeader.Text = ByteListLike(in, texts, w.frameHeader.Text);
    w.frameTrailer.Text = ByteListLike(in, texts, w.frameTrailer.Text);
    PickOrType(in, texts, w.frameCounter, {"u8", "u16le", "u16be", "u32", ""});
    PickOrType(in, texts, w.frameChecksum, {"crc32", "crc16-modbus", "sum8", "crc7", ""});
    PickOrType(in, texts, w.frameChecksumOrder, {"le", "be", "middle"});
    PickOrType(in, texts, w.frameChecksumFrom, {"start", "payload", "end"});
    w.frameLengthByte.Value = in.ConsumeBool() ? 1 : 0;
    const std::optional<RefPage> page = ReadPage(w);

    const Outcome applied = ApplyFrameFormat(w);
    FUZZ_CHECK(applied.ok == page.has_value(),
               std::string(applied.ok ? "accepted" : "refused (" + applied.reason + ")") +
                   ": header " + Show(w.frameHeader.Text) + ", trailer " +
                   Show(w.frameTrailer.Text) + ", counter " + Show(w.frameCounter.Text) +
                   ", checksum " + Show(w.frameChecksum.Text) + ", order " +
                   Show(w.frameChecksumOrder.Text) + ", from " + Show(w.frameChecksumFrom.Text));
    if (!applied) {
        FUZZ_CHECK(w.frameFormat == before, "a refused page changed the stored format");
        FUZZ_CHECK(rig.box.shown.size() == 1 && rig.box.shown[0].style == 22 &&
                       rig.box.shown[0].text == "帧格式设置错误，请修改！" &&
                       rig.box.shown[0].title == "帧格式设置信息",
                   "a refused page shows its message once");
        return 0;
    }
    FUZZ_CHECK(rig.box.shown.empty(), "an accepted page showed a message");

    for (int round = 0; round < 4 && in.remaining_bytes() > 0; ++round) {
        Bytes slots = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 12));
        const auto count = in.ConsumeIntegralInRange<std::int32_t>(0, 999999);
        const AssembledFrame frame = AssembleFrame(w.frameFormat, slots, count);
        if (slots.size() > 10) slots.resize(10);  // at most ten slots are taken
        const Bytes expected = RefFrame(*page, slots, count);
        const auto got = frame.Bytes();
        FUZZ_CHECK(Bytes(got.begin(), got.end()) == expected,
                   "frame of " + std::to_string(slots.size()) + " slots at count " +
                       std::to_string(count) + " differs from the rules");
        FUZZ_CHECK(frame.parts == PartsOf(w.frameFormat, static_cast<int>(slots.size())),
                   "the frame's parts differ from PartsOf");
    }
    return 0;
}
