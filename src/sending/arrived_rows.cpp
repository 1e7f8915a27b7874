#include "sending/arrived_rows.h"

#include <algorithm>

namespace kiv {

ArrivedRows::ArrivedRows(std::size_t perRow, std::size_t keptRows)
    : m_perRow(std::max<std::size_t>(perRow, 1)), m_keptRows(std::max<std::size_t>(keptRows, 1)) {}

std::vector<ArrivedRow> ArrivedRows::Take(const ArrivedStore& arrived) {
    std::vector<ArrivedRow> rows;
    const std::uint64_t perRow = m_perRow;
    const std::uint64_t keptBytes = perRow * m_keptRows;
    // The first byte worth handing out: the start of the oldest row kept.
    const std::uint64_t keptFrom =
        arrived.total() > keptBytes ? (arrived.total() - keptBytes) / perRow * perRow : 0;
    bool open = m_open && m_seen >= std::max(arrived.oldest(), keptFrom);
    for (const ArrivedChunk& chunk : arrived.chunks()) {
        const std::uint64_t end = chunk.first + chunk.length;
        if (end <= m_seen || end <= keptFrom) continue;
        const std::uint64_t from = std::max({chunk.first, m_seen, arrived.oldest(), keptFrom});
        for (std::uint64_t at = from; at < end; ++at) {
            if (!open || at % perRow == 0 || rows.empty()) {
                ArrivedRow row;
                row.ms = chunk.ms;
                row.first = at;
                row.continues = open && at % perRow != 0;
                rows.push_back(std::move(row));
                open = true;
            }
            rows.back().bytes.push_back(arrived.At(at));
        }
        m_seen = std::max(m_seen, end);
    }
    m_seen = std::max(m_seen, arrived.total());
    m_open = open;
    return rows;
}

}  // namespace kiv
