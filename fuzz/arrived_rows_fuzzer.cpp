// Bytes coming back in chunks of any size, through a store small enough to
// drop some, taken as rows at any moment. Afterwards: no row is empty or
// wider than its width, none crosses a multiple of the width but at its
// start, each holds the bytes that arrived at its positions in order, a row
// goes on the last one only where that one stopped at its first position,
// and every byte the store still held at a look, within the rows kept, was
// handed out exactly once.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sending/arrived_rows.h"
#include "serial/line_watch.h"

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kiv;
    FuzzedDataProvider in(data, size);
    const std::size_t perRow = in.ConsumeIntegralInRange<std::size_t>(1, 40);
    const std::size_t keptRows = in.ConsumeIntegralInRange<std::size_t>(1, 20);
    ArrivedStore arrived(in.ConsumeIntegralInRange<std::size_t>(1, 512));
    ArrivedRows rows(perRow, keptRows);
    std::vector<std::uint8_t> stream;  // every byte that ever arrived
    bool haveLast = false;
    std::uint64_t lastEnd = 0;  // the position after the last row's last byte
    std::uint64_t handedUpTo = 0;
    double ms = 0;
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeBool()) {
            const std::vector<std::uint8_t> chunk =
                in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 300));
            arrived.Add(ms += in.ConsumeIntegralInRange<int>(0, 5), chunk);
            stream.insert(stream.end(), chunk.begin(), chunk.end());
            continue;
        }
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
            arrived.Clear();
            continue;
        }
        const std::uint64_t total = arrived.total();
        const std::uint64_t keptBytes = perRow * keptRows;
        const std::uint64_t keptFrom =
            total > keptBytes ? (total - keptBytes) / perRow * perRow : 0;
        // What must come out: the held bytes after the last look, of the
        // rows kept.
        std::uint64_t expectFrom = std::max({handedUpTo, arrived.oldest(), keptFrom});
        std::uint64_t next = expectFrom;
        for (const ArrivedRow& row : rows.Take(arrived)) {
            Check(!row.bytes.empty());
            Check(row.bytes.size() <= perRow);
            Check(row.first % perRow + row.bytes.size() <= perRow);
            Check(row.first == next);
            if (row.continues) Check(haveLast && lastEnd == row.first);
            for (std::size_t i = 0; i < row.bytes.size(); ++i)
                Check(row.bytes[i] == stream.at(row.first + i));
            next = row.first + row.bytes.size();
            lastEnd = next;
            haveLast = true;
        }
        Check(next == std::max(expectFrom, total));
        handedUpTo = total;
    }
    return 0;
}
