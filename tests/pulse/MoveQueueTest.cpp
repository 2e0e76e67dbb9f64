// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>

#include "platform/pulse/taps/MoveQueue.h"

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

TEST(MoveQueue, KeepsTheLatestWishPerStreamAndDropsNeedlessOnes) {
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

    // Wishes found needless go, the rest keep their order; a move in flight
    // is still answered.
    for (std::uint32_t input = 2; input <= 4; ++input) {
        queue.want(input, 100);
    }
    queue.drop([](const MoveQueue::Move& move) { return move.input == 3; });
    EXPECT_FALSE(queue.waiting(3));
    queue.done(1, t0 + 12ms);
    EXPECT_EQ(queue.next(t0 + 22ms), (Moves{{2, 100}, {4, 100}}));
    queue.drop([](const MoveQueue::Move&) { return true; });
    EXPECT_TRUE(queue.inFlight(4));
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
// and whether other passes run in between, a stream is moved once; only a
// move whose change never shows is sent again, after a second.
TEST(MoveQueue, MovesEachStreamOnceUntilItShowsTheMoveOrASecondPasses) {
    const MoveQueue::Clock::time_point t0{};
    struct Case {
        const char* what;
        bool changeFirst;
        bool shows;  // the change event comes at all
        int sentEach;
    };
    const Case cases[] = {
        {"reply before change", false, true, 1},
        {"change before reply", true, true, 1},
        {"the change never comes", false, false, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MoveQueue queue(8, 10ms);
        std::map<std::uint32_t, std::uint32_t> sinkOf{{1, 10}, {2, 10}, {3, 10}};
        std::map<std::uint32_t, int> sent;
        const auto passAt = [&](MoveQueue::Clock::time_point now) {
            pass(queue, sinkOf, 10, 20, now);
            for (const auto& move : queue.next(now)) {
                ++sent[move.input];
            }
        };
        passAt(t0);
        for (std::uint32_t input = 1; input <= 3; ++input) {
            if (c.changeFirst) {
                sinkOf[input] = 20;
            }
            queue.done(input, t0 + 1ms);
            queue.taken(input, 10, t0 + 1ms);
            pass(queue, sinkOf, 10, 20, t0 + 1ms);
        }
        passAt(t0 + 20ms);
        if (c.shows) {
            for (auto& [input, sink] : sinkOf) {
                sink = 20;
            }
        }
        const auto aSecondLater = t0 + 1ms + MoveQueue::kLandingLimit;
        passAt(aSecondLater - 1ms);
        passAt(aSecondLater);
        EXPECT_EQ(sent, (std::map<std::uint32_t, int>{
                            {1, c.sentEach}, {2, c.sentEach}, {3, c.sentEach}}));
        EXPECT_EQ(queue.idle(), c.shows);
        EXPECT_EQ(queue.moving(aSecondLater).empty(), c.shows);
    }
}

}  // namespace
}  // namespace morvale::pulse
