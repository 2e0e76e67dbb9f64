#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/pipewire/RampPlanner.h"

namespace morvale::pipewire {
namespace {

double db(double a, double b) {
    return 20.0 * std::log10(std::max(a, double{kRampFloor}) / std::max(b, double{kRampFloor}));
}

// Every step is at most the largest step, the walk ends exactly at the
// target, and takes as many steps as the distance asks for.
TEST(RampPlanner, WalksToTheTargetInBoundedSteps) {
    struct Case {
        float from, to;
        int maxSteps;
    };
    const std::vector<Case> cases{
        {1.0f, 0.25f, 7},   // -12 dB: 6 steps of 2 dB
        {0.25f, 1.0f, 7},
        {1.0f, 2.0f, 4},    // boost, +6 dB
        {1.0f, 0.0f, 31},   // to silence: down to -60 dB, then 0
        {0.0f, 1.0f, 31},   // from silence
        {0.5f, 0.5f, 0},
        {1.0f, 0.9f, 1},    // within one step: at once
    };
    for (const auto& c : cases) {
        float v = c.from;
        int steps = 0;
        while (v != c.to && steps < 100) {
            const float next = nextRampStep(v, c.to);
            if (next != c.to) {
                EXPECT_LE(std::fabs(db(next, v)), double{kRampMaxStepDb} + 1e-3)
                    << c.from << " -> " << c.to << " at " << v;
            }
            v = next;
            ++steps;
        }
        EXPECT_EQ(v, c.to) << c.from << " -> " << c.to;
        EXPECT_LE(steps, c.maxSteps) << c.from << " -> " << c.to;
        EXPECT_GE(steps, c.maxSteps > 1 ? c.maxSteps - 1 : c.maxSteps) << c.from << " -> " << c.to;
    }
}

TEST(RampPlanner, NonsenseGoesStraightToTheTarget) {
    EXPECT_EQ(nextRampStep(NAN, 0.5f), 0.5f);
    EXPECT_EQ(nextRampStep(1.0f, 0.5f, 0.0f), 0.5f);
}

}  // namespace
}  // namespace morvale::pipewire
