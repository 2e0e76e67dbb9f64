// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/OutputRouter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TableBuilder.h"

namespace morvale::pulse::testing {
namespace {

using Move = OutputRouter::Move;

constexpr std::uint32_t kSpeakers = 0;  // the default
constexpr std::uint32_t kHeadphones = 1;
constexpr std::uint32_t kTapSink = 2;
constexpr std::uint32_t kStream = 5;
const std::map<std::uint32_t, std::string> kToHeadphones{{kStream, "headphones"}};
const std::map<std::uint32_t, std::string> kUnrouted{};

// One pass of the router: what changed on the server before it, which
// streams routes name, which a tap holds, and the moves expected.
struct Pass {
    std::function<void(TableBuilder&)> change;
    std::map<std::uint32_t, std::string> wanted;
    std::vector<Move> expected;
    std::set<std::uint32_t> held = {};
};

void playOn(TableBuilder& b, std::uint32_t sink) { b.play(kStream, 10, sink); }
void unplugHeadphones(TableBuilder& b) {
    b.table.event<SinkRecord>(Event::removed, kHeadphones);
    playOn(b, kSpeakers);  // the server's rescue
}
void plugHeadphones(TableBuilder& b) { b.sink(7, "headphones"); }
void nothing(TableBuilder&) {}

TEST(OutputRouter, MovesOnlyWhatARouteAsksForAndOnlyOnce) {
    struct Case {
        std::string what;
        std::vector<Pass> passes;
    };
    const Move toHeadphones{kStream, kHeadphones};
    const Move toSpeakers{kStream, kSpeakers};
    const std::vector<Case> cases{
        {"a routed stream is moved once, and a stream no route names never",
         {{nothing, kToHeadphones, {toHeadphones}},
          {nothing, kToHeadphones, {}},
          {[](auto& b) { playOn(b, kHeadphones); }, kUnrouted, {toSpeakers}},
          {[](auto& b) { playOn(b, kSpeakers); }, kUnrouted, {}}}},
        {"unrouted before its move landed, it is unpinned once it lands",
         {{nothing, kToHeadphones, {toHeadphones}},
          {nothing, kUnrouted, {}},
          {[](auto& b) { playOn(b, kHeadphones); }, kUnrouted, {toSpeakers}}}},
        {"one already on its sink is not moved", {{[](auto& b) { playOn(b, kHeadphones); }, kToHeadphones, {}}}},
        {"a move in another mixer is followed, not undone",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kHeadphones); }, kToHeadphones, {}},
          {[](auto& b) { playOn(b, kSpeakers); }, kToHeadphones, {}}}},
        {"another sink chosen in the route moves it again",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kHeadphones); }, {{kStream, "speakers"}}, {toSpeakers}}}},
        {"while the sink is away it plays on the default, and goes back when it returns",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kHeadphones); }, kToHeadphones, {}},
          {unplugHeadphones, kToHeadphones, {}},
          {plugHeadphones, kToHeadphones, {{kStream, 7}}}}},
        {"a route to a sink that is not there yet waits for it",
         {{unplugHeadphones, kToHeadphones, {}}, {plugHeadphones, kToHeadphones, {{kStream, 7}}}}},
        {"unrouted while its sink is away: unpinned if the server brings it back there",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kHeadphones); }, kToHeadphones, {}},
          {unplugHeadphones, kUnrouted, {}},
          {plugHeadphones, kUnrouted, {}},
          {[](auto& b) { playOn(b, 7); }, kUnrouted, {toSpeakers}},
          {[](auto& b) { playOn(b, kSpeakers); }, kUnrouted, {}}}},
        {"unrouted on the default where another mixer put it: forgotten",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kHeadphones); }, kToHeadphones, {}},
          {[](auto& b) { playOn(b, kSpeakers); }, kUnrouted, {}},
          {[](auto& b) { playOn(b, kHeadphones); }, kUnrouted, {}}}},
        {"unrouted while away, then moved to a third sink in another mixer: left there",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kHeadphones); }, kToHeadphones, {}},
          {unplugHeadphones, kUnrouted, {}},
          {[](auto& b) { b.sink(8, "hdmi"); playOn(b, 8); }, kUnrouted, {}}}},
        {"a held stream is the tap's; let go of where the user put it, it stays",
         {{nothing, kToHeadphones, {}, {kStream}},
          {[](auto& b) { playOn(b, kTapSink); }, kToHeadphones, {}},
          {[](auto& b) { playOn(b, kSpeakers); }, kToHeadphones, {}}}},
        {"unrouted while held, it goes to the default once the tap lets it go",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kTapSink); }, kUnrouted, {}},
          {[](auto& b) { playOn(b, kHeadphones); }, kUnrouted, {toSpeakers}}}},
        {"unrouted while relinking (no sink), it is unpinned once it has landed",
         {{nothing, kToHeadphones, {toHeadphones}},
          {[](auto& b) { playOn(b, kNoIndex); }, kUnrouted, {}},
          {[](auto& b) { playOn(b, kHeadphones); }, kUnrouted, {toSpeakers}}}},
        {"a routed stream not linked yet is sent at once",
         {{[](auto& b) { playOn(b, kNoIndex); }, kToHeadphones, {toHeadphones}}}},
        {"our own streams are never moved",
         {{[](auto& b) { b.play(kStream, 10, kSpeakers, false, false, /*ours=*/true); },
           kToHeadphones,
           {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TableBuilder b;
        b.client(10, 100);
        b.sink(kSpeakers, "speakers");
        b.sink(kHeadphones, "headphones");
        b.sink(kTapSink, "morvale_tap_1_1", "uuid");
        b.table.setDefaultSinkName("speakers");
        playOn(b, kSpeakers);
        OutputRouter router;
        int n = 0;
        for (const Pass& pass : c.passes) {
            SCOPED_TRACE(n++);
            pass.change(b);
            const auto moves = router.update(b.table, pass.wanted, [&](std::uint32_t input) {
                return pass.held.contains(input) ||
                       b.table.sinkInputs().at(input).sink == kTapSink;
            });
            EXPECT_EQ(moves, pass.expected);
        }
    }
}

// Where a tap sends a stream it lets go of.
TEST(OutputRouter, WishIsTheRoutesSinkTheDefaultOnceUnroutedOrNone) {
    TableBuilder b;
    b.client(10, 100);
    b.sink(kSpeakers, "speakers");
    b.sink(kTapSink, "morvale_tap_1_1", "uuid");
    b.table.setDefaultSinkName("speakers");
    b.play(kStream, 10, kTapSink);
    b.play(6, 10, kTapSink);
    OutputRouter router;
    const auto inTap = [](std::uint32_t) { return true; };
    router.update(b.table, kToHeadphones, inTap);
    EXPECT_EQ(router.wish(kStream), "headphones");
    EXPECT_EQ(router.wish(6), std::nullopt);
    router.update(b.table, kUnrouted, inTap);
    EXPECT_EQ(router.wish(kStream), "");
    b.table.event<SinkInputRecord>(Event::removed, kStream);
    router.update(b.table, kUnrouted, inTap);
    EXPECT_EQ(router.wish(kStream), std::nullopt);
}

}  // namespace
}  // namespace morvale::pulse::testing
