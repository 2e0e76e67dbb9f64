// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <limits>

#include "audio/CA.h"
#include "catalog/Grouping.h"
#include "model/Model.h"
#include "model/Settings.h"
#include "model/VolumeRules.h"

namespace morvale {

double Model::volume(const std::string& key) const {
    const auto it = volumes_->find(key);
    return it == volumes_->end() ? 1.0 : VolumeRules::playableVolume(it->second);
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
    volumes_.modify([&](Volumes& volumes) {
        if (value >= VolumeRules::kFullVolumeThreshold) {
            volumes.erase(key);
        } else {
            volumes.insert_or_assign(key, value);
        }
    });
    saveVolumes();
    apply(key);
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
        if ((entry.id == Grouping::faceTimeKey && entry.isPlaying) || entry.isInCall()) {
            return true;
        }
    }
    return false;
}

}  // namespace morvale
