#include "platform/pipewire/RampPlanner.h"

#include <algorithm>
#include <cmath>

namespace morvale::pipewire {

float nextRampStep(float current, float target, float maxStepDb) {
    if (!std::isfinite(current) || !std::isfinite(target) || !(maxStepDb > 0.0f)) {
        return target;
    }
    // Silence is at the floor, in decibels.
    const float from = std::max(current, kRampFloor);
    const float to = std::max(target, kRampFloor);
    const float distanceDb = 20.0f * std::log10(to / from);
    if (std::fabs(distanceDb) <= maxStepDb) {
        return target;
    }
    const float stepDb = distanceDb > 0 ? maxStepDb : -maxStepDb;
    return from * std::pow(10.0f, stepDb / 20.0f);
}

}  // namespace morvale::pipewire
