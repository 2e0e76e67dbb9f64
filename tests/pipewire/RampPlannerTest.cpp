// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/pipewire/RampPlanner.h"

namespace morvale::pipewire {
namespace {

// A change walks to its target in steps of the step it was given: small ones
// in steps of kRampMaxStep, larger ones in kRampSteps steps; every step is at
// most that step, and the walk ends exactly at the target.
TEST(RampPlanner, WalksToTheTargetInBoundedSteps) {
    struct Case {
        float from, to;
        int steps;
    };
    const std::vector<Case> cases{
        {1.0f, 0.8f, 4},   {0.8f, 1.0f, 4},  {1.0f, 0.25f, 10}, {2.0f, 0.25f, 10},
        {0.0f, 10.0f, 10}, {1.0f, 0.0f, 10}, {0.5f, 0.5f, 0},   {1.0f, 0.97f, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        const float step = rampStepFor(c.from, c.to);
        EXPECT_GE(step, kRampMaxStep);
        float v = c.from;
        int steps = 0;
        while (v != c.to && steps < 100) {
            const float next = nextRampStep(v, c.to, step);
            EXPECT_LE(std::fabs(next - v), step + 1e-5f);
            v = next;
            ++steps;
        }
        EXPECT_EQ(v, c.to);
        // Rounding may add or save one step.
        EXPECT_GE(steps, c.steps - 1);
        EXPECT_LE(steps, c.steps + 1);
    }
}

TEST(RampPlanner, NonsenseGoesStraightToTheTarget) {
    EXPECT_EQ(nextRampStep(NAN, 0.5f), 0.5f);
    EXPECT_EQ(nextRampStep(1.0f, 0.5f, 0.0f), 0.5f);
    EXPECT_EQ(nextRampStep(1.0f, INFINITY), INFINITY);
}

}  // namespace
}  // namespace morvale::pipewire
