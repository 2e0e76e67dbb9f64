// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <optional>
#include <string>

#include "TableBuilder.h"
#include "platform/pulse/server/ObjectTable.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;
using Table = testing::TableBuilder;

constexpr std::uint32_t kSpeakersSink = 0;
constexpr std::uint32_t kMic = 20;
constexpr std::uint32_t kMonitor = 21;
constexpr std::uint32_t kUnlistedSource = 29;

// Our own clients and streams, clients whose pid could not be trusted and
// streams without a client make no process, and run none.
TEST(ObjectTable, ProcessesAreTrustedClientsWithStreamsAndRunWhileOneIsUncorked) {
    Table t;
    t.sink(kSpeakersSink, "speakers");
    t.client(10, 100);
    t.client(11, 100);  // a second connection of the same process
    t.client(12, 200);
    t.client(13, 300);  // no streams
    t.client(14, 400, /*ours=*/true);
    t.client(15, 0);  // a sandboxed client whose pid could not be trusted
    t.play(1, 10, kSpeakersSink, /*corked=*/true);
    t.play(2, 11, kSpeakersSink, /*corked=*/false);
    t.play(3, 12, kSpeakersSink, /*corked=*/true);
    t.play(4, 12, kSpeakersSink, false, false, /*ours=*/true);
    t.play(5, 14, kSpeakersSink);
    t.play(6, 15, kSpeakersSink);
    t.play(7, kNoIndex, kSpeakersSink);  // a module's stream

    EXPECT_EQ(t.pids(), (std::vector<std::int32_t>{100, 200}));
    EXPECT_EQ(t.find(100)->sinkInputs, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(t.find(200)->sinkInputs, (std::vector<std::uint32_t>{3}));
    EXPECT_TRUE(t.find(100)->running);
    EXPECT_FALSE(t.find(200)->running);
    t.play(2, 11, kSpeakersSink, /*corked=*/true);
    EXPECT_FALSE(t.find(100)->running);
}

TEST(ObjectTable, IdsStayWhileAProcessHasStreamsForAWhileAfterAndAcrossAReconnect) {
    Table t;
    t.sink(kSpeakersSink, "speakers");
    t.client(10, 100);
    t.play(1, 10, kSpeakersSink);
    const AudioObjectID id = t.idOf(100);
    ASSERT_NE(id, 0u);

    // Unrelated changes, a second stream, a cork: the same id.
    t.client(11, 200);
    t.play(2, 11, kSpeakersSink);
    t.play(3, 10, kSpeakersSink, true);
    t.play(1, 10, kSpeakersSink, true);
    EXPECT_EQ(t.idOf(100), id);

    // The player closes its streams and opens a new one between tracks.
    t.table.event<SinkInputRecord>(Event::removed, 1);
    t.table.event<SinkInputRecord>(Event::removed, 3);
    EXPECT_EQ(t.idOf(100), 0u);
    t.now += 5s;
    t.play(5, 10, kSpeakersSink);
    EXPECT_EQ(t.idOf(100), id);

    // The server restarts: new indices (one of them removed before), the
    // same process, the same id.
    t.table.reset();
    EXPECT_TRUE(t.table.processObjects().empty());
    t.sink(kSpeakersSink, "speakers");
    t.client(3, 100);
    t.client(11, 200);
    t.play(1, 3, kSpeakersSink);
    EXPECT_EQ(t.idOf(100), id);

    // Long gone: a new id.
    t.table.event<SinkInputRecord>(Event::removed, 1);
    t.now += ObjectTable::kIdLinger + 1s;
    t.play(2, 11, kSpeakersSink);  // any change lets the table forget
    t.play(6, 3, kSpeakersSink);
    EXPECT_NE(t.idOf(100), id);
}

// Listeners hear of every change that the model shows at once: a process
// coming or going, and one that starts or stops playing or recording (an
// application that plays and opens its microphone is in a call). Unrelated
// changes are not worth a refresh.
TEST(ObjectTable, VersionMovesOnProcessPlayingAndRecordingChanges) {
    struct Case {
        const char* name;
        std::function<void(Table&)> change;
        bool moves;
    };
    const std::vector<Case> cases = {
        {"a playing application opens its microphone", [](Table& t) { t.record(7, 10, kMic); }, true},
        {"it pauses", [](Table& t) { t.play(1, 10, kSpeakersSink, true); }, true},
        {"it starts a call", [](Table& t) { t.play(2, 10, kSpeakersSink, false, true); }, true},
        {"a new process plays", [](Table& t) { t.client(11, 200); t.play(2, 11, kSpeakersSink); }, true},
        {"a monitor is recorded", [](Table& t) { t.record(7, 10, kMonitor); }, false},
        {"a second stream of a playing process", [](Table& t) { t.play(2, 10, kSpeakersSink); }, false},
        {"a client without streams", [](Table& t) { t.client(11, 200); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t;
        t.sink(kSpeakersSink, "speakers");
        t.source(kMic, false);
        t.source(kMonitor, true);
        t.client(10, 100);
        t.play(1, 10, kSpeakersSink);
        const auto version = t.table.processListVersion();
        c.change(t);
        EXPECT_EQ(t.table.processListVersion() != version, c.moves);
    }
}

// Events and replies in the orders a server can produce them, across tables
// (a stale reply after a removal is the record tables' own case).
TEST(ObjectTable, CopesWithEventsInSurprisingOrders) {
    struct Case {
        const char* name;
        std::function<void(Table&)> steps;
        std::vector<std::int32_t> pids;
    };
    const std::vector<Case> cases = {
        {"a stream before its client: it counts once the client is known",
         [](Table& t) {
             t.play(1, 10, kSpeakersSink);
             EXPECT_TRUE(t.table.processObjects().empty());
             t.client(10, 100);
         },
         {100}},
        {"the client goes before its streams",
         [](Table& t) {
             t.client(10, 100);
             t.play(1, 10, kSpeakersSink);
             t.table.event<ClientRecord>(Event::removed, 10);
         },
         {}},
        {"the microphone goes before its streams",
         [](Table& t) {
             t.source(kMic, false);
             t.client(10, 100);
             t.record(1, 10, kMic);
             EXPECT_NE(t.find(100), nullptr);
             const auto version = t.table.processListVersion();
             t.table.event<SourceRecord>(Event::removed, kMic);
             EXPECT_GT(t.table.processListVersion(), version);
         },
         {}},
        {"removing what was never known changes nothing",
         [](Table& t) {
             t.client(10, 100);
             t.play(1, 10, kSpeakersSink);
             t.table.event<SinkInputRecord>(Event::removed, 99);
             t.table.event<ClientRecord>(Event::removed, 98);
             t.table.event<SinkRecord>(Event::removed, 97);
         },
         {100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t;
        t.sink(kSpeakersSink, "speakers");
        c.steps(t);
        EXPECT_EQ(t.pids(), c.pids);
    }
}

TEST(ObjectTable, DevicesAreRealSinksAndTheDefaultIsNeverATapSink) {
    Table t;
    // The default is announced before its sink's info.
    t.table.setDefaultSinkName("speakers");
    EXPECT_EQ(t.table.defaultDevice(), 0u);
    t.sink(0, "speakers");
    t.sink(1, "headphones");
    t.sink(2, "morvale_tap_1_1", "TAP-1");
    const AudioObjectID speakers = t.table.deviceForSinkName("speakers");
    EXPECT_EQ(t.table.defaultDevice(), speakers);
    EXPECT_EQ(t.table.deviceObjects().size(), 2u);
    EXPECT_EQ(t.table.deviceForSinkName("morvale_tap_1_1"), 0u);

    // A module switches the default to the new tap sink: the last real one stays.
    t.table.setDefaultSinkName("morvale_tap_1_1");
    EXPECT_EQ(t.table.defaultDevice(), speakers);
    t.table.setDefaultSinkName("headphones");
    EXPECT_EQ(t.table.defaultDevice(), t.table.deviceForSinkName("headphones"));

    // The default sink goes away: no default until the server names one.
    t.table.event<SinkRecord>(Event::removed, 1);
    EXPECT_EQ(t.table.defaultDevice(), 0u);

    // Device ids survive a reconnect.
    t.table.reset();
    EXPECT_TRUE(t.table.deviceObjects().empty());
    t.sink(5, "speakers");
    EXPECT_EQ(t.table.deviceForSinkName("speakers"), speakers);
}

// A process has its own object for its music and microphones, and a call
// object for its voice-call ("phone") streams. Streams, one letter each: M
// music, P a call's, R a microphone (lower case: paused), W recording what a
// sink plays, U recording a source not known yet, O our own capture stream.
TEST(ObjectTable, AProcesssStreamsMakeItsOwnObjectAndItsCallObject) {
    // What an object looks like: its streams' count, and the flags it reports.
    struct Seen {
        std::size_t sinkInputs;
        bool running, recording;
        bool operator==(const Seen&) const = default;
    };
    struct Case {
        const char* what;
        std::string streams;
        std::optional<Seen> own, call;
    };
    const Case cases[] = {
        {"music only", "M", Seen{1, true, false}, {}},
        {"a call only", "P", {}, Seen{1, true, false}},
        {"a paused call", "p", {}, Seen{1, false, false}},
        {"music beside a call", "MPp", Seen{1, true, false}, Seen{2, true, false}},
        {"paused music beside a call", "mP", Seen{1, false, false}, Seen{1, true, false}},
        {"a microphone, nothing played yet", "R", Seen{0, false, true}, {}},
        {"a paused microphone", "r", Seen{0, false, false}, {}},
        {"a call in a browser", "MR", Seen{1, true, true}, {}},
        {"a call application's microphone is the application's", "PR", Seen{0, false, true},
         Seen{1, true, false}},
        {"recording what a sink plays", "W", {}, {}},
        {"a level meter beside music", "MW", Seen{1, true, false}, {}},
        {"a source not known yet", "U", {}, {}},
        {"our own capture stream", "O", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Table t;
        t.sink(kSpeakersSink, "speakers");
        t.source(kMic, false);
        t.source(kMonitor, true);
        t.client(10, 100);
        std::uint32_t index = 1;
        for (const char s : c.streams) {
            const bool corked = std::islower(s) != 0;
            const char kind = static_cast<char>(std::toupper(s));
            if (kind == 'M' || kind == 'P') {
                t.play(index++, 10, kSpeakersSink, corked, kind == 'P');
            } else {
                const auto source = kind == 'W' ? kMonitor : kind == 'U' ? kUnlistedSource : kMic;
                t.record(index++, 10, source, corked, kind == 'O');
            }
        }
        const auto seen = [&](bool call) -> std::optional<Seen> {
            const auto* p = t.find(100, call);
            return p ? std::optional(Seen{p->sinkInputs.size(), p->running, p->recording})
                     : std::nullopt;
        };
        EXPECT_EQ(seen(false), c.own);
        EXPECT_EQ(seen(true), c.call);
        EXPECT_EQ(t.table.processObjects().size(), (c.own ? 1u : 0u) + (c.call ? 1u : 0u));
    }
}

TEST(ObjectTable, ACallObjectKeepsItsIdWhileItLastsAndNeverTakesTheApplications) {
    constexpr bool phone = true;
    Table t;
    t.sink(kSpeakersSink, "speakers");
    t.client(10, 100);
    t.client(11, 200);
    t.play(1, 10, kSpeakersSink);
    const AudioObjectID own = t.idOf(100);

    t.play(2, 10, kSpeakersSink, false, phone);
    const AudioObjectID call = t.idOf(100, true);
    ASSERT_NE(call, 0u);
    EXPECT_NE(call, own);

    // A second call stream, a cork, the music going: the same call object.
    t.play(3, 10, kSpeakersSink, /*corked=*/true, phone);
    t.play(2, 10, kSpeakersSink, /*corked=*/true, phone);
    t.table.event<SinkInputRecord>(Event::removed, 1);
    EXPECT_EQ(t.idOf(100, true), call);
    EXPECT_EQ(t.find(100), nullptr);

    // The music comes back within the linger: the application's own id again.
    t.now += 5s;
    t.play(5, 10, kSpeakersSink);
    EXPECT_EQ(t.idOf(100), own);
}

}  // namespace
}  // namespace morvale::pulse
