// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sim/MacLikeGrouping.h"

#include <gtest/gtest.h>

#include "catalog/Grouping.h"
#include "platform/sim/SimWorkspace.h"

namespace morvale {
namespace {

AudioProcess process(std::string name, std::optional<std::string> bundleID) {
    return AudioProcess{7, 100, std::move(bundleID), std::move(name), false};
}

TEST(MacLikeGroupingKey, FollowsTheRulesInOrder) {
    const struct {
        const char* name;
        std::optional<std::string> bundleID;
        const char* key;
    } cases[] = {
        // Call row members by name, whatever the identifier, and by identifier.
        {"FaceTime", std::nullopt, "facetime"},
        {"avconferenced", "org.example.other", "facetime"},
        {"anything", "com.apple.telephonyutilities.callservicesd", "facetime"},
        {"facetime", std::nullopt, "proc:facetime"},  // membership is case-sensitive
        // No identifier: the process name.
        {"mpv", std::nullopt, "proc:mpv"},
        // Web-engine helpers.
        {"Mail Graphics and Media", "com.apple.WebKit.GPU", "proc:Mail"},
        {"Safari Graphics and Media", "com.apple.WebKit.GPU", "com.apple.Safari"},
        {"Safari Technology Preview", "com.apple.WebKit.WebContent", "com.apple.Safari"},
        {"", "com.apple.WebKit.GPU", "com.apple.Safari"},
        {"A Graphics and Media Graphics and Media", "com.apple.WebKit.GPU", "proc:A"},
        {"Mail graphics and media", "com.apple.WebKit.GPU", "proc:Mail graphics and media"},
        {"Mail", "com.apple.WebKit.helper", "proc:Mail"},  // the helper rule does not apply
        {"x", "com.apple.webkit.GPU", "com.apple.webkit.GPU"},  // prefix is case-sensitive
        // Helper identifiers, cut at the first ".helper" in any letter case.
        {"x", "org.chromium.Chromium.helper", "org.chromium.Chromium"},
        {"x", "com.google.Chrome.Helper", "com.google.Chrome"},
        {"x", "com.google.Chrome.HELPERS.plugin", "com.google.Chrome"},
        {"x", ".helper", ""},
        {"x", "com.example.helperless", "com.example"},
        {"x", "com.example.myhelper", "com.example.myhelper"},  // no dot before it
    };
    const GroupingRules rules = sim::macLikeGrouping();
    for (const auto& c : cases) {
        EXPECT_EQ(Grouping::key(process(c.name, c.bundleID), rules), c.key)
            << "name '" << c.name << "', id '" << c.bundleID.value_or("(none)") << "'";
    }
}

// Identities tell a process that starts later to belong to a key before a
// snapshot has keyed it: each one given must key to that key whatever else
// the process is, and keys that cannot promise that give none.
TEST(MacLikeGroupingIdentities, AreThoseThatKeyToTheKeyWhateverTheName) {
    const std::pair<const char*, Grouping::Identities> cases[] = {
        {"org.mozilla.firefox", {{"org.mozilla.firefox"}, {}}},
        {"proc:mpv", {{}, {"mpv"}}},
        // The call row's members are told by name as well as by identifier.
        {"facetime", {}},
        {"avconferenced", {}},
        // Stored keys that no process keys to by its identifier alone.
        {"com.apple.WebKit.GPU", {}},
        {"com.google.Chrome.helper", {}},
        {"proc:", {}},
        {"", {}},
    };
    const GroupingRules rules = sim::macLikeGrouping();
    for (const auto& [key, identities] : cases) {
        const auto got = Grouping::identities(key, rules);
        EXPECT_EQ(got, identities) << key;
        for (const char* name : {"x", "Mail Graphics and Media"}) {
            for (const auto& id : got.bundleIDs) {
                EXPECT_EQ(Grouping::key(process(name, id), rules), key) << key << " " << name;
            }
        }
        for (const auto& name : got.names) {
            EXPECT_EQ(Grouping::key(process(name, std::nullopt), rules), key) << key;
        }
    }
}

TEST(MacLikeGroupingNames, DropTheBundleSuffixAndNameTheCallRowAfterItsApplication) {
    sim::SimWorkspace workspace;
    workspace.applicationPaths["com.example.Player"] = "/Applications/Player.app";
    workspace.applicationPaths["com.apple.FaceTime"] = "/Applications/FaceTime.app";
    const GroupingRules rules = sim::macLikeGrouping();
    EXPECT_EQ(Grouping::displayName("com.example.Player", "x", workspace, rules), "Player");
    EXPECT_EQ(Grouping::displayName("facetime", "x", workspace, rules), "FaceTime");
    EXPECT_EQ(*Grouping::icon("facetime", workspace, rules),
              (IconSource{IconSource::Kind::file, "/Applications/FaceTime.app"}));
}

}  // namespace
}  // namespace morvale
