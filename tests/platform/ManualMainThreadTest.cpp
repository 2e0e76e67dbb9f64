#include "platform/sim/ManualMainThread.h"

#include <gtest/gtest.h>

#include <string>

namespace morvale::sim {
namespace {

using std::chrono::milliseconds;

TEST(ManualTimers, FireOnTheirIntervalsInTimeOrderUntilTheHandleGoes) {
    ManualTimers timers;
    std::string fired;
    auto fast = timers.scheduleRepeating(milliseconds(1000), [&] { fired += "a"; });
    auto slow = timers.scheduleRepeating(milliseconds(1500), [&] { fired += "b"; });
    auto once = timers.scheduleOnce(milliseconds(1200), [&] { fired += "o"; });
    auto never = timers.scheduleOnce(milliseconds(1200), [&] { fired += "x"; });
    never.reset();

    timers.advance(milliseconds(999));
    EXPECT_EQ(fired, "");
    timers.advance(milliseconds(2001));  // now 3000: a@1000 o@1200 b@1500 a@2000 a@3000 b@3000
    EXPECT_EQ(fired, "aobaab");

    slow.reset();
    timers.advance(milliseconds(1500));
    EXPECT_EQ(fired, "aobaaba");
    EXPECT_EQ(timers.activeTimers(), 1u);
}

TEST(ManualMainQueue, RunsJobsInOrderIncludingThoseQueuedWhileDraining) {
    ManualMainQueue queue;
    std::string ran;
    queue.post([&] {
        ran += "1";
        queue.post([&] { ran += "3"; });
    });
    queue.post([&] { ran += "2"; });
    EXPECT_EQ(ran, "");
    EXPECT_EQ(queue.drain(), 3);
    EXPECT_EQ(ran, "123");
    EXPECT_EQ(queue.pending(), 0u);
}

}  // namespace
}  // namespace morvale::sim
