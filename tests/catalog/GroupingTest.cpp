// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Grouping.h"

#include <gtest/gtest.h>

#include "platform/linux/DesktopGrouping.h"
#include "platform/sim/SimWorkspace.h"

namespace morvale {
namespace {

AudioProcess process(std::string name, std::optional<std::string> bundleID,
                     std::string programName = {}) {
    AudioProcess p{7, 100, std::move(bundleID), std::move(name), false};
    p.programName = std::move(programName);
    return p;
}

const std::string kCalls(kCallStreamsBundleID);

// The desktop's rules add nothing to the frame: a desktop file ID is the key
// as it is, whatever it contains.
TEST(GroupingKey, OnTheDesktopIsTheDesktopIdOrTheName) {
    const struct {
        const char* name;
        std::optional<std::string> bundleID;
        const char* key;
    } cases[] = {
        {"x", "com.example.helperless.desktop", "com.example.helperless.desktop"},
        {"x", "org.chromium.Chromium.helper", "org.chromium.Chromium.helper"},
        {"Mail Graphics and Media", "com.apple.WebKit.GPU", "com.apple.WebKit.GPU"},
        {"x", kCalls, "facetime"},
        {"FaceTime", std::nullopt, "proc:FaceTime"},  // no call member by name here
        {"Tunebox", std::nullopt, "proc:Tunebox"},
        {"", std::nullopt, "proc:"},
    };
    const GroupingRules rules = LinuxDesktop::desktopGrouping("Calls");
    for (const auto& c : cases) {
        EXPECT_EQ(Grouping::key(process(c.name, c.bundleID), rules), c.key)
            << "name '" << c.name << "', id '" << c.bundleID.value_or("(none)") << "'";
    }
    EXPECT_EQ(Grouping::identities(kCalls, rules), Grouping::Identities{});
    EXPECT_EQ(Grouping::identities("com.example.helperless.desktop", rules),
              (Grouping::Identities{{"com.example.helperless.desktop"}, {}}));
    EXPECT_EQ(Grouping::identities("proc:Tunebox", rules), (Grouping::Identities{{}, {"Tunebox"}}));
}

// A platform's rule decides what a bundle ID is grouped by; the call row's
// members still come first, and a rule's answer by name keys like a name.
TEST(GroupingKey, AppliesThePlatformsBundleRule) {
    GroupingRules rules;
    rules.calls.members = {"caller"};
    rules.bundleRule = [](const std::string& id, const std::string& name) {
        return id == "engine" ? GroupedAs{std::nullopt, name + "!"} : GroupedAs{id + ".app", {}};
    };
    EXPECT_EQ(Grouping::key(process("x", "org.a"), rules), "org.a.app");
    EXPECT_EQ(Grouping::key(process("Mail", "engine"), rules), "proc:Mail!");
    EXPECT_EQ(Grouping::key(process("caller", "engine"), rules), "facetime");
    EXPECT_EQ(Grouping::key(process("x", "caller"), rules), "facetime");
    // A key the rule moves away from is no identity of its own.
    EXPECT_EQ(Grouping::identities("org.a", rules), Grouping::Identities{});
}

// The key a volume was stored under before the process declared its name.
TEST(GroupingProgramKey, IsTheProgramsNameKeyWhereTheNameIsDeclared) {
    const struct {
        AudioProcess process;
        std::optional<std::string> programKey;
    } cases[] = {
        {process("Tunebox", std::nullopt, "paplay"), "proc:paplay"},
        {process("paplay", std::nullopt), std::nullopt},            // nothing declared
        {process("Tunebox", "org.tunebox.desktop", "paplay"), std::nullopt},  // keyed by its ID
        {process("Tunebox", std::nullopt, "Tunebox"), std::nullopt},
    };
    const GroupingRules rules = LinuxDesktop::desktopGrouping("Calls");
    for (const auto& c : cases) {
        EXPECT_EQ(Grouping::programKey(c.process, rules), c.programKey) << c.process.name;
    }
}

TEST(GroupingDisplayName, KeepsTheDesktopsNamesWhole) {
    sim::SimWorkspace workspace;
    workspace.applicationPaths["org.example.Player.desktop"] = "/apps/p.desktop";
    workspace.displayNames["/apps/p.desktop"] = "Player.app";
    const GroupingRules rules = LinuxDesktop::desktopGrouping("Calls");
    EXPECT_EQ(Grouping::displayName("org.example.Player.desktop", "x", workspace, rules),
              "Player.app");
    EXPECT_EQ(Grouping::displayName("facetime", "x", workspace, rules), "Calls");
    EXPECT_EQ(Grouping::displayName("proc:Tunebox", "Tunebox", workspace, rules), "Tunebox");
    EXPECT_EQ(*Grouping::icon("facetime", workspace, rules),
              (IconSource{IconSource::Kind::themeName, "call-start"}));
}

}  // namespace
}  // namespace morvale
