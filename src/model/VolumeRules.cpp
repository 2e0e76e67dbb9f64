// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/VolumeRules.h"

#include <algorithm>
#include <cmath>

#include "catalog/Grouping.h"

namespace morvale::VolumeRules {

double playableVolume(double stored) {
    if (!std::isfinite(stored)) {
        return 1.0;
    }
    // A volume at or below 0 is muted; squaring a negative one would make it
    // audible again.
    return std::clamp(stored, 0.0, 1.0);
}

double playableBoostDB(double stored) {
    if (!std::isfinite(stored)) {
        return 0.0;
    }
    return std::clamp(stored, 0.0, kMaxBoostDB);
}

float gain(double volume) {
    const double v = playableVolume(volume);
    return static_cast<float>(v * v);
}

float boostFactor(double boostDB) {
    return static_cast<float>(std::pow(10.0, playableBoostDB(boostDB) / 20.0));
}

double liftDB(double boostDB, std::optional<double> callDuckingDB) {
    const double boost = playableBoostDB(boostDB);
    if (!callDuckingDB) {
        return boost;
    }
    // A ducking that is not a number, or negative, lowers nothing we can undo.
    const double ducking = std::isfinite(*callDuckingDB) ? std::max(*callDuckingDB, 0.0) : 0.0;
    return std::min(boost, ducking);
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
    if ((d.key == Grouping::callRowKey || d.inCall) && full) {
        return std::nullopt;
    }
    const float boosted = gain(d.volume) * boostFactor(d.boostDB);
    if (!full || d.entryPlaying) {
        return boosted;
    }
    return std::nullopt;
}

}  // namespace morvale::VolumeRules
