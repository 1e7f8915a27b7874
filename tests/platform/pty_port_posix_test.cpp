#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/pty_port.h"

namespace kiv {
namespace {

// The virtual port tells a receiver that holds the line from a program that
// opens it for a moment (stty), so that sending starts only for the first.
TEST(PtyPort, TellsAProgramThatHoldsTheLineFromOneThatOpensItForAMoment) {
    PtyPort port;
    EXPECT_FALSE(port.ReceiverHolds());  // its own descriptor does not count
    const char* path = port.SlavePath().c_str();

    const int brief = open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(brief, 0);
    close(brief);
    EXPECT_FALSE(port.ReceiverHolds()) << "an open that ended still counts";

    // Two holders whose opens may reach the port as one event.
    const int first = open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    const int second = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_TRUE(port.ReceiverHolds());
    close(second);
    EXPECT_TRUE(port.ReceiverHolds()) << "one holder is left";
    const int copy = dup(first);
    close(first);
    EXPECT_TRUE(port.ReceiverHolds()) << "a copy of the descriptor still holds it";
    close(copy);
    EXPECT_FALSE(port.ReceiverHolds());
}

}  // namespace
}  // namespace kiv
