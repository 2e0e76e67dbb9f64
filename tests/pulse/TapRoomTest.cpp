// A tap sink takes in no more streams than it has room for while the rest
// can be heard where they play: the oldest go in, newer ones wait outside,
// and none is moved out for another. A sink beyond its room is relieved.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "TableBuilder.h"
#include "platform/pulse/TapPlanner.h"

namespace morvale::pulse::testing {
namespace {

constexpr std::uint32_t kSpeakers = 0;
constexpr std::uint32_t kTapSink = 5;

struct Stream {
    std::uint32_t index;
    std::uint32_t sink;
    bool mirror = false;
    bool tapped = true;  // of the tapped process, else of another
};

TEST(TapRoom, ATapSinkTakesInNoMoreStreamsThanItHasRoomFor) {
    struct Case {
        std::string what;
        std::vector<Stream> streams;
        std::set<std::uint32_t> inFlight;
        std::vector<std::uint32_t> captured;  // the streams moved in
    };
    const std::vector<Case> cases{
        {"room for all", {{1, kSpeakers}, {2, kSpeakers}}, {}, {1, 2}},
        {"the oldest go in first",
         {{1, kTapSink}, {2, kSpeakers}, {3, kSpeakers}, {4, kSpeakers}},
         {},
         {2, 3}},
        {"a full sink takes in none",
         {{1, kTapSink}, {2, kTapSink}, {3, kTapSink}, {4, kSpeakers}},
         {},
         {}},
        {"streams on their way in take room",
         {{1, kTapSink}, {2, kSpeakers}, {3, kSpeakers}, {4, kSpeakers}},
         {2, 3},
         {}},
        {"one over the room inside is left there, and takes room",
         {{1, kTapSink}, {2, kTapSink}, {3, kTapSink}, {4, kTapSink}, {5, kSpeakers}},
         {},
         {}},
        {"a call mirror takes none",
         {{1, kTapSink}, {2, kTapSink, true}, {3, kSpeakers}, {4, kSpeakers}},
         {},
         {3, 4}},
        {"a full sink takes in as many as leave their own sink its room",
         {{1, kTapSink},
          {2, kTapSink},
          {3, kTapSink},
          {4, kSpeakers},
          {5, kSpeakers},
          {6, kSpeakers},
          {7, kSpeakers},
          {8, kSpeakers}},
         {},
         {4, 5}},
        {"another application's streams take room on their sink",
         {{1, kTapSink},
          {2, kTapSink},
          {3, kTapSink},
          {4, kSpeakers},
          {5, kSpeakers},
          {6, kSpeakers, false, false},
          {7, kSpeakers, false, false}},
         {},
         {4}},
        {"streams on their way out of a sink leave it room",
         {{1, kTapSink},
          {2, kTapSink},
          {3, kTapSink},
          {4, kSpeakers},
          {5, kSpeakers},
          {6, kSpeakers},
          {7, kSpeakers}},
         {4},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TableBuilder t;
        t.table.setDefaultSinkName("speakers");
        t.sink(kSpeakers, "speakers");
        t.sink(kTapSink, "morvale_tap_1_1", "TAP-1");
        t.client(10, 100);
        t.client(11, 200);
        for (const Stream& s : c.streams) {
            SinkInputRecord record{s.index, s.tapped ? 10u : 11u, s.sink};
            record.mirror = s.mirror;
            t.table.info(record);
        }
        const TapTarget tap{{t.idOf(100)}, kTapSink, 3};
        std::vector<std::uint32_t> captured;
        for (const Move& move : planMoves(t.table, {tap}, c.inFlight)) {
            EXPECT_EQ(move.kind, Move::Kind::capture);
            EXPECT_EQ(move.sink, kTapSink);
            captured.push_back(move.input);
        }
        EXPECT_EQ(captured, c.captured);
    }
}

}  // namespace
}  // namespace morvale::pulse::testing
