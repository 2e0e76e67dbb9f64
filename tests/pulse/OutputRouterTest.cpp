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

constexpr std::uint32_t kStream = 5, kSpeakersIndex = 0, kHeadphones = 1, kHdmi = 2;

struct Pass {
    std::uint32_t playsOn;  // the stream's sink as the server lists it now
    bool routed;            // to the headphones; else no route names it
    std::vector<Move> expected;
    bool unplugged = false;  // the headphones are gone
    const char* defaultSink = "speakers";
};

TEST(OutputRouter, MovesOnlyWhatARouteAsksForAndOnlyOnce) {
    const Move toHeadphones{kStream, kHeadphones}, toSpeakers{kStream, kSpeakersIndex};
    const std::vector<std::pair<std::string, std::vector<Pass>>> cases{
        {"unrouted before its move landed: unpinned once it lands",
         {{kSpeakersIndex, true, {toHeadphones}},
          {kSpeakersIndex, false, {}},
          {kHeadphones, false, {toSpeakers}}}},
        {"unrouted while relinking (no sink): unpinned once it has one",
         {{kSpeakersIndex, true, {toHeadphones}},
          {kNoIndex, false, {}},
          {kHeadphones, false, {toSpeakers}}}},
        {"found on its sink, not pinned: brought back when the default takes it along",
         {{kHeadphones, true, {}},
          {kSpeakersIndex, true, {toHeadphones}},
          {kHeadphones, true, {}},
          {kSpeakersIndex, true, {}}}},
        {"sent to the default sink, not pinned: brought back when a new default takes it",
         {{kSpeakersIndex, true, {toHeadphones}, false, "headphones"},
          {kHeadphones, true, {}, false, "headphones"},
          {kSpeakersIndex, true, {toHeadphones}}}},
        {"let go of while unplugged, then moved to a third sink by hand: left there",
         {{kSpeakersIndex, true, {toHeadphones}},
          {kHeadphones, true, {}},
          {kSpeakersIndex, false, {}, true},
          {kHdmi, false, {}, true}}},
        {"on the default by hand, then let go of: forgotten",
         {{kSpeakersIndex, true, {toHeadphones}},
          {kHeadphones, true, {}},
          {kSpeakersIndex, true, {}},
          {kSpeakersIndex, false, {}},
          {kHeadphones, false, {}}}},
    };
    for (const auto& [what, passes] : cases) {
        SCOPED_TRACE(what);
        TableBuilder b;
        b.client(10, 100);
        b.sink(kSpeakersIndex, "speakers");
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
