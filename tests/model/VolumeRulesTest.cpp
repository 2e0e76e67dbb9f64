#include "model/VolumeRules.h"

#include <gtest/gtest.h>

namespace morvale::VolumeRules {
namespace {

TEST(VolumeRules, TargetGainDecidesTapAndGain) {
    struct Case {
        const char* what;
        TapDecision decision;
        std::optional<float> gain;
    };
    const Case cases[] = {
        {"full, no call", {"app", 1.0, false, 0, true}, std::nullopt},
        {"at threshold", {"app", 0.995, false, 0, true}, std::nullopt},
        {"half", {"app", 0.5, false, 0, false}, 0.25f},
        {"muted keeps a silent tap", {"app", 0.0, false, 0, false}, 0.0f},
        {"negative counts as muted", {"app", -0.5, false, 0, false}, 0.0f},
        {"boost: playing at full", {"app", 1.0, true, 6, true}, 1.9952623f},
        {"boost: half", {"app", 0.5, true, 6, false}, 0.25f * 1.9952623f},
        {"boost: silent at full", {"app", 1.0, true, 6, false}, std::nullopt},
        {"boost: FaceTime at full", {"facetime", 1.0, true, 6, true}, std::nullopt},
        {"boost: FaceTime lowered", {"facetime", 0.5, true, 20, true}, 2.5f},
        {"boost: in the call by recording, lowered", {"app", 0.5, true, 20, true, true}, 2.5f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(targetGain(c.decision), c.gain) << c.what;
    }
}

}  // namespace
}  // namespace morvale::VolumeRules
