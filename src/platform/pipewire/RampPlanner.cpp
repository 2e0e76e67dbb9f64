// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/RampPlanner.h"

#include <algorithm>
#include <cmath>

namespace morvale::pipewire {

float rampStepFor(float from, float to) {
    const float distance = std::fabs(to - from);
    if (!std::isfinite(distance)) {
        return kRampMaxStep;
    }
    return std::max(kRampMaxStep, distance / static_cast<float>(kRampSteps));
}

float nextRampStep(float current, float target, float maxStep) {
    if (!std::isfinite(current) || !std::isfinite(target) || !(maxStep > 0.0f) ||
        std::fabs(target - current) <= maxStep) {
        return target;
    }
    return target > current ? current + maxStep : current - maxStep;
}

}  // namespace morvale::pipewire
