#include <gtest/gtest.h>

#include "model/ModelFixture.h"
#include "model/Settings.h"

namespace morvale::testing {
namespace {

using D = PlistValue::Dict;

TEST(ModelState, FirstStartWithNothingStored) {
    ModelFixture f;
    const auto model = f.makeModel();
    EXPECT_TRUE(model->volumes().empty());
    EXPECT_EQ(model->duckBoostDB(), 0.0);
    EXPECT_EQ(model->volume("org.example.Player"), 1.0);
    EXPECT_EQ(f.sim.settings.standardStore.value("migrated"), PlistValue(true));
    EXPECT_FALSE(model->errorText().has_value());
}

TEST(ModelState, MigratesTheLegacySuiteOnceAndLeavesItUntouched) {
    ModelFixture f;
    auto* legacy = f.sim.settings.suiteStore(Settings::kLegacySuite);
    legacy->values = D{{"volumes", D{{"org.example.Player", 0.4}}}, {"duckBoostDB", 9.0}};
    const PlistValue::Dict before = legacy->values;

    const auto model = f.makeModel();
    EXPECT_EQ(model->volumes(), (Volumes{{"org.example.Player", 0.4}}));
    EXPECT_EQ(model->duckBoostDB(), 9.0);
    EXPECT_EQ(f.sim.settings.standardStore.value("migrated"), PlistValue(true));
    EXPECT_EQ(legacy->values, before);

    // A second start does not copy again, even when the legacy values changed.
    legacy->values = D{{"volumes", D{{"other", 0.1}}}};
    EXPECT_EQ(f.makeModel()->volumes(), (Volumes{{"org.example.Player", 0.4}}));
}

TEST(ModelState, MigrationConditions) {
    struct Case {
        const char* what;
        std::optional<PlistValue> migrated;
        bool suitesOpen;
        bool failWrites;
        Volumes volumes;
        std::optional<PlistValue> migratedAfter;
    };
    const Volumes legacyVolumes{{"a", 0.5}};
    const Case cases[] = {
        {"stored false still counts as migrated", PlistValue(false), true, false, {}, PlistValue(false)},
        {"suite cannot be opened: retried next start", std::nullopt, false, false, {}, std::nullopt},
        {"copy not saved: retried next start", std::nullopt, true, true, {}, std::nullopt},
        {"migrates", std::nullopt, true, false, legacyVolumes, PlistValue(true)},
    };
    for (const Case& c : cases) {
        ModelFixture f;
        f.sim.settings.suiteStore(Settings::kLegacySuite)->values = D{{"volumes", D{{"a", 0.5}}}};
        f.sim.settings.suitesOpen = c.suitesOpen;
        if (c.migrated) {
            f.sim.settings.standardStore.values.emplace("migrated", *c.migrated);
        }
        if (c.failWrites) {
            f.sim.settings.standardStore.failWritesWith = "Couldn't save settings: disk full";
        }
        const auto model = f.makeModel();
        EXPECT_EQ(model->volumes(), c.volumes) << c.what;
        EXPECT_EQ(f.sim.settings.standardStore.value("migrated"), c.migratedAfter) << c.what;
        EXPECT_EQ(model->errorText().has_value(), c.failWrites) << c.what;
    }
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
    const std::string tapFailed = "Couldn't create tap (error -50)";
    const std::string setAside = "Couldn't read settings; kept as settings.json.corrupt";
    struct Case {
        const char* what;
        std::function<void(ModelFixture&)> before;  // the model starts after this
        std::function<void(ModelFixture&, Model&)> steps;
        std::optional<std::string> shown;
    };
    const auto failSaves = [](ModelFixture& f, std::string why) {
        f.sim.settings.standardStore.failWritesWith = std::move(why);
    };
    const auto failTaps = [](ModelFixture& f) {
        f.sim.audio.injectFailure({sim::SimulatedAudioSystem::Call::createProcessTap, -50});
    };
    const Case cases[] = {
        {"a failed save, then the change starts a session",
         [&](ModelFixture& f) { failSaves(f, diskFull); },
         [&](ModelFixture&, Model& m) { m.setVolume(player, 0.5); }, diskFull},
        {"a failed save of the boost during a call",
         [&](ModelFixture& f) {
             f.addClient(40, "com.apple.FaceTime", "FaceTime", true);
             failSaves(f, diskFull);
         },
         [&](ModelFixture&, Model& m) { m.setDuckBoost(6); }, diskFull},
        {"settings set aside at start-up, and a stored volume starts a session",
         [&](ModelFixture& f) {
             f.sim.settings.problem = setAside;
             f.sim.settings.standardStore.values =
                 D{{"migrated", true}, {"volumes", D{{player, 0.5}}}};
         },
         [&](ModelFixture& f, Model& m) {
             EXPECT_EQ(f.sessionCount(m), 1u);
             f.tick();
         },
         setAside},
        {"settings that can't be read refuse every save",
         [&](ModelFixture& f) {
             f.sim.settings.problem = "Couldn't read settings: Is a directory";
             failSaves(f, "Couldn't save settings: settings.json can't be read");
         },
         [&](ModelFixture&, Model& m) { m.setVolume(player, 0.5); },
         "Couldn't save settings: settings.json can't be read"},
        {"a save that succeeds once the folder is writable again",
         [&](ModelFixture& f) { failSaves(f, "Couldn't save settings: Permission denied"); },
         [&](ModelFixture& f, Model& m) {
             m.setVolume(player, 0.5);
             f.sim.settings.standardStore.failWritesWith.reset();
             m.setVolume(player, 0.6);
         },
         std::nullopt},
        {"a settings problem under a session's failure shows once a session starts",
         [&](ModelFixture& f) {
             failSaves(f, diskFull);
             failTaps(f);
         },
         [&](ModelFixture& f, Model& m) {
             m.setVolume(player, 0.5);
             EXPECT_EQ(m.errorText(), tapFailed);
             f.sim.audio.clearFailures();
             f.tick();
         },
         diskFull},
        {"a session's failure repeated at each refresh stays under a newer problem",
         [&](ModelFixture& f) { failTaps(f); },
         [&](ModelFixture& f, Model& m) {
             m.setVolume(player, 0.5);
             failSaves(f, diskFull);
             m.setDuckBoost(3);
             f.tick();
         },
         diskFull},
    };
    for (const Case& c : cases) {
        ModelFixture f;
        f.addClient(10, player, "Player", true);
        c.before(f);
        const auto model = f.makeModel();
        c.steps(f, *model);
        EXPECT_EQ(model->errorText(), c.shown) << c.what;
    }
}

TEST(ModelState, SettingsSurviveARestart) {
    ModelFixture f;
    f.makeModel()->setVolume("org.example.Player", 0.3);
    f.makeModel()->setDuckBoost(12);
    const auto restarted = f.makeModel();
    EXPECT_EQ(restarted->volume("org.example.Player"), 0.3);
    EXPECT_EQ(restarted->duckBoostDB(), 12.0);
}

TEST(ModelState, AFailedSaveIsShownAndKeepsWhatWasStored) {
    ModelFixture f;
    f.makeModel()->setVolume("org.example.Player", 0.3);
    f.sim.settings.standardStore.failWritesWith = "Couldn't save settings: No space left on device";
    const auto model = f.makeModel();
    model->setVolume("org.example.Player", 0.6);
    EXPECT_EQ(model->errorText(), "Couldn't save settings: No space left on device");
    EXPECT_EQ(model->volume("org.example.Player"), 0.6);  // the session follows the user
    EXPECT_EQ(f.sim.settings.standardStore.value("volumes"),
              PlistValue(D{{"org.example.Player", 0.3}}));
}

TEST(ModelState, EachAssignmentOfAPublishedValueNotifiesOnce) {
    ModelFixture f;
    const auto model = f.makeModel();
    int notifications = 0;
    const auto subscription = model->objectWillChange().subscribe([&] { ++notifications; });

    struct Step {
        const char* what;
        std::function<void()> action;
        int notifications;
    };
    const Step steps[] = {
        {"refresh publishes entries", [&] { model->refresh(); }, 1},
        {"setVolume: volumes", [&] { model->setVolume("x", 0.5); }, 1},
        {"removing an absent key still notifies", [&] { model->setVolume("y", 1.0); }, 1},
        {"setDuckBoost: boost, then the refresh", [&] { model->setDuckBoost(3); }, 2},
        {"toggleLaunchAtLogin: the re-read status", [&] { model->toggleLaunchAtLogin(); }, 1},
        {"a timer tick refreshes", [&] { f.tick(); }, 1},
    };
    for (const Step& step : steps) {
        notifications = 0;
        step.action();
        EXPECT_EQ(notifications, step.notifications) << step.what;
    }
}

TEST(ModelState, ToggleLaunchAtLoginActsOnTheCurrentStatus) {
    struct Case {
        const char* what;
        LoginItemStatus before;
        std::optional<std::string> failure;
        LoginItemStatus afterRegister;
        bool registers;
        bool launchAtLogin;
    };
    const Case cases[] = {
        {"enabled: unregisters", LoginItemStatus::enabled, std::nullopt, LoginItemStatus::enabled,
         false, false},
        {"not registered: registers", LoginItemStatus::notRegistered, std::nullopt,
         LoginItemStatus::enabled, true, true},
        {"awaiting approval: registers", LoginItemStatus::requiresApproval, std::nullopt,
         LoginItemStatus::requiresApproval, true, false},
        {"registration fails", LoginItemStatus::notFound, "Couldn't write the autostart entry",
         LoginItemStatus::enabled, true, false},
    };
    for (const Case& c : cases) {
        ModelFixture f;
        f.sim.loginItem.current = c.before;
        f.sim.loginItem.afterRegister = c.afterRegister;
        f.sim.loginItem.failRegisterWith = c.failure;
        const auto model = f.makeModel();
        EXPECT_EQ(model->launchAtLogin(), c.before == LoginItemStatus::enabled) << c.what;
        model->toggleLaunchAtLogin();
        EXPECT_EQ(f.sim.loginItem.registerCalls, c.registers ? 1 : 0) << c.what;
        EXPECT_EQ(f.sim.loginItem.unregisterCalls, c.registers ? 0 : 1) << c.what;
        EXPECT_EQ(model->launchAtLogin(), c.launchAtLogin) << c.what;
        EXPECT_EQ(model->errorText(), c.failure) << c.what;
    }
}

TEST(ModelState, ANewerLoginFailureReplacesTheOlderAndASuccessKeepsIt) {
    ModelFixture f;
    const auto model = f.makeModel();
    f.sim.loginItem.failRegisterWith = "first";
    model->toggleLaunchAtLogin();
    f.sim.loginItem.failRegisterWith = "second";
    model->toggleLaunchAtLogin();
    EXPECT_EQ(model->errorText(), "second");
    f.sim.loginItem.failRegisterWith.reset();
    model->toggleLaunchAtLogin();
    EXPECT_TRUE(model->launchAtLogin());
    EXPECT_EQ(model->errorText(), "second");
}

}  // namespace
}  // namespace morvale::testing
