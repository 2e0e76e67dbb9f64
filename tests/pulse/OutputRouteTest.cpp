// SPDX-License-Identifier: GPL-3.0-or-later
// Output routes over the PulseAudio protocol, on a private server with two
// outputs: an application's streams play on the sink its route names, from
// as early as the server allows; a move made in another mixer is followed;
// a lowered application's replay plays there, and its stream goes there
// when the tap ends; the route's sink going away and coming back takes the
// streams to the default and back; removing the route lets them follow the
// default again; quitting moves nothing; and the server's stream memory is
// left naming nothing the user did not choose.
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "TapFixture.h"
#include "platform/CallGroup.h"
#include "platform/OutputRoute.h"

namespace morvale::pulse::testing {
namespace {

using namespace std::chrono_literals;

// paplay is pacat by another name, which its client reports.
const std::string kPaplay = "pacat.desktop";

class OutputRoute : public TapFixture {
protected:
    OutputRoute() : TapFixture(/*streamRestore=*/true) {}

    // Routes every process the fake identifier names `bundleID` to `sink`.
    static void route(AudioHardware& hw, const std::vector<std::pair<std::string, std::string>>& to) {
        OutputRoutes routes;
        for (const auto& [bundleID, sink] : to) {
            morvale::OutputRoute r;
            r.streams.bundleIDs = {bundleID};
            r.deviceUID = sink;
            routes.push_back(r);
        }
        const OutputRoutes* table = &routes;
        ASSERT_EQ(hw.setPropertyData(kAudioObjectSystemObject, CA::addr(kOutputRoutes), 0, nullptr,
                                     sizeof table, &table),
                  kAudioNoError);
    }
    // Whether the process's streams play on these sinks, in their order.
    bool playsOn(pid_t pid, const std::vector<std::string>& sinks) const {
        return eventually([&] { return server.sinksOfClientPid(pid) == sinks; });
    }
    // Stays on this sink for a while (nothing moves it).
    bool staysOn(pid_t pid, const std::string& sink) const {
        std::this_thread::sleep_for(300ms);
        return server.sinkOfClientPid(pid) == sink;
    }
    // The module that made the "headphones" sink.
    std::string headphonesModule() const {
        const std::string list = server.pactl("list short modules");
        std::smatch match;
        const std::regex line(R"((\d+)\s+module-null-sink\s+sink_name=headphones)");
        return std::regex_search(list, match, line) ? match[1].str() : std::string();
    }
};

TEST_F(OutputRoute, StreamsPlayWhereTheirRouteSaysUntilItGoes) {
    server.pactl("set-default-source headphones.monitor");
    Recorder speakers(server.address(), "speakers.monitor");
    Recorder headphones(server.address(), "headphones.monitor");
    auto hw = connect();
    ASSERT_TRUE(hw);
    // What the outputs are called: the sinks, never a tap sink.
    std::vector<std::string> outputs;
    for (const AudioObjectID id : CA::ids(*hw, kAudioObjectSystemObject, kOutputDeviceList)) {
        outputs.push_back(CA::string(*hw, id, kDeviceUID).value_or("?"));
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(outputs, (std::vector<std::string>{"headphones", "speakers"}));

    // A new stream of a routed application: how much of it the default
    // output hears before it moves.
    route(*hw, {{kPaplay, "headphones"}, {std::string(kCallStreamsBundleID), "headphones"}});
    const std::size_t before = speakers.samples().size();
    auto song = paplay(0.5);
    ASSERT_TRUE(playsOn(song->pid(), {"headphones"}));
    const double direct = settledLevel(headphones);
    ASSERT_GT(direct, 0.2);
    const auto onDefault = speakers.levels(before, 10);
    const auto heard = std::count_if(onDefault.begin(), onDefault.end(),
                                     [&](double level) { return level > 0.05 * direct; });
    std::printf("the routed stream's first sound on the default output: %ld ms\n",
                static_cast<long>(heard * 10));
    EXPECT_LE(heard * 10, 100);
    // A player no route names stays; of a player with a call stream, the
    // calls' route takes the call stream alone. Both silent.
    auto other = player({"--amplitude=0"});
    auto caller = player({"--amplitude=0", "--streams=2", "--last-role=phone"});
    EXPECT_TRUE(playsOn(caller->pid(), {"speakers", "headphones"}));
    EXPECT_TRUE(staysOn(other->pid(), "speakers"));
    const auto objects = objectsOf(*hw, song->pid());
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(CA::string(*hw, objects.front(), kProcessOutputDevice), "headphones");

    // Another mixer's move is followed and shown, not undone.
    ASSERT_TRUE(server.moveStreamOfClientPid(song->pid(), "speakers"));
    EXPECT_TRUE(staysOn(song->pid(), "speakers"));
    EXPECT_TRUE(eventually(
        [&] { return CA::string(*hw, objects.front(), kProcessOutputDevice) == "speakers"; }));
    // Routed elsewhere and back: the route's choice again.
    route(*hw, {{kPaplay, "speakers"}});
    route(*hw, {{kPaplay, "headphones"}});
    ASSERT_TRUE(playsOn(song->pid(), {"headphones"}));

    // Lowered: the replay plays on the route's sink, and once the tap ends
    // the application's stream goes back there, not to the default.
    {
        auto session = tap(*hw, song->pid(), 0.25f);
        ASSERT_TRUE(eventually([&] { return tapped(song->pid()); }));
        EXPECT_TRUE(playsOn(::getpid(), {"headphones"}));
        EXPECT_TRUE(eventually(
            [&] { return std::abs(headphones.level(100ms) - 0.25 * direct) < 0.03 * direct; }));
        EXPECT_LT(speakers.level(100ms), 0.01 * direct);
        // Shown where it is heard, not as our sink.
        EXPECT_EQ(CA::string(*hw, objects.front(), kProcessOutputDevice), "headphones");
    }
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));

    // The route's sink goes: the default meanwhile; it comes back: so does
    // the stream. Unrouted while the sink is away, it stays on the default
    // when the sink comes back.
    const auto unplug = [&] {
        server.pactl("unload-module " + headphonesModule());
        EXPECT_TRUE(playsOn(song->pid(), {"speakers"}));
    };
    const auto plug = [&] {
        server.pactl("load-module module-null-sink sink_name=headphones format=float32le "
                     "rate=48000 channels=2");
    };
    unplug();
    plug();
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));
    unplug();
    route(*hw, {});
    plug();
    EXPECT_TRUE(staysOn(song->pid(), "speakers"));

    // No route: back on the default, and along with a change of it.
    route(*hw, {{kPaplay, "headphones"}});
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));
    route(*hw, {});
    EXPECT_TRUE(playsOn(song->pid(), {"speakers"}));
    server.pactl("set-default-sink headphones");
    EXPECT_TRUE(playsOn(song->pid(), {"headphones"}));
    EXPECT_TRUE(playsOn(caller->pid(), {"headphones", "headphones"}));
    server.pactl("set-default-sink speakers");
    EXPECT_TRUE(playsOn(song->pid(), {"speakers"}));

    // Quitting moves nothing; the stream memory names only what a user
    // chose in a mixer (the speakers, above), never the route's sink.
    route(*hw, {{kPaplay, "headphones"}});
    ASSERT_TRUE(playsOn(song->pid(), {"headphones"}));
    const auto namesHeadphones = [&] {
        const auto entries = server.restoredDevices();
        return std::any_of(entries.begin(), entries.end(),
                           [](const auto& entry) { return entry.second == "headphones"; });
    };
    EXPECT_TRUE(eventually([&] { return !namesHeadphones(); }, 1s));
    hw.reset();
    EXPECT_TRUE(staysOn(song->pid(), "headphones"));
    EXPECT_EQ(server.sinkOfClientPid(other->pid()), "speakers");
    EXPECT_FALSE(namesHeadphones());
}

}  // namespace
}  // namespace morvale::pulse::testing
