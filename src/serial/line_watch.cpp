#include "serial/line_watch.h"

#include <algorithm>

namespace kiv {

ArrivedStore::ArrivedStore(std::size_t capacity) : m_bytes(std::max<std::size_t>(capacity, 1)) {}

void ArrivedStore::Add(double ms, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    // Of a run longer than the store only its end can be kept.
    const std::size_t keep = std::min(bytes.size(), m_bytes.size());
    const std::uint64_t skipped = bytes.size() - keep;
    m_total += skipped;
    for (std::size_t i = bytes.size() - keep; i < bytes.size(); ++i)
        m_bytes[(m_total++) % m_bytes.size()] = bytes[i];
    m_held = std::min(m_held + keep, m_bytes.size());
    m_chunks.push_back({ms, m_total - keep, static_cast<std::uint32_t>(keep)});
    while (!m_chunks.empty() && m_chunks.front().first + m_chunks.front().length <= oldest())
        m_chunks.pop_front();
}

void ArrivedStore::Clear() {
    m_held = 0;
    m_chunks.clear();
}

}  // namespace kiv
