// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <limits>
#include <map>

#include "TempDir.h"
#include "platform/linux/FileIo.h"
#include "platform/linux/Json.h"
#include "platform/linux/JsonSettingsStore.h"
#include "platform/sim/ModelTesting.h"
#include "platform/sim/SimPlatform.h"

namespace morvale::LinuxDesktop {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The folder is made on the way and, like the file, only its owner may read it.
TEST(SettingsStore, ValuesSurviveARestartInAPrivateFolder) {
    TempDir home;
    const auto folder = home / "config/morvale";
    const PlistValue volumes(PlistValue::Dict{{"firefox-esr.desktop", 0.25}, {"proc:mpv", 0.0}});
    {
        JsonSettingsStores stores(folder);
        EXPECT_FALSE(stores.standard().value("volumes"));
        EXPECT_EQ(stores.standard().setValue("volumes", 1.0), std::nullopt);  // replaced next
        EXPECT_EQ(stores.standard().setValue("volumes", volumes), std::nullopt);
    }
    using std::filesystem::perms, std::filesystem::status;
    EXPECT_EQ(status(folder).permissions(), perms::owner_all);
    EXPECT_EQ(status(folder / "settings.json").permissions(),
              perms::owner_read | perms::owner_write);
    JsonSettingsStores again(folder);
    EXPECT_EQ(again.standard().value("volumes"), volumes);
    EXPECT_EQ(again.loadProblem(), std::nullopt);
}

// A dragged slider: the model takes every step at once, the file sees a few
// writes, none later than half a second after its change, and quitting
// writes what is still waiting.
TEST(SettingsStore, ADragIsWrittenAFewTimesAndQuitWritesTheRest) {
    using std::chrono::milliseconds;
    TempDir home;
    sim::SimPlatform sim;
    int writes = 0;
    SettingsFileWriter writer = [&](const std::filesystem::path& file, std::string_view text) {
        ++writes;
        return replaceFileAtomically(file, text, 0600);
    };
    JsonSettingsStores stores(home.path(), writer, &sim.timers);
    const auto model = ModelTesting::make(sim.platformWith(stores));
    const auto stored = [&] { return JsonSettingsStores(home.path()).standard().value("volumes"); };
    sim.advance(milliseconds(1000));  // the first start's own write
    writes = 0;

    for (int step = 1; step <= 200; ++step) {
        model->setVolume("app", step / 1000.0);
        sim.advance(milliseconds(5));
        if (step == 100) {
            EXPECT_EQ(stored(), PlistValue(PlistValue::Dict{{"app", 0.1}}));
        }
    }
    model->setVolume("app", 0.25);
    EXPECT_LE(writes, 3);
    sim.termination.notifyWillTerminate();
    EXPECT_EQ(stored(), PlistValue(PlistValue::Dict{{"app", 0.25}}));
    EXPECT_LE(writes, 4);
}

// Stored volumes the model can't use survive a slider move: a copy beside the
// settings keeps them and the error line names it; a start that finds them
// again keeps no second copy.
TEST(SettingsStore, VolumesThatCantBeUsedAreKeptBesideBeforeBeingReplaced) {
    const char* text = R"({"volumes": {"proc:paplay": 0.5, "proc:firefox": "0.3"}})";
    TempDir home;
    writeFile(home / "settings.json", text);
    sim::SimPlatform sim;
    {
        JsonSettingsStores stores(home.path());
        ModelTesting::make(sim.platformWith(stores));
    }
    JsonSettingsStores stores(home.path());
    const auto model = ModelTesting::make(sim.platformWith(stores));
    const std::vector<std::string> files = filesIn(home.path());
    ASSERT_EQ(files.size(), 2u);
    const std::string& kept = files[1];  // after "settings.json"
    EXPECT_TRUE(kept.starts_with("settings.json.kept-"));
    ASSERT_TRUE(model->errorText());
    EXPECT_NE(model->errorText()->find(kept), std::string::npos);

    model->setVolume("proc:paplay", 0.3);
    EXPECT_EQ(JsonSettingsStores(home.path()).standard().value("volumes"),
              PlistValue(PlistValue::Dict{{"proc:paplay", 0.3}}));
    const JsonParse copy = parseJson(readFile(home / kept));
    ASSERT_TRUE(copy.value && copy.value->find("volumes"));
    EXPECT_EQ(*copy.value->find("volumes"), *parseJson(text).value->find("volumes"));
}

// Keys the loader does not know (as "outputs" and "hidden" are to the
// version before them, and a later version's to this one) cost nothing: the
// volumes load, nothing is reported, and writes keep those keys as they were.
TEST(SettingsStore, KeysOfOtherVersionsAreIgnoredAndKept) {
    const char* text = R"({"volumes": {"proc:paplay": 0.5}, "laterKey": {"a": [1, "b"]},
                          "outputs": {"proc:paplay": "headphones"}, "hidden": ["proc:beep"]})";
    TempDir home;
    writeFile(home / "settings.json", text);
    sim::SimPlatform sim;
    JsonSettingsStores stores(home.path());
    const auto model = ModelTesting::make(sim.platformWith(stores));
    EXPECT_EQ(model->volumes(), (Volumes{{"proc:paplay", 0.5}}));
    EXPECT_EQ(model->chosenOutput("proc:paplay"), "headphones");
    EXPECT_TRUE(model->isHidden("proc:beep"));
    EXPECT_FALSE(model->errorText());

    model->setVolume("proc:paplay", 0.25);
    stores.flush();
    const JsonParse written = parseJson(readFile(home / "settings.json"));
    const JsonParse before = parseJson(text);
    ASSERT_TRUE(written.value);
    for (const char* key : {"laterKey", "outputs", "hidden"}) {
        ASSERT_TRUE(written.value->find(key)) << key;
        EXPECT_EQ(*written.value->find(key), *before.value->find(key)) << key;
    }
}

// A write that fails leaves the old file whole and no temporary beside it;
// the change stays in effect, is reported, and goes out with the next write.
TEST(SettingsStore, AWriteCutShortByTheSystemLeavesTheOldFileWhole) {
    TempDir home;
    using Saves = std::vector<std::optional<std::string>>;  // how each write went
    Saves saves;  // outlives the stores, which write what is waiting as they end
    JsonSettingsStores stores(home.path());
    stores.setSaveObserver([&saves](const std::optional<std::string>& f) { saves.push_back(f); });
    SettingsStore& store = stores.standard();
    ASSERT_EQ(store.setValue("duckBoostDB", 3.0), std::nullopt);
    const std::string before = readFile(home / "settings.json");

    // A file size limit makes write() fail part way, as a full disk would.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const PlistValue big(std::string(100000, 'x'));
    const auto failure = store.setValue("big", big);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(store.value("big"), big);  // read back at once
    EXPECT_EQ(readFile(home / "settings.json"), before);
    EXPECT_EQ(filesIn(home.path()), std::vector<std::string>{"settings.json"});  // no temp left

    // Values JSON cannot hold are refused at once, before any writing.
    EXPECT_EQ(store.setValue("duckBoostDB", std::numeric_limits<double>::quiet_NaN()),
              "Couldn't save settings: the value for \"duckBoostDB\" holds a number that is "
              "not finite");
    EXPECT_EQ(store.value("duckBoostDB"), PlistValue(3.0));

    EXPECT_EQ(store.setValue("migrated", true), std::nullopt);  // writes the failed change too
    EXPECT_EQ(saves, (Saves{std::nullopt, "Couldn't save settings: File too large", std::nullopt}));
    EXPECT_EQ(JsonSettingsStores(home.path()).standard().value("big"), big);
}

// Each damaged file is kept aside under a name of its own, even two in one
// second, and no later write touches what was kept.
TEST(SettingsStore, ADamagedFileIsKeptAsideNeverOverwritten) {
    TempDir home;
    std::map<std::filesystem::path, std::string> kept;
    for (const char* text : {"{\"volumes\": {\"a\": 0.5,}}", "[1, 2]", "", "\"text\"", "{"}) {
        writeFile(home / "settings.json", text);
        JsonSettingsStores stores(home.path());
        JsonSettingsStore& store = stores.standardStore();
        EXPECT_FALSE(store.value("volumes")) << text;
        ASSERT_TRUE(store.recoveredFrom()) << text;
        const auto aside = *store.recoveredFrom();
        EXPECT_TRUE(aside.string().starts_with((home / "settings.json.corrupt-").string()));
        EXPECT_TRUE(kept.emplace(aside, text).second) << text;
        ASSERT_TRUE(stores.loadProblem());
        EXPECT_NE(stores.loadProblem()->find(aside.string()), std::string::npos);
        EXPECT_EQ(store.setValue("duckBoostDB", 1.0), std::nullopt);
        for (const auto& [path, contents] : kept)
            EXPECT_EQ(readFile(path), contents);
    }
    EXPECT_EQ(filesIn(home.path()).size(), kept.size() + 1);
}

TEST(SettingsStore, AFileThatCannotBeReadIsLeftAloneAndWritesAreRefused) {
    // Valid settings, but more than a settings file holds: each value would
    // cost many times its bytes in memory.
    std::string large = "{\"volumes\": {\"proc:a\": 0.5";
    for (int i = 0; large.size() <= 256 << 10; ++i) {
        large += ", \"proc:" + std::to_string(i) + "\": 0.5";
    }
    large += "}}";
    for (const bool folder : {true, false}) {
        TempDir home;
        folder ? void(std::filesystem::create_directories(home / "settings.json/inside"))
               : writeFile(home / "settings.json", large);  // a folder: read() fails
        JsonSettingsStores stores(home.path());
        ASSERT_TRUE(stores.loadProblem());
        EXPECT_NE(stores.loadProblem()->find(folder ? "Is a directory" : "File too large"),
                  std::string::npos);
        const auto failure = stores.standard().setValue("duckBoostDB", 1.0);
        EXPECT_TRUE(failure && failure->starts_with("Couldn't save settings: "));
        EXPECT_EQ(filesIn(home.path()), std::vector<std::string>{"settings.json"});
        if (!folder) {
            EXPECT_EQ(readFile(home / "settings.json"), large);
        }
    }
}

TEST(SettingsStore, SuitesAreFilesBesideTheStandardStore) {
    TempDir home;
    JsonSettingsStores stores(home.path());
    const std::string_view legacy = "io.github.morvale.Morvale.legacy";
    SettingsStore* suite = stores.suite(legacy);
    ASSERT_NE(suite, nullptr);
    EXPECT_EQ(stores.suite(legacy), suite);  // one store per file
    ASSERT_EQ(suite->setValue("duckBoostDB", 4.0), std::nullopt);
    EXPECT_TRUE(std::filesystem::exists(home / "io.github.morvale.Morvale.legacy.json"));
    EXPECT_FALSE(stores.standard().value("duckBoostDB"));

    // Names that would reach outside the folder or alias the standard store, and
    // a suite whose file can't be read (so would be overwritten), are refused.
    std::filesystem::create_directories(home / "unreadable.json");
    for (const std::string& name :
         std::vector<std::string>{"", ".", "..", "../escape", "a/b", ".hidden", "settings", "x\ny",
                                  "unreadable", std::string(201, 'a')}) {
        EXPECT_EQ(stores.suite(name), nullptr) << name;
    }
}

}  // namespace
}  // namespace morvale::LinuxDesktop
