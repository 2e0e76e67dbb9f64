// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "GraphBuilder.h"

namespace morvale::pipewire {
namespace {

using namespace std::chrono_literals;
using Builder = testing::GraphBuilder;

constexpr std::uint32_t kSpeakers = 30;
constexpr std::uint32_t kMic = 31;

TEST(PwGraph, MediaClassesMapToKinds) {
    const std::vector<std::pair<std::string, NodeKind>> cases{
        {"Stream/Output/Audio", NodeKind::playback},
        {"Stream/Input/Audio", NodeKind::capture},
        {"Audio/Sink", NodeKind::sink},
        {"Audio/Duplex", NodeKind::sink},
        {"Audio/Source", NodeKind::source},
        {"Audio/Source/Virtual", NodeKind::source},
        {"Stream/Output/Video", NodeKind::other},
        {"Video/Source", NodeKind::other},
        {"", NodeKind::other},
    };
    for (const auto& [mediaClass, kind] : cases) {
        EXPECT_EQ(nodeKindOf(mediaClass), kind) << mediaClass;
    }
}

// Where a stream's pid comes from: the node's own checked claim (PulseAudio
// clients, whose connection is the pulse server's), else its client's socket
// credentials (native and ALSA clients); never a server's pid for a stream
// whose own claim failed.
TEST(PwGraph, AStreamBelongsToTheProcessItNamesElseToItsClients) {
    struct Case {
        const char* what;
        std::int32_t clientPid;
        bool clientOurs;
        std::int32_t nodePid;
        std::vector<std::int32_t> pids;
    };
    const std::vector<Case> cases{
        {"native stream: the client's pid", 100, false, 0, {100}},
        {"pulse stream: the node's claim beats the pulse server's pid", 900, false, 200, {200}},
        {"pulse stream with an untrusted claim: no process", 900, false, -1, {}},
        {"client with no trusted pid: no process", 0, false, 0, {}},
        {"our own client's stream: no process", 100, true, 0, {}},
        {"our own client's stream, even naming another pid", 100, true, 200, {}},
    };
    for (const auto& c : cases) {
        Builder b;
        b.client(10, c.clientPid, c.clientOurs);
        b.play(1, 10, true, false, c.nodePid);
        EXPECT_EQ(b.pids(), c.pids) << c.what;
    }
}

// A call stream has an object of its own, which goes with it.
TEST(PwGraph, EventsInAnyOrderEndInTheSameProcessesAndACallsObject) {
    // The same graph fed in each order its three events can come in.
    std::vector<std::function<void(Builder&)>> events{
        [](Builder& b) { b.client(10, 100); },
        [](Builder& b) { b.play(1, 10); },
        [](Builder& b) { b.play(2, 10, false, true); },
    };
    std::vector<int> order{0, 1, 2};
    do {
        Builder b;
        for (int i : order) {
            events[static_cast<std::size_t>(i)](b);
        }
        EXPECT_EQ(b.pids(), (std::vector<std::int32_t>{-100, 100}));
        ASSERT_NE(b.find(100), nullptr);
        EXPECT_TRUE(b.find(100)->running);
        EXPECT_FALSE(b.find(100, true)->running);
        EXPECT_EQ(b.find(100, true)->playback, (std::vector<std::uint32_t>{2}));
        EXPECT_EQ(b.graph.processOf(2), b.find(100, true)->id);
        b.graph.remove(2);  // the call ends: its object goes, the application's stays
        EXPECT_EQ(b.pids(), (std::vector<std::int32_t>{100}));
    } while (std::next_permutation(order.begin(), order.end()));
}

// A capture stream records when it is linked from a source, not from a
// sink's output (monitor captures also say so with stream.capture.sink).
TEST(PwGraph, MicrophoneCapturesRecordMonitorCapturesDoNot) {
    struct Case {
        const char* what;
        std::uint32_t from;
        bool capturesSink;
        bool running;
        bool recording;  // absent process: false and no object
        bool hasObject;
    };
    const std::vector<Case> cases{
        {"from the microphone, running", kMic, false, true, true, true},
        {"from the microphone, paused", kMic, false, false, false, true},
        {"from the speakers' output", kSpeakers, false, true, false, false},
        {"monitor capture marked, even linked from a source", kMic, true, true, false, false},
        {"linked from a node not known (yet)", 77, false, true, false, false},
    };
    for (const auto& c : cases) {
        Builder b;
        b.device(kSpeakers, NodeKind::sink, "speakers");
        b.device(kMic, NodeKind::source, "mic");
        b.client(10, 100);
        b.capture(5, 10, c.running, c.capturesSink);
        b.link(40, c.from, 5);
        const auto* p = b.find(100);
        EXPECT_EQ(p != nullptr, c.hasObject) << c.what;
        EXPECT_EQ(p != nullptr && p->recording, c.recording) << c.what;
    }
}

TEST(PwGraph, ALinkThatComesBeforeItsSourceCountsOnceTheSourceIsKnown) {
    Builder b;
    b.client(10, 100);
    b.capture(5, 10);
    b.link(40, kMic, 5);
    EXPECT_EQ(b.find(100), nullptr);
    const auto before = b.graph.version();
    b.device(kMic, NodeKind::source, "mic");
    ASSERT_NE(b.find(100), nullptr);
    EXPECT_TRUE(b.find(100)->recording);
    EXPECT_GT(b.graph.version(), before);
    b.graph.remove(40);  // unlinked: no longer recording from a source
    EXPECT_EQ(b.find(100), nullptr);
}

TEST(PwGraph, VersionMovesOnProcessListAndPlayingChangesOnly) {
    Builder b;
    b.client(10, 100);
    auto v = b.graph.version();
    b.play(1, 10, false);
    EXPECT_GT(b.graph.version(), v) << "a process came";
    v = b.graph.version();
    b.play(1, 10, false);
    EXPECT_EQ(b.graph.version(), v) << "an info that changes nothing";
    b.play(1, 10, true);
    EXPECT_GT(b.graph.version(), v) << "it plays";
    v = b.graph.version();
    b.device(kSpeakers, NodeKind::sink, "speakers");
    EXPECT_EQ(b.graph.version(), v) << "a sink is no process";
}

TEST(PwGraph, ProcessIdsLingerAndSurviveAReconnect) {
    Builder b;
    b.client(10, 100);
    b.play(1, 10);
    const AudioObjectID id = b.find(100)->id;
    b.graph.remove(1);
    b.now += 10s;
    b.play(2, 10);
    EXPECT_EQ(b.find(100)->id, id) << "a new stream soon after keeps the id";
    b.graph.reset();
    EXPECT_TRUE(b.graph.processObjects().empty());
    b.client(10, 100);
    b.play(3, 10);
    EXPECT_EQ(b.find(100)->id, id) << "back after a reconnect";
    b.graph.remove(3);
    b.now += PwGraph::kIdLinger + 1s;
    b.client(11, 200);
    b.play(4, 11);  // a rebuild after the linger
    b.play(5, 10);
    EXPECT_NE(b.find(100)->id, id) << "a process gone long ago comes back anew";
}

TEST(PwGraph, DevicesAreSinksAndTheDefaultFollowsItsNameWhenListed) {
    Builder b;
    b.graph.setDefaultSinkName("headphones");  // named before it is listed
    EXPECT_EQ(b.graph.defaultDevice(), 0u);
    b.device(kSpeakers, NodeKind::sink, "speakers");
    b.device(kMic, NodeKind::source, "mic");
    b.device(32, NodeKind::sink, "headphones");
    ASSERT_EQ(b.graph.deviceObjects().size(), 2u);
    const AudioObjectID headphones = b.graph.defaultDevice();
    ASSERT_NE(headphones, 0u);
    EXPECT_EQ(b.graph.device(headphones)->name, "headphones");
    b.graph.remove(32);
    EXPECT_EQ(b.graph.defaultDevice(), 0u);
    b.device(33, NodeKind::sink, "headphones");  // back with another global id
    EXPECT_EQ(b.graph.defaultDevice(), headphones);
}

}  // namespace
}  // namespace morvale::pipewire
