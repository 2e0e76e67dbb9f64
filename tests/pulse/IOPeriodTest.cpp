// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "platform/pulse/replay/IOPeriod.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;
using Latencies = std::vector<std::chrono::microseconds>;

Latencies many(std::chrono::microseconds each, std::size_t count = 50) {
    return Latencies(count, each);
}

TEST(IOPeriod, FollowsManyStreamsUpToFourTimesTheShortest) {
    struct Case {
        std::string what;
        Latencies streams;
        std::chrono::milliseconds period;
    };
    Latencies oneQuick = many(2s);
    oneQuick.push_back(15ms);
    Latencies someUnknown = many(0us);
    someUnknown.push_back(25ms);
    const std::vector<Case> cases{
        {"no stream", {}, 10ms},
        {"a few that could wait", many(2s, 4), 10ms},
        {"many that could wait", many(2s), 40ms},
        {"many, one of them in a hurry", oneQuick, 10ms},
        {"floored to a multiple", many(35ms), 30ms},
        {"shorter than the shortest", many(3ms), 10ms},
        {"only the known ones count", someUnknown, 20ms},
        {"none known", many(0us), 10ms},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ioPeriod(10ms, c.streams), c.period) << c.what;
    }
}

}  // namespace
}  // namespace morvale::pulse
