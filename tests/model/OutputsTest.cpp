// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "catalog/Grouping.h"
#include "model/ModelFixture.h"
#include "model/Settings.h"
#include "platform/linux/DesktopGrouping.h"
#include "platform/FourCC.h"

namespace morvale::testing {
namespace {

using D = PlistValue::Dict;
using L = PlistValue::List;
const std::string kRoutedApp = "org.example.Player";

struct Outputs : ModelFixture {
    AudioObjectID headphones = sim.audio.addOutputDevice("headphones");
    Outputs() {
        sim.audio.setDeviceName(speakers, "Speakers");
        sim.audio.setDeviceName(headphones, "Headphones");
        sim.settings.standardStore.values = D{{"migrated", true}};
    }
    PlistValue stored(std::string_view key) const {
        return sim.settings.standardStore.value(key).value_or(PlistValue());
    }
};

// Devices are listed by name, or by UID where they have none. A choice is
// stored and the process plays where it says; another mixer's move is shown
// and not fought (refreshes do not write the routes again) nor stored;
// clearing the choice removes the key and the process follows the default.
TEST(Outputs, AChoiceIsStoredAppliedNotFoughtAndClearedToFollowTheDefault) {
    Outputs f;
    f.sim.audio.addOutputDevice("hdmi");
    const AudioObjectID process = f.addClient(10, kRoutedApp, "Player", true);
    const auto model = f.makeModel();
    EXPECT_EQ(model->outputDevices(),
              (std::vector<Model::OutputDevice>{
                  {"speakers", "Speakers"}, {"headphones", "Headphones"}, {"hdmi", "hdmi"}}));
    EXPECT_EQ(f.sim.audio.outputRouteWrites(), 0) << "nothing routed, nothing asked";

    model->setOutput(kRoutedApp, "headphones");
    const PlistValue chosen(D{{kRoutedApp, "headphones"}});
    EXPECT_EQ(f.stored("outputs"), chosen);
    EXPECT_EQ(f.sim.audio.processOutput(process), "headphones");
    ASSERT_EQ(f.sim.audio.outputRoutes().size(), 1u);
    const OutputRoute route = f.sim.audio.outputRoutes()[0];
    EXPECT_EQ(route.streams.processes, std::vector<AudioObjectID>{process});
    EXPECT_EQ(route.streams.bundleIDs, std::vector<std::string>{kRoutedApp});

    const int writes = f.sim.audio.outputRouteWrites();
    f.sim.audio.moveProcessOutput(process, "speakers");
    f.tick();
    f.tick();
    EXPECT_EQ(f.sim.audio.outputRouteWrites(), writes);
    EXPECT_EQ(model->playingOutput(kRoutedApp), "speakers");
    EXPECT_EQ(model->chosenOutput(kRoutedApp), "headphones");
    EXPECT_EQ(f.stored("outputs"), chosen);

    model->setOutput(kRoutedApp, std::nullopt);
    EXPECT_EQ(f.stored("outputs"), PlistValue(D{}));
    EXPECT_TRUE(f.sim.audio.outputRoutes().empty());
    f.sim.audio.setDefaultOutputDevice(f.headphones);
    EXPECT_EQ(f.sim.audio.processOutput(process), "headphones") << "follows the default";
    EXPECT_EQ(model->playingOutput(kRoutedApp), "headphones");
}

// A remembered output carries over a restart, is kept while its device is
// away, and applies to a process that starts later, by who it is.
TEST(Outputs, ARememberedOutputOutlivesItsDeviceAndReachesNewProcesses) {
    Outputs f;
    f.sim.settings.standardStore.values["outputs"] = D{{kRoutedApp, "headphones"}, {"x", 3.0}};
    f.sim.audio.removeDevice(f.headphones);
    const auto model = f.makeModel();
    EXPECT_EQ(model->outputs(), (Settings::Outputs{{kRoutedApp, "headphones"}}));

    const AudioObjectID process = f.addClient(10, kRoutedApp, "Player", true);
    f.sim.mainQueue.drain();
    EXPECT_EQ(f.sim.audio.processOutput(process), "speakers") << "plays on the default meanwhile";
    EXPECT_EQ(model->chosenOutput(kRoutedApp), "headphones");

    f.sim.audio.addOutputDevice("headphones");
    f.tick();
    EXPECT_EQ(f.sim.audio.processOutput(process), "headphones");
    EXPECT_EQ(f.stored("outputs"), PlistValue(D{{kRoutedApp, "headphones"}, {"x", 3.0}}))
        << "loading alone writes nothing";
}

// Routes are handed over again when the rows' processes change, and a
// failure to set them is shown until they are set.
TEST(Outputs, RoutesFollowProcessesAndAFailureIsShownUntilTheyApply) {
    Outputs f;
    const auto model = f.makeModel();
    model->setOutput(kRoutedApp, "headphones");
    const AudioObjectID first = f.addClient(10, kRoutedApp, "Player", true);
    f.sim.audio.injectFailure({sim::SimulatedAudioSystem::Call::setPropertyData,
                               kAudioHardwareUnspecifiedError, kOutputRoutes,
                               kAudioObjectSystemObject, 1});
    f.sim.mainQueue.drain();
    EXPECT_TRUE(model->errorText().has_value());
    f.tick();
    EXPECT_FALSE(model->errorText().has_value());
    EXPECT_EQ(f.sim.audio.outputRoutes()[0].streams.processes, std::vector<AudioObjectID>{first});
}

// The call row routes its own objects only, and the call streams by their
// bundle ID where the platform has such objects.
TEST(Outputs, TheCallRowRoutesCallStreamsOnly) {
    Outputs f;
    f.sim.grouping = LinuxDesktop::desktopGrouping("Calls");
    const AudioObjectID call = f.sim.audio.addProcess(10, std::string(kCallStreamsBundleID), true);
    f.addClient(10, kRoutedApp, "Player", true);
    const auto model = f.makeModel();
    model->setOutput(std::string(Grouping::callRowKey), "headphones");
    ASSERT_EQ(f.sim.audio.outputRoutes().size(), 1u);
    const OutputRoute route = f.sim.audio.outputRoutes()[0];
    EXPECT_EQ(route.streams.processes, std::vector<AudioObjectID>{call});
    EXPECT_EQ(route.streams.bundleIDs, std::vector<std::string>{std::string(kCallStreamsBundleID)});
    EXPECT_TRUE(route.streams.processNames.empty());
}

TEST(Outputs, HiddenKeysAreStoredAsAListAndBadEntriesAreLeftOut) {
    Outputs f;
    f.sim.settings.standardStore.values["hidden"] = L{"proc:beep", 4.0, "org.example.Launcher"};
    const auto model = f.makeModel();
    EXPECT_TRUE(model->isHidden("proc:beep"));
    model->setHidden("proc:beep", false);
    model->setHidden(kRoutedApp, true);
    EXPECT_EQ(f.stored("hidden"), PlistValue(L{"org.example.Launcher", kRoutedApp}));
    // Hiding changes nothing of the volume or the sessions.
    f.addClient(10, kRoutedApp, "Player", true);
    f.sim.mainQueue.drain();
    model->setVolume(kRoutedApp, 0.5);
    EXPECT_TRUE(ModelFixture::outputLevel(*model, kRoutedApp).has_value());
}

// Files from before outputs and hidden rows load as they did; a table of the
// wrong kind costs only itself.
TEST(Outputs, OlderAndDamagedFilesLoadTheirVolumesUnchanged) {
    struct Case {
        const char* what;
        D extra;
        Settings::Outputs outputs;
        std::size_t hidden;
    };
    const Case cases[] = {
        {"no new keys", {}, {}, 0},
        {"outputs not a table", D{{"outputs", L{"a"}}, {"hidden", "a"}}, {}, 0},
        {"one output empty", D{{"outputs", D{{"a", ""}, {"b", "hp"}}}}, {{"b", "hp"}}, 0},
    };
    for (const Case& c : cases) {
        Outputs f;
        auto& values = f.sim.settings.standardStore.values;
        values["volumes"] = D{{kRoutedApp, 0.25}};
        values.insert(c.extra.begin(), c.extra.end());
        const auto model = f.makeModel();
        EXPECT_EQ(model->volumes(), (Volumes{{kRoutedApp, 0.25}})) << c.what;
        EXPECT_EQ(model->outputs(), c.outputs) << c.what;
        EXPECT_EQ(model->hiddenKeys().size(), c.hidden) << c.what;
        EXPECT_FALSE(model->errorText().has_value()) << c.what;
    }
}

}  // namespace
}  // namespace morvale::testing
