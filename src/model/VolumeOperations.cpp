// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <limits>

#include "audio/CA.h"
#include "catalog/Grouping.h"
#include "model/Model.h"
#include "model/Settings.h"
#include "model/VolumeRules.h"

namespace morvale {

double Model::volume(const std::string& key) const {
    auto it = volumes_->find(key);
    if (it == volumes_->end()) {
        const auto inherited = inheritedVolumes_.find(key);
        if (inherited == inheritedVolumes_.end()) {
            return 1.0;
        }
        it = volumes_->find(inherited->second);
        if (it == volumes_->end()) {
            return 1.0;
        }
    }
    return VolumeRules::playableVolume(it->second);
}

double Model::appliedBoostDB() const {
    return VolumeRules::playableBoostDB(*duckBoostDB_);
}

std::optional<double> Model::mutedLevel(const std::string& key) const {
    const auto it = beforeMute_.find(key);
    if (it == beforeMute_.end() || volume(key) != 0.0) {
        return std::nullopt;
    }
    return it->second;
}

void Model::setVolume(const std::string& key, double value) {
    // A volume set by hand replaces what a mute remembered.
    beforeMute_.erase(key);
    const auto movedFrom = stopInheriting(key);
    volumes_.modify([&](Volumes& volumes) {
        if (movedFrom) {
            volumes.erase(*movedFrom);
        }
        if (value >= VolumeRules::kFullVolumeThreshold) {
            volumes.erase(key);
        } else {
            volumes.insert_or_assign(key, value);
        }
    });
    saveVolumes();
    apply(key);
    // Others that had the same program key's volume have it no longer.
    for (auto it = inheritedVolumes_.begin(); movedFrom && it != inheritedVolumes_.end();) {
        if (it->second == *movedFrom) {
            const std::string other = it->first;
            it = inheritedVolumes_.erase(it);
            apply(other);
        } else {
            ++it;
        }
    }
}

std::optional<std::string> Model::stopInheriting(const std::string& key) {
    const auto inherited = inheritedVolumes_.find(key);
    if (inherited == inheritedVolumes_.end()) {
        return std::nullopt;
    }
    // The program's key gives its volume up to the key that had it: kept
    // there, it would come back whenever this key is set to full volume. A
    // running row of its own (a process keyed by it) keeps it.
    std::string programKey = std::move(inherited->second);
    inheritedVolumes_.erase(inherited);
    const bool ownRow = std::any_of(entries_->begin(), entries_->end(), [&](const AppEntry& e) {
        return e.id == programKey && e.isRunning();
    });
    return ownRow ? std::nullopt : std::optional(std::move(programKey));
}

void Model::toggleMute(const std::string& key) {
    const double current = volume(key);
    if (current > 0.0) {
        setVolume(key, 0.0);
        beforeMute_.insert_or_assign(key, current);
    } else {
        setVolume(key, mutedLevel(key).value_or(1.0));
    }
}

float Model::gain(double volume) {
    return VolumeRules::gain(volume);
}

void Model::setDuckBoost(double boostDB) {
    duckBoostDB_ = boostDB;
    writeSetting(platform_.settings.standard(), Settings::kDuckBoostDB, boostDB);
    refresh();
}

std::optional<double> Model::callDuckingDB() const {
    const float none = std::numeric_limits<float>::quiet_NaN();
    const float decibels =
        CA::get<float>(platform_.audio, kAudioObjectSystemObject, kCallDuckingDB, none);
    return std::isnan(decibels) ? std::nullopt : std::optional<double>(decibels);
}

double Model::liftedBoostDB() const {
    return VolumeRules::liftDB(*duckBoostDB_, callDuckingDB());
}

bool Model::boostHasNothingToUndo() const {
    const auto ducking = callDuckingDB();
    return ducking && !(*ducking > 0.0) && appliedBoostDB() > 0.0;
}

bool Model::boostedCall() const {
    return callActive() && liftedBoostDB() > 0.0;
}

bool Model::callActive() const {
    for (const AppEntry& entry : *entries_) {
        if ((entry.id == Grouping::callRowKey && entry.isPlaying) || entry.isInCall()) {
            return true;
        }
    }
    return false;
}

}  // namespace morvale
