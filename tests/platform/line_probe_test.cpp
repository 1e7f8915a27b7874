// Writing straight to a device without waiting, against a real pty.
#include "platform/line_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <ostream>
#include <vector>

#include "support/pty_pair.h"
#include "support/table_cases.h"

namespace kiv {
namespace {

using testing::PtyPair;
using Bytes = std::vector<std::uint8_t>;

enum class Far { Reading, NotReading, Gone };

struct WriteCase {
    const char* name;
    Far far;
    LineState state;
};

using kiv::testing::PrintTo;

class WriteToLineTest : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteToLineTest, TakesWhatTheDeviceTakesAndSaysWhy) {
    const WriteCase& c = GetParam();
    PtyPair pty;
    const int fd = ::open(pty.slavePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const Bytes frame = {1, 2, 3, 4, 5, 6, 7};
    LineWrite last;
    std::int64_t taken = 0;
    if (c.far == Far::Gone) pty.CloseMaster();
    if (c.far == Far::NotReading) {
        // Until the line is full; a pty buffers a few kilobytes.
        for (int i = 0; i < 100'000 && last.state == LineState::Writable; ++i) {
            last = WriteToLine(fd, frame);
            taken += last.written;
        }
    } else {
        last = WriteToLine(fd, frame);
        taken = last.written;
    }
    EXPECT_EQ(last.state, c.state);
    EXPECT_EQ(last.reason.empty(), c.state != LineState::Gone) << last.reason;
    switch (c.far) {
        case Far::Reading:
            EXPECT_EQ(last.written, 7);
            EXPECT_EQ(pty.ReadExactly(7), frame);
            break;
        case Far::NotReading: {
            EXPECT_LT(last.written, 7);
            // What the device took is exactly what arrives, in order.
            const auto received = pty.ReadExactly(static_cast<std::size_t>(taken));
            ASSERT_EQ(received.size(), static_cast<std::size_t>(taken));
            for (std::size_t i = 0; i < received.size(); ++i)
                ASSERT_EQ(received[i], i % 7 + 1) << i;
            break;
        }
        case Far::Gone:
            EXPECT_EQ(last.written, 0);
            break;
    }
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(FarEnds, WriteToLineTest,
                         ::testing::Values(WriteCase{"Reading", Far::Reading, LineState::Writable},
                                           WriteCase{"NotReading", Far::NotReading,
                                                     LineState::Full},
                                           WriteCase{"Gone", Far::Gone, LineState::Gone}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kiv
