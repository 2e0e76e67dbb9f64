// SPDX-License-Identifier: GPL-3.0-or-later
// Where a tap's streams go: which streams a tap moves in and out of its sink,
// where the replay plays, and which sinks need a call mirror.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>

#include "TableBuilder.h"
#include "platform/pulse/taps/CallMirrors.h"
#include "platform/pulse/server/StreamOrigins.h"
#include "platform/pulse/taps/TapPlanner.h"

namespace morvale::pulse {
namespace {

constexpr std::uint32_t kSpeakers = 0;
constexpr std::uint32_t kHeadphones = 1;
constexpr std::uint32_t kTapSink = 5;
constexpr std::uint32_t kOtherTapSink = 6;

// Speakers (the default), headphones and two tap sinks.
struct Table : testing::TableBuilder {
    Table() {
        table.setDefaultSinkName("speakers");
        sink(kSpeakers, "speakers");
        sink(kHeadphones, "headphones");
        sink(kTapSink, "morvale_tap_1_1", "TAP-1");
        sink(kOtherTapSink, "morvale_tap_1_2", "TAP-2");
    }
    using Moves = std::vector<std::tuple<Move::Kind, std::uint32_t, std::uint32_t>>;
    Moves plan(AudioObjectID tapped, std::uint32_t sink = kTapSink,
               const std::set<std::uint32_t>& inFlight = {},
               std::size_t room = std::numeric_limits<std::size_t>::max()) const {
        Moves got;
        for (const Move& m : planMoves(table, {TapTarget{{tapped}, sink, room}}, inFlight)) {
            got.emplace_back(m.kind, m.input, m.sink);
        }
        return got;
    }
};
using K = Move::Kind;

TEST(TapPlanner, CapturesTappedStreamsAndEvictsForeignOnes) {
    Table t;
    t.client(10, 100);  // tapped
    t.client(11, 200);  // not tapped
    t.client(12, 300, /*ours=*/true);
    t.play(1, 10, kSpeakers);    // tapped, on speakers: capture
    t.play(2, 10, kHeadphones);  // tapped, on headphones: capture
    t.play(3, 10, kTapSink);     // already inside
    t.play(4, 11, kTapSink);     // foreign, inside: evict to the default
    t.play(5, 12, kTapSink);     // ours, inside: evict
    t.play(6, 11, kSpeakers);    // foreign, outside: left alone
    t.play(7, 99, kTapSink);     // client not known yet: wait
    t.play(8, 10, kSpeakers);    // being moved already
    EXPECT_EQ(t.plan(t.idOf(100), kTapSink, {8}), (Table::Moves{{K::capture, 1, kTapSink},
                                                                {K::capture, 2, kTapSink},
                                                                {K::evict, 4, kSpeakers},
                                                                {K::evict, 5, kSpeakers}}));
    // A tap whose sink is not listed yet moves nothing.
    EXPECT_TRUE(t.plan(t.idOf(100), 42).empty());
}

TEST(TapPlanner, ATapOfTheCallMovesOnlyTheCallsStreamsAndViceVersa) {
    constexpr bool phone = true;
    Table t;
    t.client(10, 100);
    t.play(1, 10, kSpeakers);
    t.play(2, 10, kSpeakers, false, phone);
    t.play(3, 10, kTapSink);                // music already inside
    t.play(4, 10, kTapSink, false, phone);  // a call stream inside
    EXPECT_EQ(t.plan(t.idOf(100, true)),
              (Table::Moves{{K::capture, 2, kTapSink}, {K::evict, 3, kSpeakers}}));
    EXPECT_EQ(t.plan(t.idOf(100)),
              (Table::Moves{{K::capture, 1, kTapSink}, {K::evict, 4, kSpeakers}}));
}

// A tap sink takes in no more streams than it has room for while the rest can
// be heard where they play: the oldest go in, newer ones wait outside, and
// none is moved out for another. Streams by position (index 1, 2, ...): T
// tapped inside the tap sink, s tapped on the speakers, o another
// application's on the speakers, m a call mirror inside.
TEST(TapPlanner, ATapSinkTakesInNoMoreStreamsThanItHasRoomFor) {
    struct Case {
        const char* what;
        std::string streams;
        std::set<std::uint32_t> inFlight;
        std::vector<std::uint32_t> captured;
    };
    const Case cases[] = {
        {"room for all", "ss", {}, {1, 2}},
        {"the oldest go in first", "Tsss", {}, {2, 3}},
        {"a full sink takes in none", "TTTs", {}, {}},
        {"streams on their way in take room", "Tsss", {2, 3}, {}},
        {"one over the room inside is left there, and takes room", "TTTTs", {}, {}},
        {"a call mirror takes none", "Tmss", {}, {3, 4}},
        {"a full sink takes in as many as leave their own sink its room", "TTTsssss", {}, {4, 5}},
        {"another application's streams take room on their sink", "TTTssoo", {}, {4}},
        {"streams on their way out of a sink leave it room", "TTTssss", {4}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Table t;
        t.client(10, 100);
        t.client(11, 200);
        for (std::uint32_t i = 0; i < c.streams.size(); ++i) {
            const char kind = c.streams[i];
            SinkInputRecord record{i + 1, kind == 'o' ? 11u : 10u,
                                   kind == 's' || kind == 'o' ? kSpeakers : kTapSink};
            record.mirror = kind == 'm';
            t.table.info(record);
        }
        Table::Moves expected;
        for (const std::uint32_t input : c.captured) {
            expected.emplace_back(K::capture, input, kTapSink);
        }
        EXPECT_EQ(t.plan(t.idOf(100), kTapSink, c.inFlight, 3), expected);
    }
}

TEST(StreamOrigins, TheReplayPlaysWhereTheStreamsWereAndFollowsTheUsersMoves) {
    Table t;
    t.client(10, 100);
    StreamOrigins origins;
    const auto observe = [&](std::set<std::uint32_t> inFlight = {}) {
        origins.observe(t.table, kTapSink, {1, 2, 3}, inFlight);
    };
    const auto originOf = [&](std::uint32_t input) {
        const auto* origin = origins.find(input);
        return origin != nullptr ? origin->sink : std::string("none");
    };
    // Streams routed to a sink of their own: the replay goes there. Another
    // that plays on the default does not carry it away; with the streams on
    // several sinks and the replay on none of them, it goes where the oldest
    // came from.
    t.play(1, 10, kHeadphones);
    t.play(2, 10, kHeadphones);
    observe();
    EXPECT_EQ(origins.replaySink("", "speakers"), "headphones");
    t.play(3, 10, kSpeakers);
    observe();
    EXPECT_EQ(origins.replaySink("headphones", "speakers"), "headphones");
    EXPECT_EQ(origins.replaySink("elsewhere", "speakers"), "headphones");

    // Moved in, the streams arrive. One that had arrived and turns up on a
    // real sink, not moved by us, was moved there by someone: that sink is
    // its origin now, and the replay's for the whole tap. A move of ours on
    // its way (or reported late) is no choice; nor is one we send back.
    for (const std::uint32_t input : {1u, 2u, 3u}) {
        t.play(input, 10, kTapSink);
    }
    observe();
    t.play(1, 10, kSpeakers);
    observe({1});
    EXPECT_EQ(originOf(1), "headphones");
    origins.sentBack(2);
    t.play(2, 10, kHeadphones);
    observe();
    EXPECT_EQ(originOf(1), "speakers");
    EXPECT_FALSE(origins.find(1)->wasDefault);
    EXPECT_EQ(originOf(2), "headphones");
    EXPECT_EQ(origins.chosen(), "speakers");
    EXPECT_EQ(origins.replaySink("", "headphones"), "speakers");

    // Someone moved the replay itself: that sink is the whole tap's, and
    // where every stream goes back to.
    origins.choose("headphones");
    EXPECT_EQ(origins.replaySink("speakers", "speakers"), "headphones");
    EXPECT_EQ(originOf(1), "headphones");
    EXPECT_FALSE(origins.find(1)->wasDefault);
    origins.choose("speakers");

    // A process let go of: its stream is kept while still inside (to send it
    // back where it was), forgotten once out; gone streams are forgotten.
    origins.observe(t.table, kTapSink, {1, 2}, {});
    EXPECT_EQ(originOf(3), "speakers");
    t.play(3, 10, kSpeakers);
    origins.observe(t.table, kTapSink, {1, 2}, {});
    EXPECT_EQ(originOf(3), "none");
    t.table.event<SinkInputRecord>(Event::removed, 2);
    observe();
    EXPECT_EQ(originOf(2), "none");
}

// A captured stream that someone moves is left alone until it lands: PipeWire
// shows it on no sink while its session manager relinks it, and a move of ours
// in that moment would undo the user's choice before it is ever seen.
TEST(StreamOrigins, AStreamOnNoSinkAfterItPlayedIsLeftToLandWhereItWasSent) {
    struct Step {
        const char* what;
        std::uint32_t sink;  // where stream 1 shows now
        bool relinking;
        std::optional<std::string> chosen;
    };
    const Step steps[] = {
        {"new, not linked yet: ours to capture", kNoIndex, false, std::nullopt},
        {"plays on its own sink", kHeadphones, false, std::nullopt},
        {"captured", kTapSink, false, std::nullopt},
        {"moved by someone, on its way", kNoIndex, true, std::nullopt},
        {"landed where the user sent it", kSpeakers, false, "speakers"},
        {"captured again", kTapSink, false, "speakers"},
        {"on its way once more", kNoIndex, true, "speakers"},
    };
    Table t;
    t.client(10, 100);
    StreamOrigins origins;
    using Set = std::set<std::uint32_t>;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        t.play(1, 10, step.sink);
        origins.observe(t.table, kTapSink, {1}, {});
        EXPECT_EQ(origins.relinking(), step.relinking ? Set{1} : Set{});
        EXPECT_EQ(origins.chosen(), step.chosen);
    }
    // A stream that ends while on its way is forgotten.
    t.table.event<SinkInputRecord>(Event::removed, 1);
    origins.observe(t.table, kTapSink, {}, {});
    EXPECT_TRUE(origins.relinking().empty());
}

TEST(CallMirrors, EverySinkThatSharesARealSinkWithACallAndHasNoneOfItsOwnGetsOne) {
    struct Play {
        std::uint32_t sink;
        bool phone;
        bool corked = false;
        bool ours = false;
    };
    struct Case {
        const char* what;
        std::vector<Play> streams;
        std::map<std::uint32_t, std::uint32_t> replays;  // tap sink -> real sink
        std::set<std::uint32_t> wanted;
    };
    const Case cases[] = {
        {"no call", {{kSpeakers, false}}, {{kTapSink, kSpeakers}}, {}},
        {"a call with no tap beside it", {{kSpeakers, true}}, {}, {}},
        {"a call on the sink a tap replays to",
         {{kSpeakers, true}, {kTapSink, false}},
         {{kTapSink, kSpeakers}, {kOtherTapSink, kSpeakers}},
         {kTapSink, kOtherTapSink}},
        {"a tapped call", {{kTapSink, true}}, {{kTapSink, kSpeakers}}, {kSpeakers}},
        {"a tapped call beside another tap",
         {{kTapSink, true}},
         {{kTapSink, kSpeakers}, {kOtherTapSink, kSpeakers}},
         {kSpeakers, kOtherTapSink}},
        {"a call on another device", {{kHeadphones, true}}, {{kTapSink, kSpeakers}}, {}},
        {"a paused call", {{kSpeakers, true, true}}, {{kTapSink, kSpeakers}}, {}},
        {"a mirror is no call", {{kSpeakers, true, false, true}}, {{kTapSink, kSpeakers}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Table t;
        t.client(10, 100);
        std::uint32_t index = 1;
        for (const Play& p : c.streams) {
            t.play(index++, 10, p.sink, p.corked, p.phone, p.ours);
        }
        EXPECT_EQ(callMirrorSinks(t.table, c.replays), c.wanted);
    }
}

}  // namespace
}  // namespace morvale::pulse
