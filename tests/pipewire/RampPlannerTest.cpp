// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/pipewire/RampPlanner.h"

namespace morvale::pipewire {
namespace {

// Every step is at most the largest step, the walk ends exactly at the
// target, and takes as many steps as the distance asks for.
TEST(RampPlanner, WalksToTheTargetInBoundedSteps) {
    struct Case {
        float from, to;
        int steps;
    };
    const std::vector<Case> cases{
        {1.0f, 0.25f, 15},
        {0.25f, 1.0f, 15},
        {1.0f, 2.0f, 20},  // boost
        {1.0f, 0.0f, 20},  // to silence
        {0.0f, 1.0f, 20},  // from silence
        {0.5f, 0.5f, 0},
        {1.0f, 0.97f, 1},  // within one step: at once
    };
    for (const auto& c : cases) {
        float v = c.from;
        int steps = 0;
        while (v != c.to && steps < 100) {
            const float next = nextRampStep(v, c.to);
            EXPECT_LE(std::fabs(next - v), kRampMaxStep + 1e-5f) << c.from << " -> " << c.to;
            v = next;
            ++steps;
        }
        EXPECT_EQ(v, c.to) << c.from << " -> " << c.to;
        // Rounding may add one step.
        EXPECT_GE(steps, c.steps) << c.from << " -> " << c.to;
        EXPECT_LE(steps, c.steps + 1) << c.from << " -> " << c.to;
    }
}

// Small changes go in steps of kRampMaxStep; larger ones in kRampSteps steps.
TEST(RampPlanner, NoChangeTakesMoreThanItsStepCount) {
    struct Case {
        float from, to;
        int steps;
    };
    const std::vector<Case> cases{
        {1.0f, 0.8f, 4},   {0.8f, 1.0f, 4},   {1.0f, 0.25f, 10}, {2.0f, 0.25f, 10},
        {0.0f, 10.0f, 10}, {1.0f, 0.0f, 10},  {0.5f, 0.5f, 0},
    };
    for (const auto& c : cases) {
        const float step = rampStepFor(c.from, c.to);
        EXPECT_GE(step, kRampMaxStep);
        float v = c.from;
        int steps = 0;
        while (v != c.to && steps < 100) {
            v = nextRampStep(v, c.to, step);
            ++steps;
        }
        EXPECT_GE(steps, c.steps - 1) << c.from << " -> " << c.to;
        EXPECT_LE(steps, c.steps + 1) << c.from << " -> " << c.to;
    }
}

TEST(RampPlanner, NonsenseGoesStraightToTheTarget) {
    EXPECT_EQ(nextRampStep(NAN, 0.5f), 0.5f);
    EXPECT_EQ(nextRampStep(1.0f, 0.5f, 0.0f), 0.5f);
    EXPECT_EQ(nextRampStep(1.0f, INFINITY), INFINITY);
}

}  // namespace
}  // namespace morvale::pipewire
