#include "platform/pipewire/RampPlanner.h"

#include <cmath>

namespace morvale::pipewire {

float nextRampStep(float current, float target, float maxStep) {
    if (!std::isfinite(current) || !std::isfinite(target) || !(maxStep > 0.0f) ||
        std::fabs(target - current) <= maxStep) {
        return target;
    }
    return target > current ? current + maxStep : current - maxStep;
}

}  // namespace morvale::pipewire
