// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "model/ModelFixture.h"
#include "model/Settings.h"

namespace morvale::testing {
namespace {

using D = PlistValue::Dict;

// A user's volumes and boost are copied from the legacy suite on the first
// start that can save the copy, which leaves the suite as it was; a later
// start never copies again over what the user has since set.
TEST(ModelState, MigratesTheLegacySuiteOnceItsCopyIsSaved) {
    ModelFixture f;
    auto& store = f.sim.settings.standardStore;
    auto* legacy = f.sim.settings.suiteStore(Settings::kLegacySuite);
    const D legacyValues{{"volumes", D{{"a", 0.5}}}, {"duckBoostDB", 9.0}};
    legacy->values = legacyValues;
    store.failWritesWith = "Couldn't save settings: disk full";
    EXPECT_TRUE(f.makeModel()->errorText().has_value());
    EXPECT_FALSE(store.value("migrated").has_value());

    store.failWritesWith.reset();
    const auto model = f.makeModel();
    EXPECT_EQ(model->volumes(), (Volumes{{"a", 0.5}}));
    EXPECT_EQ(model->duckBoostDB(), 9.0);
    EXPECT_EQ(legacy->values, legacyValues);

    legacy->values = D{{"volumes", D{{"other", 0.1}}}};
    EXPECT_EQ(f.makeModel()->volumes(), model->volumes());
}

// Volumes that can't be used load as none, all or nothing, and are not
// replaced while no copy of them can be kept (the copy itself, and its name
// on the error line, are the settings files' to show).
TEST(ModelState, WrongTypedSettingsLoadAsDefaultsAndAreKeptBeforeBeingReplaced) {
    const std::string player = "org.example.Player";
    const PlistValue volumes(D{{player, 0.5}, {"bad", "0.3"}});
    ModelFixture f;
    auto& store = f.sim.settings.standardStore;
    store.values = D{{"migrated", true}, {"volumes", volumes}, {"duckBoostDB", "6"}};
    store.failCopiesWith = "Read-only file system";
    const auto model = f.makeModel();
    EXPECT_TRUE(model->volumes().empty());
    EXPECT_EQ(model->duckBoostDB(), 0.0);

    // Without a copy of them the stored volumes are not replaced.
    model->setVolume(player, 0.7);
    EXPECT_EQ(store.values.at("volumes"), volumes);
    ASSERT_TRUE(model->errorText());
    EXPECT_NE(model->errorText()->find("Read-only file system"), std::string::npos);

    store.failCopiesWith.reset();
    model->setVolume(player, 0.6);
    EXPECT_EQ(store.values.at("volumes"), PlistValue(D{{player, 0.6}}));
    EXPECT_EQ(store.values.at("duckBoostDB"), PlistValue("6"));  // until the user sets one
    EXPECT_EQ(store.keptCopies.size(), 1u);
}

// The error line: a settings problem stays until a change made after it is
// saved, a session's failure until a session starts; the newest standing
// problem shows, and none is lost to a success of another kind.
TEST(ModelState, EachErrorStaysUntilItsOwnRemedy) {
    const std::string player = "org.example.Player";
    const std::string diskFull = "Couldn't save settings: No space left on device";
    struct Start : ModelFixture {
        std::unique_ptr<Model> model;
        Start(std::optional<std::string> saveFailure, bool tapFails) {
            addClient(10, "org.example.Player", "Player", true);
            sim.settings.standardStore.failWritesWith = std::move(saveFailure);
            if (tapFails) {
                sim.audio.injectFailure({sim::SimulatedAudioSystem::Call::createProcessTap, -50});
            }
            model = makeModel();
        }
    };
    {  // a save that succeeds once the folder is writable again
        Start s("Couldn't save settings: Permission denied", false);
        s.model->setVolume(player, 0.5);
        s.sim.settings.standardStore.failWritesWith.reset();
        s.model->setVolume(player, 0.6);
        EXPECT_EQ(s.model->errorText(), std::nullopt);
    }
    {  // a settings problem under a session's failure shows once a session starts
        Start s(diskFull, true);
        s.model->setVolume(player, 0.5);
        EXPECT_EQ(s.model->errorText(), "Couldn't create tap (error -50)");
        s.sim.audio.clearFailures();
        s.tick();
        EXPECT_EQ(s.model->errorText(), diskFull);
    }
    {  // a session's failure repeated at each refresh stays under a newer problem
        Start s(std::nullopt, true);
        s.model->setVolume(player, 0.5);
        s.sim.settings.standardStore.failWritesWith = diskFull;
        s.model->setDuckBoost(3);
        s.tick();
        EXPECT_EQ(s.model->errorText(), diskFull);
    }
    // A lost sound server shows until it is back, and then what stands under
    // it shows again.
    const std::string lost = "Lost the connection to the sound server";
    for (const bool otherError : {false, true}) {
        Start s(std::nullopt, false);
        s.sim.audio.setAvailabilityProblem(lost);
        s.tick();
        EXPECT_EQ(s.model->errorText(), lost);
        const auto other = otherError ? std::optional(diskFull) : std::nullopt;
        s.sim.settings.standardStore.failWritesWith = other;
        s.model->setVolume(player, 0.5);
        s.sim.audio.setAvailabilityProblem(std::nullopt);
        s.tick();
        EXPECT_EQ(s.model->errorText(), other);
    }
}

// Volumes (a reset to full too) and the boost survive a restart. (A save that
// fails is the settings files' to keep whole, and the error line's to show.)
TEST(ModelState, SettingsSurviveARestart) {
    const std::string player = "org.example.Player", other = "org.example.Other";
    ModelFixture f;
    {
        const auto first = f.makeModel();
        first->setVolume(player, 0.3);
        first->setVolume(other, 0.4);
        first->setVolume(other, 1.0);
        first->setDuckBoost(12);
    }
    const auto restarted = f.makeModel();
    EXPECT_EQ(restarted->volume(player), 0.3);
    EXPECT_EQ(restarted->volume(other), 1.0);
    EXPECT_EQ(restarted->duckBoostDB(), 12.0);
}

}  // namespace
}  // namespace morvale::testing
