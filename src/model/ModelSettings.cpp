// SPDX-License-Identifier: GPL-3.0-or-later
// The model's side of the settings: loading and migrating them at start-up,
// saving volumes, and what the store's writes tell about how saving goes.

#include "model/Model.h"
#include "model/Settings.h"
#include "platform/Translation.h"

namespace morvale {

void Model::watchSettingsSaves() {
    // Writes may happen later than the change (the store gathers a burst of
    // changes into one write), so their outcome arrives here.
    std::weak_ptr<Model*> weak = self_;
    platform_.settings.setSaveObserver([weak](const std::optional<std::string>& failure) {
        if (const auto self = weak.lock()) {
            (*self)->settingsSaved(failure);
        }
    });
}

void Model::loadSettings() {
    SettingsStore& standard = platform_.settings.standard();
    if (!standard.value(Settings::kMigrated)) {
        migrateLegacySettings(standard);
    }
    auto loaded = Settings::loadVolumes(standard.value(Settings::kVolumes));
    volumes_ = std::move(loaded.volumes);
    duckBoostDB_ = Settings::duckBoostFrom(standard.value(Settings::kDuckBoostDB));
    outputs_ = Settings::loadOutputs(standard.value(Settings::kOutputs));
    hidden_ = Settings::loadKeys(standard.value(Settings::kHidden));
    std::string problems = platform_.settings.loadProblem().value_or("");
    if (loaded.problem) {
        problems += problems.empty() ? "" : "\n";
        problems += keepUnusableVolumes(*loaded.problem);
    }
    if (!problems.empty()) {
        reportSettingsProblem(std::move(problems));
    }
}

std::string Model::keepUnusableVolumes(std::string why) {
    // They stay in the store until a volume is saved; a copy is kept first,
    // where the user can find them, so that saving loses none.
    const KeptCopy copy = platform_.settings.standard().keepCopy();
    if (!copy.where) {
        unkeptVolumes_ = why;
        //: %1 says why the volumes can't be used, %2 why no copy could be kept.
        return fillIn(translate("Settings",
                                "The stored volumes couldn't be used (%1) nor kept "
                                "aside (%2); they are not replaced until they can be"),
                      {why, copy.failure});
    }
    unkeptVolumes_.reset();
    //: %1 says why the volumes can't be used; %2 is the copy's file.
    return fillIn(
        translate("Settings",
                  "The stored volumes couldn't be used (%1); the settings were kept as %2"),
        {why, *copy.where});
}

void Model::saveVolumes() {
    std::optional<std::string> kept;
    if (unkeptVolumes_) {
        kept = keepUnusableVolumes(*unkeptVolumes_);
        if (unkeptVolumes_) {
            reportSettingsProblem(std::move(*kept));
            return;
        }
    }
    writeSetting(platform_.settings.standard(), Settings::kVolumes, Settings::toPlist(*volumes_));
    if (kept) {
        // After the write, so that saving it does not take the notice back.
        reportSettingsProblem(std::move(*kept));
    }
}

void Model::migrateLegacySettings(SettingsStore& standard) {
    SettingsStore* legacy = platform_.settings.suite(Settings::kLegacySuite);
    if (legacy == nullptr) {
        return;  // tried again at the next start
    }
    bool copied = true;
    if (auto volumes = legacy->value(Settings::kVolumes); volumes && volumes->isDict()) {
        copied = writeSetting(standard, Settings::kVolumes, std::move(*volumes)) && copied;
    }
    if (auto boost = legacy->value(Settings::kDuckBoostDB)) {
        copied = writeSetting(standard, Settings::kDuckBoostDB, std::move(*boost)) && copied;
    }
    // A migration whose copies could not all be saved is tried again next time.
    if (copied) {
        writeSetting(standard, Settings::kMigrated, true);
    }
}

bool Model::writeSetting(SettingsStore& store, std::string_view key, PlistValue value) {
    ++settingsChanges_;
    if (auto refused = store.setValue(key, std::move(value))) {
        reportSettingsProblem(std::move(*refused));
        return false;
    }
    return true;
}

void Model::reportSettingsProblem(std::string text) {
    settingsProblemAt_ = settingsChanges_;
    reportError(ErrorLine::Kind::settings, std::move(text));
}

void Model::settingsSaved(const std::optional<std::string>& failure) {
    // A settings problem stays until a change made after it is saved: an
    // unrelated success (a session that starts) does not take it back, and a
    // save of what was pending before it was reported does not prove it over.
    if (failure) {
        reportSettingsProblem(*failure);
    } else if (settingsChanges_ > settingsProblemAt_) {
        clearError(ErrorLine::Kind::settings);
    }
}

}  // namespace morvale
