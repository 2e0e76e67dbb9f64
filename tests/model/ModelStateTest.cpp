#include <gtest/gtest.h>

#include "model/ModelFixture.h"
#include "model/Settings.h"

namespace morvale::testing {
namespace {

using D = PlistValue::Dict;

// The legacy suite's values are copied once, on the first start that can read
// it and save the copy, and the suite is left as it was.
TEST(ModelState, MigratesTheLegacySuiteOnce) {
    const D legacyValues{{"volumes", D{{"a", 0.5}}}, {"duckBoostDB", 9.0}};
    const struct {
        const char* what;
        bool suitesOpen, failWrites;
        D legacy;
    } cases[] = {
        {"nothing stored", true, false, {}},
        {"migrates", true, false, legacyValues},
        {"suite cannot be opened: retried next start", false, false, legacyValues},
        {"copy not saved: retried next start", true, true, legacyValues},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool migrated = c.suitesOpen && !c.failWrites, copied = migrated && !c.legacy.empty();
        ModelFixture f;
        auto* legacy = f.sim.settings.suiteStore(Settings::kLegacySuite);
        legacy->values = c.legacy;
        f.sim.settings.suitesOpen = c.suitesOpen;
        if (c.failWrites) {
            f.sim.settings.standardStore.failWritesWith = "Couldn't save settings: disk full";
        }
        const auto model = f.makeModel();
        EXPECT_EQ(model->volumes(), (copied ? Volumes{{"a", 0.5}} : Volumes{}));
        EXPECT_EQ(model->duckBoostDB(), copied ? 9.0 : 0.0);
        EXPECT_EQ(f.sim.settings.standardStore.value("migrated").has_value(), migrated);
        EXPECT_EQ(model->errorText().has_value(), c.failWrites);
        EXPECT_EQ(legacy->values, c.legacy);

        // A later start does not copy again, even when the legacy values changed.
        legacy->values = D{{"volumes", D{{"other", 0.1}}}};
        if (migrated) {
            EXPECT_EQ(f.makeModel()->volumes(), model->volumes());
        }
    }
    ModelFixture f;  // any stored mark counts, even false
    f.sim.settings.standardStore.values.emplace("migrated", false);
    f.sim.settings.suiteStore(Settings::kLegacySuite)->values = legacyValues;
    EXPECT_TRUE(f.makeModel()->volumes().empty());
}

// Volumes that can't be used load as none, all or nothing; a copy of them is
// kept (and named on the error line) before anything replaces them.
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
    ASSERT_EQ(store.keptCopies.size(), 1u);
    EXPECT_EQ(store.keptCopies[0].at("volumes"), volumes);
    EXPECT_NE(model->errorText()->find("kept as copy 1"), std::string::npos);
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
}

// Volumes (a reset to full too) and the boost survive a restart; a save that
// fails is shown, keeps what was stored, and the session follows the user.
TEST(ModelState, SettingsSurviveARestartAndAFailedSaveKeepsWhatWasStored) {
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

    f.sim.settings.standardStore.failWritesWith = "Couldn't save settings: No space left on device";
    restarted->setVolume(player, 0.6);
    EXPECT_EQ(restarted->errorText(), "Couldn't save settings: No space left on device");
    EXPECT_EQ(restarted->volume(player), 0.6);
    EXPECT_EQ(f.sim.settings.standardStore.value("volumes"), PlistValue(D{{player, 0.3}}));
}

TEST(ModelState, ToggleLaunchAtLoginActsOnTheCurrentStatus) {
    using S = LoginItemStatus;
    const struct {
        S before, afterRegister;
        std::optional<std::string> failure;
        bool registers, launchAtLogin;
    } cases[] = {
        {S::enabled, S::enabled, std::nullopt, false, false},
        {S::notRegistered, S::enabled, std::nullopt, true, true},
        {S::requiresApproval, S::requiresApproval, std::nullopt, true, false},
        {S::notFound, S::enabled, "Couldn't write the autostart entry", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.before));
        ModelFixture f;
        f.sim.loginItem.current = c.before;
        f.sim.loginItem.afterRegister = c.afterRegister;
        f.sim.loginItem.failRegisterWith = c.failure;
        const auto model = f.makeModel();
        EXPECT_EQ(model->launchAtLogin(), c.before == S::enabled);
        model->toggleLaunchAtLogin();
        EXPECT_EQ(f.sim.loginItem.registerCalls, c.registers ? 1 : 0);
        EXPECT_EQ(f.sim.loginItem.unregisterCalls, c.registers ? 0 : 1);
        EXPECT_EQ(model->launchAtLogin(), c.launchAtLogin);
        EXPECT_EQ(model->errorText(), c.failure);
    }
}

}  // namespace
}  // namespace morvale::testing
