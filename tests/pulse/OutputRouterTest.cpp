// SPDX-License-Identifier: GPL-3.0-or-later
// The router's moves in the orders of events a real server seldom shows: a
// route removed while its move is on its way, or while PipeWire relinks the
// stream; a stream let go of while unplugged and then moved elsewhere.
#include <gtest/gtest.h>

#include <functional>

#include "TableBuilder.h"
#include "platform/pulse/taps/OutputRouter.h"

namespace morvale::pulse::testing {
namespace {

using Move = OutputRouter::Move;

constexpr std::uint32_t kStream = 5, kSpeakers = 0, kHeadphones = 1, kHdmi = 2;

struct Pass {
    std::uint32_t playsOn;  // the stream's sink as the server lists it now
    bool routed;            // to the headphones; else no route names it
    std::vector<Move> expected;
    bool unplugged = false;  // the headphones are gone
    const char* defaultSink = "speakers";
};

TEST(OutputRouter, MovesOnlyWhatARouteAsksForAndOnlyOnce) {
    const Move toHeadphones{kStream, kHeadphones}, toSpeakers{kStream, kSpeakers};
    const std::vector<std::pair<std::string, std::vector<Pass>>> cases{
        {"unrouted before its move landed: unpinned once it lands",
         {{kSpeakers, true, {toHeadphones}},
          {kSpeakers, false, {}},
          {kHeadphones, false, {toSpeakers}}}},
        {"unrouted while relinking (no sink): unpinned once it has one",
         {{kSpeakers, true, {toHeadphones}},
          {kNoIndex, false, {}},
          {kHeadphones, false, {toSpeakers}}}},
        {"found on its sink, not pinned: brought back when the default takes it along",
         {{kHeadphones, true, {}},
          {kSpeakers, true, {toHeadphones}},
          {kHeadphones, true, {}},
          {kSpeakers, true, {}}}},
        {"sent to the default sink, not pinned: brought back when a new default takes it",
         {{kSpeakers, true, {toHeadphones}, false, "headphones"},
          {kHeadphones, true, {}, false, "headphones"},
          {kSpeakers, true, {toHeadphones}}}},
        {"let go of while unplugged, then moved to a third sink by hand: left there",
         {{kSpeakers, true, {toHeadphones}},
          {kHeadphones, true, {}},
          {kSpeakers, false, {}, true},
          {kHdmi, false, {}, true}}},
        {"on the default by hand, then let go of: forgotten",
         {{kSpeakers, true, {toHeadphones}},
          {kHeadphones, true, {}},
          {kSpeakers, true, {}},
          {kSpeakers, false, {}},
          {kHeadphones, false, {}}}},
    };
    for (const auto& [what, passes] : cases) {
        SCOPED_TRACE(what);
        TableBuilder b;
        b.client(10, 100);
        b.sink(kSpeakers, "speakers");
        b.sink(kHeadphones, "headphones");
        b.sink(kHdmi, "hdmi");
        b.table.setDefaultSinkName("speakers");
        OutputRouter router;
        for (const Pass& pass : passes) {
            if (pass.unplugged) {
                b.table.event<SinkRecord>(Event::removed, kHeadphones);
            }
            b.table.setDefaultSinkName(pass.defaultSink);
            b.play(kStream, 10, pass.playsOn);
            const auto wanted = pass.routed
                                    ? std::map<std::uint32_t, std::string>{{kStream, "headphones"}}
                                    : std::map<std::uint32_t, std::string>{};
            EXPECT_EQ(router.update(b.table, wanted, [](std::uint32_t) { return false; }),
                      pass.expected);
        }
    }
}

}  // namespace
}  // namespace morvale::pulse::testing
