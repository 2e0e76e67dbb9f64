// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "GraphBuilder.h"
#include "platform/CallGroup.h"
#include "platform/pipewire/GainPlan.h"
#include "platform/pipewire/memory/StreamKey.h"

namespace morvale::pipewire {
namespace {

using Builder = testing::GraphBuilder;

// Pid 100 is firefox.desktop, 200 is known by its name "mpv", 300 not yet known.
std::optional<pulse::ProcessIdentity> identityOf(const PwGraph::Process& p) {
    if (p.pid == 100) return pulse::ProcessIdentity{"firefox.desktop", {}};
    if (p.pid == 200) return pulse::ProcessIdentity{std::nullopt, "mpv"};
    return std::nullopt;
}

std::string keyOf(const PwNode& node) {
    const auto key = streamKey(node.memoryProperties, WirePlumberVersion{});
    return key ? key->text : std::string();
}

GainStage stage(AudioObjectID id, float gain, std::vector<AudioObjectID> processes,
                std::vector<std::string> bundleIDs = {}, std::vector<std::string> names = {}) {
    GainStage s;
    s.id = id;
    s.gain = gain;
    s.description.processes = std::move(processes);
    s.description.bundleIDs = std::move(bundleIDs);
    s.description.processNames = std::move(names);
    return s;
}

// Streams: 1 firefox music, 2 firefox call, 3 mpv, 4 pid 300.
Builder fourStreams() {
    Builder b;
    b.client(10, 100);
    b.client(11, 200);
    b.client(12, 300);
    b.play(1, 10);
    b.play(2, 10, true, /*communication=*/true);
    b.play(3, 11);
    b.play(4, 12);
    return b;
}

TEST(GainPlan, StagesHoldTheStreamsOfTheProcessesTheyName) {
    const Builder b = fourStreams();
    const AudioObjectID firefox = b.find(100)->id;
    const AudioObjectID firefoxCall = b.find(100, true)->id;
    const AudioObjectID mpv = b.find(200)->id;
    struct Case {
        const char* what;
        GainStage stage;
        std::map<std::uint32_t, float> gains;
    };
    const std::vector<Case> cases{
        {"by process object: its other streams, not its call", stage(900, 0.25f, {firefox}),
         {{1, 0.25f}}},
        {"by call object: the call stream only", stage(900, 2.0f, {firefoxCall}), {{2, 2.0f}}},
        {"by bundle ID", stage(900, 0.5f, {}, {"firefox.desktop"}), {{1, 0.5f}}},
        {"by the call streams' bundle ID", stage(900, 2.0f, {}, {std::string(kCallStreamsBundleID)}),
         {{2, 2.0f}}},
        {"by process name of a process without bundle ID", stage(900, 0.0f, {}, {}, {"mpv"}),
         {{3, 0.0f}}},
        {"a name does not match a process that has a bundle ID",
         stage(900, 0.5f, {}, {}, {"firefox"}), {}},
        {"a process not yet identified waits", stage(900, 0.5f, {}, {"other.desktop"}), {}},
        {"several processes", stage(900, 0.1f, {firefox, mpv}), {{1, 0.1f}, {3, 0.1f}}},
    };
    for (const auto& c : cases) {
        const GainPlan plan =
            planGains(b.graph, {{c.stage.id, c.stage}}, &identityOf, {}, &keyOf);
        EXPECT_EQ(plan.gains, c.gains) << c.what;
    }
}

TEST(GainPlan, TheFirstStageThatClaimsAStreamHoldsIt) {
    const Builder b = fourStreams();
    const AudioObjectID firefox = b.find(100)->id;
    const GainPlan plan = planGains(
        b.graph, {{901, stage(901, 0.5f, {}, {"firefox.desktop"})}, {900, stage(900, 0.2f, {firefox})}},
        &identityOf, {}, &keyOf);
    EXPECT_EQ(plan.gains, (std::map<std::uint32_t, float>{{1, 0.2f}}));
    EXPECT_EQ(plan.stageOf.at(1), 900u);
}

// WirePlumber restores a stored volume onto every stream with the same key:
// another application's stream with a key we lowered is held at 1.0.
TEST(GainPlan, OtherStreamsSharingALoweredKeyAreHeldAtFullLevel) {
    Builder b = fourStreams();
    const AudioObjectID firefox = b.find(100)->id;
    const std::string firefoxKey = keyOf(*b.graph.node(1));
    ASSERT_EQ(firefoxKey, "Output/Audio:application.name:app10");
    // mpv's stream shares firefox's key.
    PwNode mpv = *b.graph.node(3);
    mpv.memoryProperties = b.graph.node(1)->memoryProperties;
    b.graph.put(mpv);
    const GainPlan plan = planGains(b.graph, {{900, stage(900, 0.3f, {firefox})}}, &identityOf,
                                    {firefoxKey}, &keyOf);
    // Firefox's own call stream shares its key too, and is not the stage's.
    EXPECT_EQ(plan.gains, (std::map<std::uint32_t, float>{{1, 0.3f}, {2, 1.0f}, {3, 1.0f}}));
    EXPECT_FALSE(plan.stageOf.contains(3));
    // With no stage left, the key still holds it: WirePlumber still stores our value.
    const GainPlan after = planGains(b.graph, {}, &identityOf, {firefoxKey}, &keyOf);
    EXPECT_EQ(after.gains, (std::map<std::uint32_t, float>{{1, 1.0f}, {2, 1.0f}, {3, 1.0f}}));
}

}  // namespace
}  // namespace morvale::pipewire
