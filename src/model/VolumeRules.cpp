#include "model/VolumeRules.h"

#include <cmath>

#include "catalog/Grouping.h"

namespace morvale::volumerules {

float gain(double volume) {
    // A volume at or below 0 is muted; squaring a negative one would make it
    // audible again.
    if (volume <= 0.0) {
        return 0.0f;
    }
    return static_cast<float>(volume * volume);
}

float boostFactor(double boostDB) {
    return static_cast<float>(std::pow(10.0, boostDB / 20.0));
}

std::optional<float> targetGain(const TapDecision& d) {
    const bool full = !(d.volume < kFullVolumeThreshold);
    if (!d.boostedCall) {
        if (full) {
            return std::nullopt;
        }
        return gain(d.volume);
    }
    // During a boosted call every playing application is lifted to undo the
    // ducking; the call's own audio (the call row, and an application that is
    // in the call by recording) only when the user turned it down.
    if ((d.key == Grouping::faceTimeKey || d.inCall) && full) {
        return std::nullopt;
    }
    const float boosted = gain(d.volume) * boostFactor(d.boostDB);
    if (!full || d.entryPlaying) {
        return boosted;
    }
    return std::nullopt;
}

}  // namespace morvale::volumerules
