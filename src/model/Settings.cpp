#include "model/Settings.h"

namespace morvale::settings {

Volumes volumesFrom(const std::optional<PlistValue>& stored) {
    const PlistValue::Dict* dict = stored ? stored->asDict() : nullptr;
    if (dict == nullptr) {
        return {};
    }
    Volumes volumes;
    for (const auto& [key, value] : *dict) {
        const double* number = value.asNumber();
        if (number == nullptr) {
            return {};
        }
        volumes.emplace(key, *number);
    }
    return volumes;
}

double duckBoostFrom(const std::optional<PlistValue>& stored) {
    const double* number = stored ? stored->asNumber() : nullptr;
    return number ? *number : 0.0;
}

PlistValue toPlist(const Volumes& volumes) {
    PlistValue::Dict dict;
    for (const auto& [key, volume] : volumes) {
        dict.emplace(key, volume);
    }
    return dict;
}

}  // namespace morvale::settings
