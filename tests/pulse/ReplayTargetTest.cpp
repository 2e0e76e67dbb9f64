// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "platform/pulse/replay/ReplayTarget.h"

namespace morvale::pulse {
namespace {

using namespace std::chrono_literals;
using Target = std::optional<std::chrono::milliseconds>;

TEST(ReplayTarget, GrowsAfterUnderflowsAndSettlesBackWhenCalm) {
    const ReplayTarget::Clock::time_point t0{};
    ReplayTarget target(30ms, 120ms, 10s);
    target.restart(t0);
    enum class What { underflow, settle, restart };
    struct Step {
        std::chrono::milliseconds at;
        What what;
        Target changed;  // what the call returns
    };
    const std::vector<Step> steps{
        {100ms, What::underflow, std::nullopt},  // still filling up after the start
        {600ms, What::underflow, 45ms},
        {700ms, What::underflow, 67ms},
        {800ms, What::underflow, 100ms},
        {900ms, What::underflow, 120ms},  // no longer than the longest
        {1000ms, What::underflow, std::nullopt},
        {10900ms, What::settle, std::nullopt},  // not calm long enough yet
        {11000ms, What::settle, 80ms},
        {11100ms, What::settle, std::nullopt},
        {21100ms, What::settle, 53ms},
        {31100ms, What::settle, 35ms},
        {41100ms, What::settle, 30ms},  // no shorter than the shortest
        {51200ms, What::underflow, 45ms},
        {51300ms, What::restart, 30ms},  // a restart starts short again
    };
    for (const Step& step : steps) {
        const auto now = t0 + step.at;
        const Target changed = step.what == What::underflow ? target.underflow(now)
                               : step.what == What::settle  ? target.settle(now)
                                                            : target.restart(now);
        EXPECT_EQ(changed, step.changed) << "at " << step.at.count() << " ms";
        EXPECT_EQ(target.current(), changed.value_or(target.current()));
    }
}

}  // namespace
}  // namespace morvale::pulse
