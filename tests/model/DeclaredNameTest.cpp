// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "model/ModelFixture.h"
#include "model/Settings.h"

namespace morvale::testing {
namespace {

// A process that declares its name ("Tunebox") is keyed by it; a volume stored
// under its program's key ("proc:paplay") is its volume until it has one of
// its own, and setting one moves the program's away, unless a process of the
// program's own has a row under it.
TEST(DeclaredName, TakesOverTheVolumeStoredUnderTheProgramsName) {
    constexpr double unset = -1.0;  // no volume is set by the test
    const struct {
        const char* what;
        Volumes stored;
        bool plainPlayerRuns;  // a paplay that declares nothing plays too
        bool secondDeclares;   // so does a second paplay, as "Podnest"
        double set;            // set for proc:Tunebox, then a refresh
        double tunebox;        // proc:Tunebox's volume and gain afterwards
        double podnest;
        Volumes storedAfter;
        std::vector<std::string> rows;
    } cases[] = {
        {"inherits", {{"proc:paplay", 0.4}}, false, false, unset, 0.4, 1.0,
         {{"proc:paplay", 0.4}}, {"facetime", "proc:Tunebox"}},
        {"its own wins", {{"proc:paplay", 0.4}, {"proc:Tunebox", 0.7}}, false, false, unset, 0.7, 1.0,
         {{"proc:paplay", 0.4}, {"proc:Tunebox", 0.7}}, {"facetime", "proc:Tunebox", "proc:paplay"}},
        {"set moves it", {{"proc:paplay", 0.4}}, false, false, 0.3, 0.3, 1.0,
         {{"proc:Tunebox", 0.3}}, {"facetime", "proc:Tunebox"}},
        // Kept under the program's key, full volume would fall back to 0.4.
        {"full volume stays full", {{"proc:paplay", 0.4}}, false, false, 1.0, 1.0, 1.0,
         {}, {"facetime", "proc:Tunebox"}},
        {"the program's own row keeps it", {{"proc:paplay", 0.4}}, true, false, 0.3, 0.3, 1.0,
         {{"proc:paplay", 0.4}, {"proc:Tunebox", 0.3}},
         {"facetime", "proc:paplay", "proc:Tunebox"}},
        {"two inherit it", {{"proc:paplay", 0.4}}, false, true, unset, 0.4, 0.4,
         {{"proc:paplay", 0.4}}, {"facetime", "proc:Podnest", "proc:Tunebox"}},
        {"the first set takes it from both", {{"proc:paplay", 0.4}}, false, true, 0.3, 0.3, 1.0,
         {{"proc:Tunebox", 0.3}}, {"facetime", "proc:Podnest", "proc:Tunebox"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ModelFixture f;
        f.sim.settings.standardStore.values[std::string(Settings::kVolumes)] =
            Settings::toPlist(c.stored);
        f.sim.settings.standardStore.values[std::string(Settings::kMigrated)] = true;
        const auto declaring = [&](std::int32_t pid, const char* name) {
            f.sim.processes.shortNames[pid] = "paplay";
            const auto object = f.sim.audio.addProcess(pid, std::nullopt, true);
            f.sim.audio.setProcessDeclaredName(object, name);
        };
        declaring(10, "Tunebox");
        if (c.secondDeclares) {
            declaring(11, "Podnest");
        }
        if (c.plainPlayerRuns) {
            f.sim.processes.shortNames[12] = "paplay";
            f.sim.audio.addProcess(12, std::nullopt, true);
        }
        const auto model = f.makeModel();
        if (c.set != unset) {
            model->setVolume("proc:Tunebox", c.set);
            f.tick();
        }

        EXPECT_EQ(model->volume("proc:Tunebox"), c.tunebox);
        EXPECT_EQ(model->volume("proc:Podnest"), c.podnest);
        const auto level = [](double volume) {
            return volume < 1.0 ? std::optional(Model::gain(volume)) : std::nullopt;
        };
        EXPECT_EQ(ModelFixture::outputLevel(*model, "proc:Tunebox"), level(c.tunebox));
        EXPECT_EQ(ModelFixture::outputLevel(*model, "proc:Podnest"), level(c.podnest));
        EXPECT_EQ(model->volumes(), c.storedAfter);
        std::vector<std::string> rows;
        for (const AppEntry& entry : model->entries()) {
            rows.push_back(entry.id);
        }
        EXPECT_EQ(rows, c.rows);
    }
}

}  // namespace
}  // namespace morvale::testing
