#include <gtest/gtest.h>

#include "platform/pulse/MoveQueue.h"

#include <map>

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

// A pass of the backend: every stream still in `from`, and not moving,
// is wished into `to`. The queue ends the landings the table shows first.
void pass(MoveQueue& queue, const std::map<std::uint32_t, std::uint32_t>& sinkOf,
          std::uint32_t from, std::uint32_t to, MoveQueue::Clock::time_point now) {
    queue.landed([&](std::uint32_t input, std::uint32_t was) {
        return !sinkOf.contains(input) || sinkOf.at(input) != was;
    });
    for (const auto& [input, sink] : sinkOf) {
        if (sink == from && !queue.moving(input, now)) {
            queue.want(input, to);
        }
    }
}

// Whether a stream's change event comes before or after its move's reply,
// and whether another pass runs in between, a stream is moved once.
TEST(MoveQueue, MovesEachStreamOnceWhicheverComesFirstTheReplyOrTheChange) {
    const MoveQueue::Clock::time_point t0{};
    for (const bool changeFirst : {false, true}) {
        SCOPED_TRACE(changeFirst ? "change before reply" : "reply before change");
        MoveQueue queue(8, 10ms);
        std::map<std::uint32_t, std::uint32_t> sinkOf{{1, 10}, {2, 10}, {3, 10}};
        std::map<std::uint32_t, int> sent;
        pass(queue, sinkOf, 10, 20, t0);
        for (const auto& move : queue.next(t0)) {
            ++sent[move.input];
        }
        for (std::uint32_t input = 1; input <= 3; ++input) {
            if (changeFirst) {
                sinkOf[input] = 20;
            }
            queue.done(input, t0 + 1ms);
            queue.taken(input, 10, t0 + 1ms);
            pass(queue, sinkOf, 10, 20, t0 + 1ms);
        }
        for (const auto& move : queue.next(t0 + 20ms)) {
            ++sent[move.input];
        }
        for (auto& [input, sink] : sinkOf) {
            sink = 20;
        }
        pass(queue, sinkOf, 10, 20, t0 + 30ms);
        EXPECT_EQ(sent, (std::map<std::uint32_t, int>{{1, 1}, {2, 1}, {3, 1}}));
        EXPECT_TRUE(queue.idle());
        EXPECT_TRUE(queue.moving(t0 + 30ms).empty());
    }
}

TEST(MoveQueue, ATakenMoveCountsAsMovingUntilItShowsOrForASecond) {
    const MoveQueue::Clock::time_point t0{};
    const auto limit = MoveQueue::kLandingLimit;
    // What ends the landing of stream 1, taken out of sink 10 at t0.
    struct Case {
        const char* name;
        std::chrono::milliseconds asked;
        bool left;    // the table shows it out of sink 10 (or gone)
        bool forget;  // the stream went
        bool moving;
    };
    const std::vector<Case> cases{
        {"not shown yet", 0ms, false, false, true},
        {"shown elsewhere", 0ms, true, false, false},
        {"gone", 0ms, false, true, false},
        {"not shown, just before the limit", limit - 1ms, false, false, true},
        {"not shown for a second: asked for again", limit, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MoveQueue queue(8, 10ms);
        queue.want(1, 20);
        queue.want(2, 20);
        ASSERT_EQ(queue.next(t0).size(), 2u);
        queue.done(1, t0);
        queue.taken(1, 10, t0);
        queue.done(2, t0);  // refused: not taken, so not moving
        if (c.forget) {
            queue.forget(1);
        }
        queue.landed([&](std::uint32_t, std::uint32_t from) { return c.left && from == 10; });
        EXPECT_EQ(queue.moving(1, t0 + c.asked), c.moving);
        EXPECT_EQ(queue.moving(t0 + c.asked).contains(1), c.moving);
        EXPECT_FALSE(queue.moving(2, t0));
    }
    MoveQueue queue(8, 10ms);
    queue.taken(1, 10, t0);
    queue.clear();
    EXPECT_FALSE(queue.moving(1, t0));
}

TEST(MoveQueue, DropsNeedlessWishesAndKeepsTheOrderOfTheRest) {
    const MoveQueue::Clock::time_point t0{};
    MoveQueue queue(8, 10ms);
    for (std::uint32_t input = 1; input <= 5; ++input) {
        queue.want(input, 100 + input);
    }
    queue.drop([](const MoveQueue::Move& move) { return move.input % 2 == 0; });
    EXPECT_FALSE(queue.waiting(2));
    EXPECT_EQ(queue.next(t0), (Moves{{1, 101}, {3, 103}, {5, 105}}));
    // Only waiting wishes go: a move in flight is still answered.
    queue.drop([](const MoveQueue::Move&) { return true; });
    EXPECT_TRUE(queue.inFlight(3));
    queue.drop([](const MoveQueue::Move&) { return true; });
    queue.done(1, t0);
    queue.done(3, t0);
    queue.done(5, t0);
    EXPECT_TRUE(queue.idle());
}

}  // namespace
}  // namespace morvale::pulse
