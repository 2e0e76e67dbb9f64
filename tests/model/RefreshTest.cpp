// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "catalog/Entries.h"
#include "model/ModelFixture.h"

namespace morvale::testing {
namespace {

struct Row {
    std::string id;
    std::string name;
    std::vector<AudioObjectID> objects;
    bool playing;
    friend bool operator==(const Row&, const Row&) = default;
};

std::vector<Row> rows(const Model& model) {
    std::vector<Row> out;
    for (const AppEntry& e : model.entries()) {
        out.push_back({e.id, e.name, e.objects, e.isPlaying});
    }
    return out;
}

struct Refresh : ::testing::Test {
    ModelFixture f;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << "{" << r.id << ", " << r.name << ", " << r.objects.size() << " objects, "
        << (r.playing ? "playing" : "silent") << "}";
}

// One row per application, with its processes' objects in ascending order
// whatever order the snapshot lists them in, playing when any of them plays;
// processes without an identifier are grouped by name.
TEST_F(Refresh, GroupsProcessesIntoRowsFaceTimeFirstThenPlayingThenTheRestByName) {
    f.sim.workspace.applicationPaths = {{"org.example.Zed", "/apps/Zed.desktop"},
                                        {"org.example.beta", "/apps/Beta.app"}};
    f.sim.workspace.displayNames = {{"/apps/Zed.desktop", "Zed"}};
    f.sim.processes.shortNames = {{30, "daemon"}, {40, "mpv"}, {41, "mpv"}, {90, "later"}};
    const auto zed = f.addClient(10, "org.example.Zed", "Zed", true);
    const auto beta = f.addClient(20, "org.example.beta", "beta", false);
    f.addClient(30, std::nullopt, "", false, /*regular=*/false);  // silent background: no row
    const auto mpv = f.addClient(40, std::nullopt, "", true, /*regular=*/false);
    const auto mpv2 = f.addClient(41, std::nullopt, "", false, /*regular=*/false);
    f.sim.audio.moveProcessToFront(mpv2);
    const auto alpha = f.addClient(50, "org.example.alpha", "alpha", false);
    const auto ft = f.addClient(60, "com.apple.FaceTime", "FaceTime", false);
    // Silent accessories (not ordinary applications): a row only with a stored volume.
    f.sim.processes.applications[70] = RunningApplication{"Tray", ActivationPolicy::accessory};
    f.sim.processes.applications[80] = RunningApplication{"Keeper", ActivationPolicy::accessory};
    f.sim.audio.addProcess(70, "org.example.Tray", false);
    const auto keeper = f.sim.audio.addProcess(80, "org.example.Keeper", false);
    f.sim.settings.standardStore.values =
        PlistValue::Dict{{"volumes", PlistValue::Dict{{"org.example.Keeper", 0.5}}}};
    // A group is an ordinary application's when any member is, not only its first.
    const auto laterHelper = f.addClient(90, "org.example.Later", "", false, /*regular=*/false);
    const auto laterApp = f.addClient(91, "org.example.Later", "Later", false);

    const auto model = f.makeModel();
    EXPECT_EQ(rows(*model), (std::vector<Row>{
                                {"facetime", "FaceTime", {ft}, false},
                                {"proc:mpv", "mpv", {mpv, mpv2}, true},
                                {"org.example.Zed", "Zed", {zed}, true},
                                {"org.example.alpha", "alpha", {alpha}, false},
                                {"org.example.beta", "Beta", {beta}, false},
                                {"org.example.Keeper", "Keeper", {keeper}, false},
                                {"org.example.Later", "later", {laterHelper, laterApp}, false},
                            }));
}

TEST_F(Refresh, RememberedKeysKeepTheirRowWhileNotRunning) {
    f.sim.workspace.applicationPaths = {{"org.example.Player", "/apps/Player.app"}};
    f.sim.processes.shortNames = {{10, "daemon"}, {20, "Mail Graphics and Media"}};
    const auto daemon = f.addClient(10, std::nullopt, "", false, /*regular=*/false);
    const auto mailHelper = f.addClient(20, "com.apple.WebKit.GPU", "", true, false);
    const auto model = f.makeModel();
    for (const char* key :
         {"org.example.Player", "proc:daemon", "proc:Mail", "org.example.Unknown"}) {
        model->setVolume(key, 0.5);
    }
    model->refresh();
    EXPECT_EQ(rows(*model), (std::vector<Row>{
                                {"facetime", "FaceTime", {}, false},
                                {"proc:Mail", "Mail Graphics and Media", {mailHelper}, true},
                                {"proc:daemon", "daemon", {daemon}, false},
                                {"org.example.Unknown", "org.example.Unknown", {}, false},
                                {"org.example.Player", "Player", {}, false},
                            }));
    // Not installed: the key is the name, with the generic icon.
    EXPECT_EQ(model->entries()[3].icon->kind, IconSource::Kind::genericApplication);
    EXPECT_EQ(model->entries()[4].icon->kind, IconSource::Kind::file);

    f.sim.audio.removeProcess(mailHelper);
    model->refresh();
    EXPECT_EQ(model->entries()[1].name, "daemon");
    EXPECT_EQ(model->entries()[2].name, "Mail");  // from the key once only remembered
}

// A name shows without bidirectional formatting and with its control
// characters in sight, but is keyed as it is: a name holding a newline keeps
// a row (and a volume) of its own.
TEST_F(Refresh, NamesShowWithoutWhatCouldMisleadAndKeepTheirOwnKeys) {
    f.sim.processes.shortNames = {
        {10, "player\nbox"}, {11, "player"}, {12, "\u202Etxt.exe"}, {13, "a\u2066b\u2069\u2028c"}};
    const auto box = f.addClient(10, std::nullopt, "", true, false);
    const auto player = f.addClient(11, std::nullopt, "", true, false);
    const auto override = f.addClient(12, std::nullopt, "", true, false);
    const auto isolate = f.addClient(13, std::nullopt, "", true, false);
    const auto model = f.makeModel();
    model->setVolume("proc:gone\u200F\t", 0.5);
    model->refresh();
    EXPECT_EQ(rows(*model), (std::vector<Row>{
                                {"facetime", "FaceTime", {}, false},
                                {"proc:a\u2066b\u2069\u2028c", "ab\uFFFDc", {isolate}, true},
                                {"proc:player", "player", {player}, true},
                                {"proc:player\nbox", "player\uFFFDbox", {box}, true},
                                {"proc:\u202Etxt.exe", "txt.exe", {override}, true},
                                {"proc:gone\u200F\t", "gone\uFFFD", {}, false},
                            }));
}

// Names are learnt once per key, but a row whose name comes from its process
// (no desktop entry names it) shows the process's name as it is now.
TEST_F(Refresh, ARowsNameFollowsTheProcessItIsNamedAfter) {
    const auto app = f.addClient(10, "org.example.beta", "beta", true);
    const auto model = f.makeModel();
    ASSERT_EQ(rows(*model)[1], (Row{"org.example.beta", "beta", {app}, true}));
    f.sim.processes.applications[10].localizedName = "Beta Nightly";
    model->refresh();
    EXPECT_EQ(rows(*model)[1], (Row{"org.example.beta", "Beta Nightly", {app}, true}));
    // Installed (or renamed) while it runs: the row learns the new name.
    f.sim.workspace.applicationPaths["org.example.beta"] = "/apps/beta.desktop";
    f.sim.workspace.displayNames["/apps/beta.desktop"] = "Beta Studio";
    ++f.sim.workspace.changes;
    model->refresh();
    EXPECT_EQ(rows(*model)[1].name, "Beta Studio");
}

// However many applications the settings remember, only so many of those not
// running get rows; one that runs gets its row whatever its place, and every
// volume stays.
TEST_F(Refresh, RemembersRowsOnlyUpToABound) {
    PlistValue::Dict volumes;
    for (int i = 1000; i < 2000; ++i) {
        volumes.emplace("proc:app" + std::to_string(i), 0.5);
    }
    f.sim.settings.standardStore.values =
        PlistValue::Dict{{"migrated", true}, {"volumes", volumes}};
    f.sim.processes.shortNames = {{10, "app1999"}};
    const auto last = f.addClient(10, std::nullopt, "", false, false);
    const auto model = f.makeModel();
    EXPECT_EQ(model->volumes().size(), 1000u);
    EXPECT_EQ(model->entries().size(), 1 + kMaxRememberedRows + 1);
    EXPECT_EQ(rows(*model).back(), (Row{"proc:app1999", "app1999", {last}, false}));
}

// The timer and the audio system's news each queue one refresh for a later
// turn of the main loop; news of a silent process starting to play never
// comes, so the timer brings it. A model that ends stops listening, and a
// refresh queued for it does nothing.
TEST_F(Refresh, RunsOnALaterTurnOfTheMainLoopForTheTimerAndForProcessNews) {
    auto model = f.makeModel();
    const auto player = f.addClient(10, "org.example.Player", "Player", false, false);
    f.addClient(11, "org.example.Player", "Player", false, false);
    EXPECT_EQ(f.sim.mainQueue.pending(), 1u);  // one refresh for both, not run inline
    f.sim.mainQueue.drain();
    EXPECT_EQ(model->entries().size(), 1u);  // silent background processes: no row

    f.sim.audio.setProcessPlaying(player, true);
    f.sim.timers.advance(Model::refreshInterval);
    EXPECT_EQ(f.sim.mainQueue.pending(), 1u);
    EXPECT_EQ(model->entries().size(), 1u);
    f.sim.mainQueue.drain();
    EXPECT_EQ(model->entries().size(), 2u);

    EXPECT_EQ(f.sim.audio.listenerCount(), 1u);
    f.sim.timers.advance(Model::refreshInterval);
    model.reset();
    EXPECT_EQ(f.sim.audio.listenerCount(), 0u);
    EXPECT_EQ(f.sim.mainQueue.drain(), 1);
    EXPECT_EQ(f.sim.timers.activeTimers(), 0u);
}

}  // namespace
}  // namespace morvale::testing
