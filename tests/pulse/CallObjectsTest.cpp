// Which process objects a process's streams make: its own object, and its
// call object for its voice-call ("phone") streams; and which streams a tap of
// either moves.
#include <gtest/gtest.h>

#include <tuple>

#include "TableBuilder.h"
#include "platform/pulse/CallMirrors.h"
#include "platform/pulse/ObjectTable.h"
#include "platform/pulse/TapPlanner.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kSpeakers = 0;
constexpr std::uint32_t kTapSink = 5;
constexpr std::uint32_t kMic = 20;
constexpr std::uint32_t kMonitor = 21;
constexpr std::uint32_t kUnlistedSource = 29;

struct Table : testing::TableBuilder {
    Table() {
        table.setDefaultSinkName("speakers");
        sink(kSpeakers, "speakers");
        sink(kTapSink, "morvale_tap_1_1", "TAP-1");
        table.event<SourceRecord>(Event::added, kMic);
        table.info(SourceRecord{kMic, false});
        table.event<SourceRecord>(Event::added, kMonitor);
        table.info(SourceRecord{kMonitor, true});
    }
    void play(std::uint32_t index, std::uint32_t client, bool phone, bool corked = false,
              std::uint32_t sinkIndex = kSpeakers) {
        SinkInputRecord record{index, client, sinkIndex, corked, false};
        record.phone = phone;
        table.info(record);
    }
    void record(std::uint32_t index, std::uint32_t client, std::uint32_t source,
                bool corked = false, bool ours = false) {
        table.info(SourceOutputRecord{index, client, source, corked, ours});
    }
    const ObjectTable::Process* find(std::int32_t pid, bool call) const {
        for (const AudioObjectID id : table.processObjects()) {
            const auto* process = table.process(id);
            if (process->pid == pid && process->call == call) {
                return process;
            }
        }
        return nullptr;
    }
};

enum class Kind { music, phone, capture };
struct Stream {
    Kind kind;
    bool corked = false;
    std::uint32_t source = kMic;  // for a capture
    bool ours = false;
};
// What an object looks like: its streams' count, and the flags it reports.
struct Seen {
    std::size_t sinkInputs;
    bool running;
    bool recording;
    friend bool operator==(const Seen&, const Seen&) = default;
};
struct Case {
    const char* what;
    std::vector<Stream> streams;
    std::optional<Seen> own;   // the process's own object
    std::optional<Seen> call;  // its call object
};

TEST(CallObjects, AProcesssStreamsMakeItsOwnObjectAndItsCallObject) {
    const Case cases[] = {
        {"music only", {{Kind::music}}, Seen{1, true, false}, std::nullopt},
        {"a call only", {{Kind::phone}}, std::nullopt, Seen{1, true, false}},
        {"a paused call", {{Kind::phone, true}}, std::nullopt, Seen{1, false, false}},
        {"music beside a call",
         {{Kind::music}, {Kind::phone}, {Kind::phone, true}},
         Seen{1, true, false},
         Seen{2, true, false}},
        {"paused music beside a call",
         {{Kind::music, true}, {Kind::phone}},
         Seen{1, false, false},
         Seen{1, true, false}},
        {"a microphone, nothing played yet", {{Kind::capture}}, Seen{0, false, true}, std::nullopt},
        {"a paused microphone", {{Kind::capture, true}}, Seen{0, false, false}, std::nullopt},
        {"a call in a browser",
         {{Kind::music}, {Kind::capture}},
         Seen{1, true, true},
         std::nullopt},
        {"a call application's microphone belongs to the application",
         {{Kind::phone}, {Kind::capture}},
         Seen{0, false, true},
         Seen{1, true, false}},
        {"recording what a sink plays",
         {{Kind::capture, false, kMonitor}},
         std::nullopt,
         std::nullopt},
        {"a level meter beside music",
         {{Kind::music}, {Kind::capture, false, kMonitor}},
         Seen{1, true, false},
         std::nullopt},
        {"a source not known yet",
         {{Kind::capture, false, kUnlistedSource}},
         std::nullopt,
         std::nullopt},
        {"our own capture stream",
         {{Kind::capture, false, kMic, true}},
         std::nullopt,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Table t;
        t.client(10, 100);
        std::uint32_t index = 1;
        for (const Stream& s : c.streams) {
            if (s.kind == Kind::capture) {
                t.record(index++, 10, s.source, s.corked, s.ours);
            } else {
                t.play(index++, 10, s.kind == Kind::phone, s.corked);
            }
        }
        const auto seen = [&](bool call) -> std::optional<Seen> {
            const auto* p = t.find(100, call);
            if (p == nullptr) {
                return std::nullopt;
            }
            return Seen{p->sinkInputs.size(), p->running, p->recording};
        };
        EXPECT_EQ(seen(false), c.own);
        EXPECT_EQ(seen(true), c.call);
        EXPECT_EQ(t.table.processObjects().size(), (c.own ? 1u : 0u) + (c.call ? 1u : 0u));
    }
}

TEST(CallObjects, ACallObjectKeepsItsIdWhileItLastsAndNeverTakesTheApplications) {
    Table t;
    t.client(10, 100);
    t.client(11, 200);
    t.play(1, 10, /*phone=*/false);
    const AudioObjectID own = t.find(100, false)->id;
    const auto version = t.table.processListVersion();

    t.play(2, 10, /*phone=*/true);
    ASSERT_NE(t.find(100, true), nullptr);
    const AudioObjectID call = t.find(100, true)->id;
    EXPECT_NE(call, own);
    EXPECT_GT(t.table.processListVersion(), version);  // a call started: listeners hear of it
    EXPECT_EQ(t.table.processOf(t.table.sinkInputs().at(2)), call);
    EXPECT_EQ(t.table.processOf(t.table.sinkInputs().at(1)), own);

    // A second call stream, a cork, the music going: the same call object.
    t.play(3, 10, true, /*corked=*/true);
    t.play(2, 10, true, /*corked=*/true);
    t.table.event<SinkInputRecord>(Event::removed, 1);
    EXPECT_EQ(t.find(100, true)->id, call);
    EXPECT_EQ(t.find(100, false), nullptr);
    // Another process's call is an object of its own.
    t.play(4, 11, true);
    EXPECT_NE(t.find(200, true)->id, call);

    // The music comes back within the linger: the application's own id again.
    t.now += 5s;
    t.play(5, 10, false);
    EXPECT_EQ(t.find(100, false)->id, own);
    // The call ends and another starts later: a new call object, no reuse.
    t.table.event<SinkInputRecord>(Event::removed, 2);
    t.table.event<SinkInputRecord>(Event::removed, 3);
    EXPECT_EQ(t.find(100, true), nullptr);
    t.now += ObjectTable::kIdLinger + 1s;
    t.play(6, 10, false);  // a change that lets the table forget old ids
    t.play(7, 10, true);
    EXPECT_NE(t.find(100, true)->id, call);
    EXPECT_NE(t.find(100, true)->id, own);
}

TEST(CallObjects, TheMicrophoneGoingEndsTheRecordingAndTheObjectWithIt) {
    Table t;
    t.client(10, 100);
    t.record(1, 10, kMic);
    ASSERT_NE(t.find(100, false), nullptr);
    const auto version = t.table.processListVersion();
    t.table.event<SourceRecord>(Event::removed, kMic);  // unplugged: its streams go next
    EXPECT_EQ(t.find(100, false), nullptr);
    EXPECT_GT(t.table.processListVersion(), version);
    // A stale reply for the removed source does not bring it back.
    EXPECT_FALSE(t.table.info(SourceRecord{kMic, false}));
    EXPECT_TRUE(t.table.processObjects().empty());
}

TEST(CallObjects, ATapOfTheCallMovesOnlyTheCallsStreamsAndViceVersa) {
    using K = Move::Kind;
    using Got = std::vector<std::tuple<Move::Kind, std::uint32_t, std::uint32_t>>;
    Table t;
    t.client(10, 100);
    t.play(1, 10, /*phone=*/false);
    t.play(2, 10, /*phone=*/true);
    t.play(3, 10, false, false, kTapSink);  // music already inside
    t.play(4, 10, true, false, kTapSink);   // a call stream inside
    const AudioObjectID own = t.find(100, false)->id;
    const AudioObjectID call = t.find(100, true)->id;
    const auto plan = [&](AudioObjectID tapped) {
        Got got;
        for (const Move& m : planMoves(t.table, {TapTarget{{tapped}, kTapSink}}, {})) {
            got.emplace_back(m.kind, m.input, m.sink);
        }
        return got;
    };
    EXPECT_EQ(plan(call), (Got{{K::capture, 2, kTapSink}, {K::evict, 3, kSpeakers}}));
    EXPECT_EQ(plan(own), (Got{{K::capture, 1, kTapSink}, {K::evict, 4, kSpeakers}}));
}

TEST(CallMirrors, EverySinkThatSharesARealSinkWithACallAndHasNoneOfItsOwnGetsOne) {
    constexpr std::uint32_t kHeadphones = 1;
    constexpr std::uint32_t kOtherTapSink = 6;
    struct Play {
        std::uint32_t sink;
        bool phone;
        bool corked = false;
        bool ours = false;
    };
    struct MirrorCase {
        const char* what;
        std::vector<Play> streams;
        std::map<std::uint32_t, std::uint32_t> replays;  // tap sink -> real sink
        std::set<std::uint32_t> wanted;
    };
    const MirrorCase cases[] = {
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
    for (const MirrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        Table t;
        t.sink(kHeadphones, "headphones");
        t.sink(kOtherTapSink, "morvale_tap_1_2", "TAP-2");
        t.client(10, 100);
        std::uint32_t index = 1;
        for (const Play& p : c.streams) {
            SinkInputRecord record{index++, 10, p.sink, p.corked, p.ours};
            record.phone = p.phone;
            t.table.info(record);
        }
        EXPECT_EQ(callMirrorSinks(t.table, c.replays), c.wanted);
    }
}

}  // namespace
}  // namespace morvale::pulse
