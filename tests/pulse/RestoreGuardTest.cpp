// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/pulse/taps/RestoreGuard.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;
using Rewrites = RestoreGuard::Rewrites;

constexpr const char* kKey = "sink-input-by-application-name:player";
const std::string kTapSinkName = "morvale_tap_42_1";

// One thing that happens to the key: the server's entries are read with it
// naming `device` (empty: no device), or the tap's moves end (`release`).
struct GuardStep {
    std::chrono::seconds at;
    std::string device;
    bool release = false;
    Rewrites expected = {};
};

std::map<std::string, RestoreGuard::Entry> entriesNaming(const std::string& device) {
    RestoreGuard::Entry entry;
    if (!device.empty()) {
        entry.device = device;
    }
    return {{kKey, entry}};
}

TEST(RestoreGuard, KeepsEntriesOffTheTapSinksAndLetsGoAfterwards) {
    struct Case {
        std::string what;
        std::vector<GuardStep> steps;
    };
    // The entry names the speakers, then the tap's move into its sink is
    // saved: the guard puts the speakers back.
    const Rewrites back{{kKey, "speakers"}};
    const GuardStep seen{0s, "speakers"}, tapped{1s, kTapSinkName, false, back};
    const std::vector<Case> cases{
        {"a move into a tap sink is put back to the device named before", {seen, tapped}},
        {"an entry first seen naming a tap sink is put back to no device",
         {{0s, kTapSinkName, false, {{kKey, std::nullopt}}}}},
        {"a save into the tap sink again, before our rewrite landed, is put back again",
         {seen, tapped, {2s, kTapSinkName, false, back}}},
        {"while the tap stands, other devices are left alone", {seen, tapped, {2s, "hdmi"}}},
        {"a device the user chose while tapped is what the entry keeps",
         {seen,
          tapped,
          {2s, "headphones"},
          {3s, "", true},
          {4s, kTapSinkName, false, {{kKey, "headphones"}}}}},
        {"moving back saves the sink: undone for a short while after the tap went",
         {seen, tapped, {2s, "", true}, {3s, "hdmi", false, back}, {4s, "speakers"}}},
        {"once the guard has lapsed, a change is the user's",
         {seen, tapped, {2s, "", true}, {2s + RestoreGuard::kLinger + 1s, "hdmi"}}},
    };
    for (const Case& c : cases) {
        RestoreGuard guard([](const std::string& device) { return device == "headphones"; }, [] {});
        const RestoreGuard::Clock::time_point start{};
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const GuardStep& step = c.steps[i];
            if (step.release) {
                guard.release(start + step.at);
                continue;
            }
            EXPECT_EQ(guard.onRead(entriesNaming(step.device), start + step.at), step.expected)
                << c.what << ", step " << i;
        }
    }
}

// Our own streams' keys: whatever level another mixer set on one of them (and
// the server saved), the entry is made to hold none, so the next stream of
// ours starts at 100%; other applications' levels are theirs.
TEST(RestoreGuard, KeepsEveryLevelOffOurOwnStreamsKeys) {
    struct Case {
        const char* what;
        std::string key;
        int channels;  // of the stored volume; 0: none stored
        int mute;
        bool rewritten;
    };
    const Case cases[] = {
        {"a replay lowered in another mixer", "morvale-replay", 2, 0, true},
        {"a capture muted in another mixer", "morvale-capture", 0, 1, true},
        {"a call mirror at any stored volume", "morvale-call-mirror", 1, 0, true},
        {"an entry of ours with no level", "morvale-replay", 0, 0, false},
        {"another application's lowered stream", kKey, 2, 1, false},
        {"a key that only contains our name", "sink-input-by-application-name:morvale-x", 2, 0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RestoreGuard guard([](const std::string&) { return false; }, [] {});
        RestoreGuard::Entry entry;
        entry.device = "speakers";
        if (c.channels > 0) {
            pa_cvolume_set(&entry.volume, static_cast<unsigned>(c.channels), PA_VOLUME_NORM / 2);
        }
        entry.mute = c.mute;
        const Rewrites expected =
            c.rewritten ? Rewrites{{c.key, "speakers"}} : Rewrites{};
        EXPECT_EQ(guard.onRead({{c.key, entry}}), expected);
    }
}

// A route's move makes the server save the sink under the stream's key, which
// other applications with that key would start on: the save is put back.
TEST(RestoreGuard, PutsBackWhatARoutesMoveSaved) {
    struct RouteStep {
        std::chrono::seconds at;
        bool touch;          // a route's move of a stream with the key; else a read
        std::string device;  // the read's entry (empty: no entry at all)
        Rewrites expected = {};
        bool removed = false;  // the entry is removed rather than rewritten
    };
    const RouteStep speakers{0s, false, "speakers"}, touched{1s, true, ""};
    const std::vector<std::pair<std::string, std::vector<RouteStep>>> cases{
        {"put back to the device named before",
         {speakers, touched, {1s, false, "headphones", {{kKey, "speakers"}}}}},
        {"a key that had no entry loses the one the move made",
         {{0s, false, ""}, touched, {1s, false, "headphones", {{kKey, std::nullopt}}, true}}},
        {"touched before the first read: that read, asked for before the move, is the baseline",
         {{0s, true, ""},
          {0s, false, "speakers"},
          {1s, false, "headphones", {{kKey, "speakers"}}}}},
        {"a key a tap guards keeps the device from before the tap",
         {speakers,
          {1s, false, kTapSinkName, {{kKey, "speakers"}}},
          {2s, true, ""},
          {2s, false, "hdmi"}}},
    };
    for (const auto& [what, steps] : cases) {
        SCOPED_TRACE(what);
        RestoreGuard guard([](const std::string&) { return false; }, [] {});
        const RestoreGuard::Clock::time_point start{};
        for (const RouteStep& step : steps) {
            if (step.touch) {
                guard.touch(kKey, start + step.at);
                continue;
            }
            auto entries = step.device.empty() ? std::map<std::string, RestoreGuard::Entry>{}
                                               : entriesNaming(step.device);
            EXPECT_EQ(guard.onRead(std::move(entries), start + step.at), step.expected);
            EXPECT_EQ(guard.removed().contains(kKey), step.removed);
        }
    }
}

}  // namespace
}  // namespace morvale::pulse
