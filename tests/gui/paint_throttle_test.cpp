#include "gui/paint_throttle.h"

#include <gtest/gtest.h>

#include <QTest>
#include <vector>

namespace kiv {
namespace {

TEST(PaintThrottleTest, ShowsAtOnceThenCoalescesABurstIntoItsLatestState) {
    int state = 0;
    std::vector<int> shown;
    // Long enough that the burst below surely falls inside one interval.
    PaintThrottle throttle([&] { shown.push_back(state); }, 500);

    state = 1;
    throttle.request();
    EXPECT_EQ(shown, std::vector<int>{1}) << "a change after a quiet spell shows at once";

    for (state = 2; state <= 9; ++state) throttle.request();
    state = 9;
    EXPECT_EQ(shown, std::vector<int>{1});

    for (int i = 0; i < 400 && shown.size() < 2; ++i) QTest::qWait(5);
    EXPECT_EQ(shown, (std::vector<int>{1, 9})) << "the burst shows once, in its last state";
}

}  // namespace
}  // namespace kiv
