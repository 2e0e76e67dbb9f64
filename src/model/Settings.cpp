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

Outputs loadOutputs(const std::optional<PlistValue>& stored) {
    const PlistValue::Dict* dict = stored ? stored->asDict() : nullptr;
    Outputs outputs;
    if (dict == nullptr) {
        return outputs;
    }
    for (const auto& [key, value] : *dict) {
        const std::string* device = value.asString();
        if (device != nullptr && !device->empty()) {
            outputs.emplace_hint(outputs.end(), key, *device);
        }
    }
    return outputs;
}

PlistValue toPlist(const Outputs& outputs) {
    PlistValue::Dict dict;
    for (const auto& [key, device] : outputs) {
        dict.emplace(key, device);
    }
    return dict;
}

KeySet loadKeys(const std::optional<PlistValue>& stored) {
    const PlistValue::List* list = stored ? stored->asList() : nullptr;
    KeySet keys;
    if (list == nullptr) {
        return keys;
    }
    for (const PlistValue& value : *list) {
        if (const std::string* key = value.asString()) {
            keys.insert(*key);
        }
    }
    return keys;
}

PlistValue toPlist(const KeySet& keys) {
    PlistValue::List list;
    list.reserve(keys.size());
    for (const std::string& key : keys) {
        list.emplace_back(key);
    }
    return list;
}

}  // namespace morvale::Settings
