#include <gtest/gtest.h>

#include "TableBuilder.h"
#include "platform/pulse/ObjectTable.h"
#include "platform/pulse/StreamOrigins.h"
#include "platform/pulse/TapPlanner.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;

struct Table : testing::TableBuilder {
    bool input(std::uint32_t index, std::uint32_t client, std::uint32_t sinkIndex,
               bool corked = false, bool ours = false) {
        return table.info(SinkInputRecord{index, client, sinkIndex, corked, ours});
    }
    AudioObjectID idOf(std::int32_t pid) const {
        for (const AudioObjectID id : table.processObjects()) {
            if (table.process(id)->pid == pid) {
                return id;
            }
        }
        return 0;
    }
};

TEST(ObjectTable, ProcessesAreClientProcessesWithStreamsAndRunWhileOneIsUncorked) {
    Table t;
    t.sink(0, "speakers");
    t.client(10, 100);
    t.client(11, 100);  // a second connection of the same process
    t.client(12, 200);
    t.client(13, 300);  // no streams: no process object
    t.input(1, 10, 0, /*corked=*/true);
    t.input(2, 11, 0, /*corked=*/false);
    t.input(3, 12, 0, /*corked=*/true);

    EXPECT_EQ(t.pids(), (std::vector<std::int32_t>{100, 200}));
    const auto* first = t.table.process(t.idOf(100));
    EXPECT_EQ(first->sinkInputs, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_TRUE(first->running);
    EXPECT_FALSE(t.table.process(t.idOf(200))->running);

    // Listeners of the process list hear of processes that come and go, not
    // of a stream more or less or a cork.
    const auto version = t.table.processListVersion();
    t.input(2, 11, 0, /*corked=*/true);
    t.input(4, 10, 0, /*corked=*/true);
    EXPECT_FALSE(t.table.process(t.idOf(100))->running);
    EXPECT_EQ(t.table.processListVersion(), version);
    t.input(5, 13, 0);
    EXPECT_EQ(t.table.processListVersion(), version + 1);
    t.table.event<SinkInputRecord>(Event::removed, 5);
    EXPECT_EQ(t.table.processListVersion(), version + 2);
}

TEST(ObjectTable, OurOwnStreamsUntrustedClientsAndClientlessStreamsAreNoProcesses) {
    Table t;
    t.sink(0, "speakers");
    t.client(10, 100, /*ours=*/true);
    t.client(11, 0);  // a sandboxed client whose pid could not be trusted
    t.client(12, 200);
    t.input(1, 10, 0);
    t.input(2, 11, 0);
    t.input(3, kNoIndex, 0);                  // a module's stream
    t.input(4, 12, 0, false, /*ours=*/true);  // tagged as one of ours
    EXPECT_TRUE(t.table.processObjects().empty());
}

TEST(ObjectTable, IdsStayWhileAProcessHasStreamsAndForAWhileAfter) {
    Table t;
    t.sink(0, "speakers");
    t.client(10, 100);
    t.input(1, 10, 0);
    const AudioObjectID id = t.idOf(100);
    ASSERT_NE(id, 0u);

    // Unrelated changes, a second stream, a cork: the same id.
    t.client(11, 200);
    t.input(2, 11, 0);
    t.input(3, 10, 0, true);
    t.input(1, 10, 0, true);
    EXPECT_EQ(t.idOf(100), id);

    // The player closes its streams and opens a new one between tracks.
    t.table.event<SinkInputRecord>(Event::removed, 1);
    t.table.event<SinkInputRecord>(Event::removed, 3);
    EXPECT_EQ(t.idOf(100), 0u);
    t.now += 5s;
    t.input(5, 10, 0);
    EXPECT_EQ(t.idOf(100), id);

    // Long gone: a new id.
    t.table.event<SinkInputRecord>(Event::removed, 5);
    t.now += ObjectTable::kIdLinger + 1s;
    t.input(2, 11, 0);  // any change lets the table forget
    t.input(6, 10, 0);
    EXPECT_NE(t.idOf(100), id);
}

// Events and replies in the orders a server can produce them.
TEST(ObjectTable, CopesWithEventsInSurprisingOrders) {
    struct Case {
        const char* name;
        std::function<void(Table&)> steps;
        std::vector<std::int32_t> pids;
    };
    const std::vector<Case> cases = {
        {"removal before the info reply: the stale reply is ignored",
         [](Table& t) {
             t.client(10, 100);
             t.table.event<SinkInputRecord>(Event::added, 1);
             t.table.event<SinkInputRecord>(Event::removed, 1);
             EXPECT_FALSE(t.input(1, 10, 0));
         },
         {}},
        {"a change reply after the removal is ignored too",
         [](Table& t) {
             t.client(10, 100);
             t.table.event<SinkInputRecord>(Event::added, 1);
             t.input(1, 10, 0);
             t.table.event<SinkInputRecord>(Event::changed, 1);
             t.table.event<SinkInputRecord>(Event::removed, 1);
             EXPECT_FALSE(t.input(1, 10, 0));
         },
         {}},
        {"a stream before its client: it counts once the client is known",
         [](Table& t) {
             t.input(1, 10, 0);
             EXPECT_TRUE(t.table.processObjects().empty());
             t.client(10, 100);
         },
         {100}},
        {"the client goes before its streams: the streams belong to no process",
         [](Table& t) {
             t.client(10, 100);
             t.input(1, 10, 0);
             t.table.event<ClientRecord>(Event::removed, 10);
         },
         {}},
        {"a stale client reply after its removal does not bring it back",
         [](Table& t) {
             t.client(10, 100);
             t.input(1, 10, 0);
             t.table.event<ClientRecord>(Event::removed, 10);
             ClientRecord stale;
             stale.index = 10;
             stale.pid = 100;
             EXPECT_FALSE(t.table.info(stale));
         },
         {}},
        {"a server that reuses an index announces it anew",
         [](Table& t) {
             t.client(10, 100);
             t.table.event<SinkInputRecord>(Event::added, 1);
             t.table.event<SinkInputRecord>(Event::removed, 1);
             t.table.event<SinkInputRecord>(Event::added, 1);
             EXPECT_TRUE(t.input(1, 10, 0));
         },
         {100}},
        {"removing what was never known changes nothing",
         [](Table& t) {
             t.client(10, 100);
             t.input(1, 10, 0);
             t.table.event<SinkInputRecord>(Event::removed, 99);
             t.table.event<ClientRecord>(Event::removed, 98);
             t.table.event<SinkRecord>(Event::removed, 97);
         },
         {100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Table t;
        t.sink(0, "speakers");
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

TEST(ObjectTable, ProcessIdsSurviveAReconnect) {
    Table t;
    t.sink(0, "speakers");
    t.client(10, 100);
    t.input(1, 10, 0);
    const AudioObjectID id = t.idOf(100);
    t.table.reset();
    EXPECT_TRUE(t.table.processObjects().empty());
    t.sink(0, "speakers");
    t.client(3, 100);
    t.input(7, 3, 0);
    EXPECT_EQ(t.idOf(100), id);
}

TEST(TapPlanner, CapturesTappedStreamsAndEvictsForeignOnes) {
    Table t;
    t.table.setDefaultSinkName("speakers");
    t.sink(0, "speakers");
    t.sink(1, "headphones");
    t.sink(5, "morvale_tap_1_1", "TAP-1");
    t.client(10, 100);  // tapped
    t.client(11, 200);  // not tapped
    t.client(12, 300, /*ours=*/true);
    t.input(1, 10, 0);  // tapped, on speakers: capture
    t.input(2, 10, 1);  // tapped, on headphones: capture
    t.input(3, 10, 5);  // already inside
    t.input(4, 11, 5);  // foreign, inside: evict to the default
    t.input(5, 12, 5);  // ours, inside: evict
    t.input(6, 11, 0);  // foreign, outside: left alone
    t.input(7, 99, 5);  // client not known yet: wait
    t.input(8, 10, 0);  // being moved already

    const TapTarget tap{{t.idOf(100)}, 5};
    const auto moves = planMoves(t.table, {tap}, {8});
    std::vector<std::tuple<Move::Kind, std::uint32_t, std::uint32_t>> got;
    for (const Move& m : moves) {
        got.emplace_back(m.kind, m.input, m.sink);
    }
    using K = Move::Kind;
    EXPECT_EQ(got,
              (decltype(got){
                  {K::capture, 1, 5}, {K::capture, 2, 5}, {K::evict, 4, 0}, {K::evict, 5, 0}}));

    // A tap whose sink is not listed yet moves nothing.
    EXPECT_TRUE(planMoves(t.table, {TapTarget{{t.idOf(100)}, 42}}, {}).empty());
}

TEST(StreamOrigins, TheReplayPlaysWhereTheStreamsWereAndFollowsTheUsersMoves) {
    Table t;
    t.table.setDefaultSinkName("speakers");
    t.sink(0, "speakers");
    t.sink(1, "headphones");
    t.sink(5, "morvale_tap_1_1", "TAP-1");
    t.client(10, 100);
    StreamOrigins origins;
    const auto observe = [&](std::set<std::uint32_t> inFlight = {}) {
        origins.observe(t.table, 5, {1, 2, 3}, inFlight);
    };
    const auto originOf = [&](std::uint32_t input) {
        const auto* origin = origins.find(input);
        return origin != nullptr ? origin->sink : std::string("none");
    };
    // Nothing known: where the replay plays now, else the master.
    EXPECT_EQ(origins.replaySink("", "speakers"), "speakers");
    EXPECT_EQ(origins.replaySink("headphones", "speakers"), "headphones");

    // Streams routed to a sink of their own: the replay goes there; once one
    // plays on the default, wherever the default is: the master.
    t.input(1, 10, 1);
    t.input(2, 10, 1);
    observe();
    EXPECT_EQ(origins.replaySink("", "speakers"), "headphones");
    t.input(3, 10, 0);
    observe();
    EXPECT_EQ(origins.replaySink("headphones", "speakers"), "speakers");

    // Moved in, the streams arrive. One that had arrived and turns up on a
    // real sink, not moved by us, was moved there by someone: that sink is
    // its origin now, and the replay's for the whole tap. A move of ours on
    // its way (or reported late) is no choice; nor is one we send back.
    for (const std::uint32_t input : {1u, 2u, 3u}) {
        t.input(input, 10, 5);
    }
    observe();
    t.input(1, 10, 0);
    observe({1});
    EXPECT_EQ(originOf(1), "headphones");
    origins.sentBack(2);
    t.input(2, 10, 1);
    observe();
    EXPECT_EQ(originOf(1), "speakers");
    EXPECT_FALSE(origins.find(1)->wasDefault);
    EXPECT_EQ(originOf(2), "headphones");
    EXPECT_EQ(origins.chosen(), "speakers");
    EXPECT_EQ(origins.replaySink("", "headphones"), "speakers");

    // A process let go of: its stream is kept while still inside (to send it
    // back where it was), forgotten once out; gone streams are forgotten.
    origins.observe(t.table, 5, {1, 2}, {});
    EXPECT_EQ(originOf(3), "speakers");
    t.input(3, 10, 0);
    origins.observe(t.table, 5, {1, 2}, {});
    EXPECT_EQ(originOf(3), "none");
    t.table.event<SinkInputRecord>(Event::removed, 2);
    observe();
    EXPECT_EQ(originOf(2), "none");
}

}  // namespace
}  // namespace morvale::pulse
