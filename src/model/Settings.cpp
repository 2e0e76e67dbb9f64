// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Settings.h"

#include "platform/Translation.h"

namespace morvale::Settings {

LoadedVolumes loadVolumes(const std::optional<PlistValue>& stored) {
    if (!stored) {
        return {};
    }
    const PlistValue::Dict* dict = stored->asDict();
    if (dict == nullptr) {
        return {{}, translate("Settings", "they are not a table of volumes")};
    }
    Volumes volumes;
    for (const auto& [key, value] : *dict) {
        const double* number = value.asNumber();
        if (number == nullptr) {
            return {{}, translate("Settings", "one of them is not a number")};
        }
        volumes.emplace_hint(volumes.end(), key, *number);
    }
    return {std::move(volumes), std::nullopt};
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

}  // namespace morvale::Settings
