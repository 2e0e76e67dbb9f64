#include "catalog/Grouping.h"

#include <gtest/gtest.h>

#include "platform/sim/SimWorkspace.h"

namespace morvale {
namespace {

AudioProcess process(std::string name, std::optional<std::string> bundleID) {
    return AudioProcess{7, 100, std::move(bundleID), std::move(name), false};
}

TEST(GroupingKey, FollowsTheRulesInOrder) {
    struct Case {
        const char* name;
        std::optional<std::string> bundleID;
        const char* key;
    };
    const Case cases[] = {
        // FaceTime members by name, whatever the identifier, and by identifier.
        {"FaceTime", std::nullopt, "facetime"},
        {"avconferenced", "org.example.other", "facetime"},
        {"callservicesd", "com.apple.WebKit.GPU", "facetime"},
        {"anything", "com.apple.telephonyutilities.callservicesd", "facetime"},
        {"anything", "avconferenced", "facetime"},  // one set for names and identifiers
        {"facetime", std::nullopt, "proc:facetime"},  // membership is case-sensitive
        // No identifier: the process name.
        {"mpv", std::nullopt, "proc:mpv"},
        {"", std::nullopt, "proc:"},
        {"name.with.dots", std::nullopt, "proc:name.with.dots"},
        // Web-engine helpers.
        {"Mail Graphics and Media", "com.apple.WebKit.GPU", "proc:Mail"},
        {"Safari Graphics and Media", "com.apple.WebKit.GPU", "com.apple.Safari"},
        {"Safari Technology Preview", "com.apple.WebKit.WebContent", "com.apple.Safari"},
        {"", "com.apple.WebKit.GPU", "com.apple.Safari"},
        {" Graphics and Media", "com.apple.WebKit.GPU", "com.apple.Safari"},
        {"Notes", "com.apple.WebKit.GPU", "proc:Notes"},
        {"A Graphics and Media Graphics and Media", "com.apple.WebKit.GPU", "proc:A"},
        {"Mail graphics and media", "com.apple.WebKit.GPU", "proc:Mail graphics and media"},
        {"safari", "com.apple.WebKit.GPU", "proc:safari"},
        {"Mail", "com.apple.WebKit.helper", "proc:Mail"},  // the helper rule does not apply
        {"x", "com.apple.webkit.GPU", "com.apple.webkit.GPU"},  // prefix is case-sensitive
        // Helper identifiers, cut at the first ".helper" in any letter case.
        {"x", "org.chromium.Chromium.helper", "org.chromium.Chromium"},
        {"x", "com.google.Chrome.Helper", "com.google.Chrome"},
        {"x", "com.google.Chrome.helper.Renderer", "com.google.Chrome"},
        {"x", "com.google.Chrome.HELPERS.plugin", "com.google.Chrome"},
        {"x", "com.example.app.Helper.helper", "com.example.app"},
        {"x", ".helper", ""},
        {"x", ".Helper.tail", ""},
        {"x", "com.example.helperless", "com.example"},
        {"x", "com.example.myhelper", "com.example.myhelper"},  // no dot before it
        {"x", "org.mozilla.firefox", "org.mozilla.firefox"},
        {"x", "firefox-esr.desktop", "firefox-esr.desktop"},
    };
    const CallGroup faceTime = Grouping::faceTimeCalls();
    for (const Case& c : cases) {
        EXPECT_EQ(Grouping::key(process(c.name, c.bundleID), faceTime), c.key)
            << "name '" << c.name << "', id '" << c.bundleID.value_or("(none)") << "'";
    }
}

TEST(GroupingLookups, AskTheWorkspaceOnlyForBundleIdentifiers) {
    sim::SimWorkspace workspace;
    workspace.applicationPaths = {
        {"org.example.Player", "/apps/Player.app"},
        {"org.example.Odd", "/apps/Odd.app.app"},
        {"org.example.Mid", "/apps/Mid"},
        {"com.apple.FaceTime", "/apps/FaceTime.app"},
    };
    workspace.displayNames = {{"/apps/Mid", "My.appName.app"}};

    struct Case {
        std::string key;
        std::optional<std::string> url;
        std::string name;
        IconSource icon;
        bool asks;
    };
    using K = IconSource::Kind;
    const Case cases[] = {
        {"org.example.Player", "/apps/Player.app", "Player", {K::file, "/apps/Player.app"}, true},
        {"org.example.Odd", "/apps/Odd.app.app", "Odd", {K::file, "/apps/Odd.app.app"}, true},
        {"org.example.Mid", "/apps/Mid", "MyName", {K::file, "/apps/Mid"}, true},
        {"org.example.Missing", std::nullopt, "fallback", {K::genericApplication, ""}, true},
        {"facetime", std::nullopt, "FaceTime", {K::file, "/apps/FaceTime.app"}, false},
        {"proc:org.example.Player", std::nullopt, "fallback", {K::genericApplication, ""}, false},
        {"nodot", std::nullopt, "fallback", {K::genericApplication, ""}, false},
        {"", std::nullopt, "fallback", {K::genericApplication, ""}, false},
    };
    const CallGroup faceTime = Grouping::faceTimeCalls();
    for (const Case& c : cases) {
        workspace.urlLookups = 0;
        EXPECT_EQ(Grouping::appURL(c.key, workspace), c.url) << c.key;
        EXPECT_EQ(workspace.urlLookups, c.asks ? 1 : 0) << c.key;
        EXPECT_EQ(Grouping::displayName(c.key, "fallback", workspace, faceTime), c.name) << c.key;
        EXPECT_EQ(*Grouping::icon(c.key, workspace, faceTime), c.icon) << c.key;
    }

    // FaceTime not installed: the generic icon.
    workspace.applicationPaths.erase("com.apple.FaceTime");
    EXPECT_EQ(*Grouping::icon("facetime", workspace, faceTime),
              (IconSource{K::genericApplication, ""}));
}

}  // namespace
}  // namespace morvale
