#include <gtest/gtest.h>

#include "platform/pulse/MoveQueue.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;
using Moves = std::vector<MoveQueue::Move>;

TEST(MoveQueue, SendsABatchAtATimeWithAPauseAfterEachBatchsLastReply) {
    const MoveQueue::Clock::time_point t0{};
    MoveQueue queue(3, 10ms);
    for (std::uint32_t input = 1; input <= 7; ++input) {
        queue.want(input, 100);
    }
    // What `next` hands out at a time, after the replies of the given inputs.
    struct Step {
        std::chrono::milliseconds at;
        std::vector<std::uint32_t> replies;
        Moves sent;
    };
    const std::vector<Step> steps{
        {0ms, {}, {{1, 100}, {2, 100}, {3, 100}}},  // the first batch goes at once
        {1ms, {}, {}},                              // none while it is in flight
        {2ms, {1, 2}, {}},                          // nor while a reply is missing
        {3ms, {3}, {}},                             // the pause starts with the last reply
        {12ms, {}, {}},
        {13ms, {}, {{4, 100}, {5, 100}, {6, 100}}},
        {14ms, {4, 5, 6}, {}},
        {24ms, {}, {{7, 100}}},
        {25ms, {7}, {}},
    };
    for (const Step& step : steps) {
        for (const std::uint32_t input : step.replies) {
            queue.done(input, t0 + step.at);
        }
        EXPECT_EQ(queue.next(t0 + step.at), step.sent) << "at " << step.at.count() << " ms";
    }
    EXPECT_TRUE(queue.idle());
    EXPECT_FALSE(queue.readyAt().has_value());
}

TEST(MoveQueue, KeepsTheLatestWishPerStream) {
    const MoveQueue::Clock::time_point t0{};
    MoveQueue queue(8, 10ms);

    // A wish not sent yet is replaced, and keeps its place.
    queue.want(1, 100);
    queue.want(2, 100);
    queue.want(1, 200);
    EXPECT_EQ(queue.next(t0), (Moves{{1, 200}, {2, 100}}));

    // A wish for a stream whose move is in flight waits for the reply.
    queue.want(1, 300);
    EXPECT_TRUE(queue.waiting(1));
    EXPECT_EQ(queue.readyAt(), std::nullopt);
    queue.done(1, t0);
    queue.done(2, t0 + 1ms);
    EXPECT_EQ(queue.readyAt(), t0 + 11ms);
    EXPECT_EQ(queue.next(t0 + 11ms), (Moves{{1, 300}}));

    // A stream that went takes its wish with it; a lost connection, everything.
    queue.want(2, 100);
    queue.want(3, 100);
    queue.forget(2);
    EXPECT_FALSE(queue.waiting(2));
    queue.clear();
    EXPECT_TRUE(queue.idle());
    queue.want(4, 100);
    EXPECT_EQ(queue.next(t0 + 12ms), (Moves{{4, 100}}));
}

}  // namespace
}  // namespace morvale::pulse
