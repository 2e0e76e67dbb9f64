// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "platform/pipewire/CallDucking.h"

namespace morvale::pipewire {
namespace {

TEST(PipeWireCallDucking, OnlyARolePolicyLowersAndItsLevelIsTheLift) {
    const double defaultDB = -20.0 * std::log10(kDefaultDuckLevel);  // 10.46 dB
    struct Case {
        const char* what;
        DuckingFacts facts;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"stock WirePlumber: nothing to undo", {}, 0.0},
        {"role-based linking at its default", {true, false, std::nullopt}, defaultDB},
        {"a level set", {true, false, "0.5"}, -20.0 * std::log10(0.5)},
        {"a quoted level", {true, false, "\"0.1\""}, 20.0},
        {"full level lowers nothing", {true, false, "1.0"}, 0.0},
        {"silence", {true, false, "0"}, kSilencedDB},
        {"above 1 is not a level", {true, false, "2"}, defaultDB},
        {"negative is not a level", {true, false, "-0.5"}, defaultDB},
        {"not a number", {true, false, "loud"}, defaultDB},
        {"trailing text", {true, false, "0.5x"}, defaultDB},
        {"a level without role targets is unused", {false, false, "0.5"}, 0.0},
        {"endpoints: their actions are not shown", {false, true, std::nullopt}, std::nullopt},
        {"role targets win over endpoints", {true, true, "0.5"}, -20.0 * std::log10(0.5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto got = callDuckingDB(c.facts);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_NEAR(*got, *c.expected, 1e-9);
        }
    }
}

}  // namespace
}  // namespace morvale::pipewire
