// SPDX-License-Identifier: GPL-3.0-or-later
// How far the server's loaded modules lower other streams during a call.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/pulse/taps/CallDucking.h"

namespace morvale::pulse {
namespace {

TEST(CallDucking, ReadsTheDuckingOfCallsFromTheLoadedModules) {
    struct Case {
        const char* what;
        std::vector<RoleModule> modules;
        std::optional<double> decibels;
    };
    const RoleModule cork{"module-role-cork", ""};
    const Case cases[] = {
        {"no module: nothing is lowered", {}, 0.0},
        {"role-cork pauses, which no gain undoes", {cork}, 0.0},
        {"role-ducking with its default", {{"module-role-ducking", ""}}, 20.0},
        {"a volume in dB", {{"module-role-ducking", "volume=-12dB"}}, 12.0},
        {"a volume in percent of the cubic scale",
         {{"module-role-ducking", "volume=50%"}},
         -20 * std::log10(0.125)},
        {"a raw volume", {{"module-role-ducking", "volume=32768"}}, -20 * std::log10(0.125)},
        {"ducking beside cork", {cork, {"module-role-ducking", "volume=-6dB"}}, 6.0},
        {"triggered by other roles only",
         {{"module-role-ducking", "trigger_roles=announcement volume=-6dB"}},
         0.0},
        {"groups: only those a call triggers count, and they add up",
         {{"module-role-ducking",
           "trigger_roles='phone/announcement/phone,a11y' ducking_roles='music/music/video' "
           "volume=\"-6dB/-30dB/-3dB\""}},
         9.0},
        {"a volume above 100% lowers nothing", {{"module-role-ducking", "volume=+3dB"}}, 0.0},
        {"a volume of 0 silences: more than any boost", {{"module-role-ducking", "volume=0"}},
         200.0},
        {"an unreadable volume: unknown", {{"module-role-ducking", "volume=loud"}}, std::nullopt},
        {"an unclosed quote: unknown", {{"module-role-ducking", "volume='-6dB"}}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = callDuckingDB(c.modules);
        ASSERT_EQ(got.has_value(), c.decibels.has_value());
        if (got) {
            EXPECT_NEAR(*got, *c.decibels, 0.01);
        }
    }
}

}  // namespace
}  // namespace morvale::pulse
