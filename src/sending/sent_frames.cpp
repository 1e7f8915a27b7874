#include "sending/sent_frames.h"

#include <algorithm>
#include <cstdio>

namespace kiv {

SentFrames::SentFrames(std::size_t capacity) : m_slots(std::max<std::size_t>(capacity, 1)) {}

SentFrame& SentFrames::Push(double ms, std::span<const std::uint8_t> bytes) {
    FrameParts all;
    all.slotBytes = static_cast<int>(std::min<std::size_t>(bytes.size(), kMaxFrameBytes));
    return Push(ms, bytes, all);
}

SentFrame& SentFrames::Push(double ms, std::span<const std::uint8_t> bytes,
                            const FrameParts& parts) {
    ++m_total;
    m_held = std::min(m_held + 1, m_slots.size());
    SentFrame& f = m_slots[static_cast<std::size_t>((m_total - 1) % m_slots.size())];
    f.number = m_total;
    f.ms = ms;
    const std::size_t n = std::min(bytes.size(), f.bytes.size());
    std::copy_n(bytes.begin(), n, f.bytes.begin());
    f.length = static_cast<std::uint8_t>(n);
    f.parts = parts;
    f.recorded = 0;
    f.recordedMs = 0.0;
    return f;
}

void SentFrames::Clear() {
    m_total = 0;
    m_held = 0;
}

std::size_t SentFrames::DropNewest(std::size_t count) {
    const std::size_t n = std::min(count, m_held);
    m_total -= n;
    m_held -= n;
    return n;
}

const SentFrame* SentFrames::Find(std::uint64_t number) const {
    if (number == 0 || number > m_total || number < oldest()) return nullptr;
    return &Slot(number);
}

std::uint64_t SentFrames::FirstAfter(double ms) const {
    // Times only grow from one frame to the next: a binary search on numbers.
    std::uint64_t lo = oldest();
    std::uint64_t hi = m_total + 1;
    while (lo < hi) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        if (Slot(mid).ms <= ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

const SentFrame* SentFrames::At(double ms) const {
    if (empty()) return nullptr;
    return Find(FirstAfter(ms) - 1);
}

std::size_t SentFrames::CountAfter(double ms) const {
    if (empty()) return 0;
    return static_cast<std::size_t>(m_total + 1 - FirstAfter(ms));
}

std::string PartsText(std::span<const std::uint8_t> bytes, const FrameParts& parts, bool hex) {
    const int sizes[] = {parts.header,    parts.counter,  parts.length,
                         parts.slotBytes, parts.checksum, parts.trailer};
    std::string text;
    std::size_t at = 0;
    for (const int size : sizes) {
        if (size <= 0 || at >= bytes.size()) {
            at += static_cast<std::size_t>(std::max(size, 0));
            continue;
        }
        if (!text.empty()) text += " | ";
        const std::size_t end = std::min(bytes.size(), at + static_cast<std::size_t>(size));
        for (std::size_t i = at; i < end; ++i) {
            if (i > at) text += ' ';
            char cell[4];
            std::snprintf(cell, sizeof cell, hex ? "%02X" : "%u", static_cast<unsigned>(bytes[i]));
            text += cell;
        }
        at = end;
    }
    return text;
}

void PlanMarks::DropAfter(std::uint64_t lastFrame) {
    while (!m_marks.empty() && m_marks.back().firstFrame > lastFrame) {
        m_marks.pop_back();
    }
}

void PlanMarks::Push(PlanMark mark) {
    if (m_capacity == 0) return;
    if (m_marks.size() >= m_capacity) m_marks.erase(m_marks.begin());
    m_marks.push_back(std::move(mark));
    ++m_total;
}

}  // namespace kiv
