// SPDX-License-Identifier: GPL-3.0-or-later
// Output routes on a private server with two outputs, followed through one
// application's life: where its first sound plays, a move in another mixer,
// lowered, its sink unplugged and back, the route removed, and quitting.
#include <unistd.h>

#include <cstdio>

#include "TapFixture.h"
#include "platform/CallGroup.h"
#include "platform/OutputRoute.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;

const std::string kPaplay = "pacat.desktop";  // paplay's client says it is pacat

class OutputRoute : public TapFixture {
protected:
    OutputRoute() : TapFixture({.streamRestore = true, .secondSink = true}) {}

    // Each process the fake identifier names `bundleID` to `sink`.
    static void route(AudioHardware& hw, const std::map<std::string, std::string>& to) {
        OutputRoutes routes;
        for (const auto& [bundleID, sink] : to) {
            routes.push_back({.streams = {.bundleIDs = {bundleID}}, .deviceUID = sink});
        }
        const OutputRoutes* table = &routes;
        ASSERT_EQ(hw.setPropertyData(kAudioObjectSystemObject, CA::addr(kOutputRoutes), 0, nullptr,
                                     sizeof table, &table),
                  kAudioNoError);
    }
    bool playsOn(pid_t pid, const std::vector<std::string>& sinks) const {
        return eventually([&] { return server.sinksOfClientPid(pid) == sinks; });
    }
    bool staysOn(pid_t pid, const std::string& sink) const {
        std::this_thread::sleep_for(300ms);
        return server.sinkOfClientPid(pid) == sink;
    }
};

TEST_F(OutputRoute, StreamsPlayWhereTheirRouteSaysUntilItGoes) {
    server.pactl("set-default-source headphones.monitor");  // keeps PulseAudio's recorders put
    Recorder speakers(server.address(), "speakers.monitor");
    Recorder headphones(server.address(), "headphones.monitor");
    auto hw = connect();

    // A new stream: how much of it the default output hears before it moves.
    const std::string calls(kCallStreamsBundleID);
    route(*hw, {{kPaplay, "headphones"}, {calls, "headphones"}});
    const std::size_t before = speakers.samples().size();
    auto song = paplay(0.5);
    ASSERT_TRUE(playsOn(song->pid(), {"headphones"}));
    const double direct = settledLevel(headphones);
    const auto early = speakers.levels(before, 10);
    const auto heardMs = 10 * std::count_if(early.begin(), early.end(),
                                            [&](double level) { return level > 0.05 * direct; });
    std::printf("the routed stream's sound on the default output first: %ld ms\n", long{heardMs});
    EXPECT_LE(heardMs, 150);
    // A process no route names stays; the calls' route takes a call stream alone.
    auto other = player({"--amplitude=0"});
    auto caller = player({"--amplitude=0", "--streams=2", "--last-role=phone"});
    EXPECT_TRUE(playsOn(caller->pid(), {"speakers", "headphones"}));
    EXPECT_TRUE(staysOn(other->pid(), "speakers"));

    // Another mixer's move is followed and shown, not undone.
    const AudioObjectID object = objectsOf(*hw, song->pid()).at(0);
    ASSERT_TRUE(server.moveStreamOfClientPid(song->pid(), "speakers"));
    EXPECT_TRUE(staysOn(song->pid(), "speakers"));
    EXPECT_EQ(CA::string(*hw, object, kProcessOutputDevice), "speakers");
    route(*hw, {{kPaplay, "speakers"}});
    route(*hw, {{kPaplay, "headphones"}});
    ASSERT_TRUE(playsOn(song->pid(), {"headphones"}));

    // Lowered: the replay plays on the route's sink, which is what the
    // application shows; the tap sink is no output to choose. Afterwards the
    // stream itself goes there, not to the default.
    {
        auto session = tap(*hw, song->pid(), 0.25f);
        ASSERT_TRUE(eventually([&] { return tapped(song->pid()); }));
        EXPECT_TRUE(playsOn(::getpid(), {"headphones"}));
        EXPECT_TRUE(eventually(
            [&] { return std::abs(headphones.level(100ms) - 0.25 * direct) < 0.03 * direct; }));
        EXPECT_LT(speakers.level(100ms), 0.01 * direct);
        EXPECT_EQ(CA::string(*hw, object, kProcessOutputDevice), "headphones");
        EXPECT_EQ(CA::ids(*hw, kAudioObjectSystemObject, kOutputDeviceList).size(), 2u);
    }
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));

    // Unplugged: the default meanwhile, and back with the sink. Let go of
    // while unplugged: it stays on the default when the sink comes back.
    for (const bool routed : {true, false}) {
        server.plugSecondSink(false);
        EXPECT_TRUE(playsOn(song->pid(), {"speakers"}));
        if (!routed) {
            route(*hw, {});
        }
        server.plugSecondSink(true);
        EXPECT_TRUE(routed ? playsOn(song->pid(), {"headphones"})
                           : staysOn(song->pid(), "speakers"));
    }

    // Routed to the sink it plays on, the default (no move pins it there):
    // it stays there when the default changes.
    route(*hw, {{kPaplay, "speakers"}});
    server.pactl("set-default-sink headphones");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(playsOn(song->pid(), {"speakers"}));
    server.pactl("set-default-sink speakers");
    // WirePlumber sometimes loses a move made while it still relinks after a
    // change of the default.
    std::this_thread::sleep_for(200ms);

    // Let go of on its sink: back on the default, and along with a change of it.
    route(*hw, {{kPaplay, "headphones"}});
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));
    route(*hw, {});
    EXPECT_TRUE(playsOn(song->pid(), {"speakers"}));
    server.pactl("set-default-sink headphones");
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));
    EXPECT_TRUE(playsOn(caller->pid(), {"headphones", "headphones"}));
    server.pactl("set-default-sink speakers");

    // Quitting moves nothing; the stream memory names only what a user chose
    // in a mixer (the speakers, above), never the route's sink.
    route(*hw, {{kPaplay, "headphones"}});
    ASSERT_TRUE(playsOn(song->pid(), {"headphones"}));
    const auto namesHeadphones = [&] {
        const auto entries = server.restoredDevices();
        return std::ranges::any_of(entries, [](const auto& e) { return e.second == "headphones"; });
    };
    EXPECT_TRUE(eventually([&] { return !namesHeadphones(); }, 1s));
    hw.reset();
    EXPECT_TRUE(staysOn(song->pid(), "headphones"));
    EXPECT_EQ(server.sinkOfClientPid(other->pid()), "speakers");
}

}  // namespace
}  // namespace morvale::pulse::testing
