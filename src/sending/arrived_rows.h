#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/line_watch.h"

namespace kiv {

// A row of arrived bytes as a reader shows them.
struct ArrivedRow {
    double ms = 0.0;          // when its first byte came, on the steady clock
    std::uint64_t first = 0;  // stream position of its first byte
    std::vector<std::uint8_t> bytes;
    // The row goes on at the end of the last row handed out before, which
    // stopped short of its width.
    bool continues = false;
};

// The bytes a line brings back, in rows of a fixed width counted from
// stream positions that are whole multiples of it, so that a byte keeps its
// column however the line cut the stream into chunks and whenever the
// reader looks. Only the newest `keptRows` rows' worth is handed out; after
// bytes the store dropped, a new row starts.
class ArrivedRows {
  public:
    ArrivedRows(std::size_t perRow, std::size_t keptRows);

    // The rows for the bytes that arrived since the last call.
    std::vector<ArrivedRow> Take(const ArrivedStore& arrived);

    std::size_t perRow() const { return m_perRow; }

  private:
    std::size_t m_perRow;
    std::size_t m_keptRows;
    std::uint64_t m_seen = 0;  // the position after the last byte handed out
    bool m_open = false;       // the last row handed out may go on at m_seen
};

}  // namespace kiv
