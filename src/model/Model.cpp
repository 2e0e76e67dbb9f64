#include "model/Model.h"

#include <mutex>
#include <stdexcept>

#include "model/Settings.h"
#include "model/VolumeRules.h"

namespace morvale {

namespace {

std::mutex configureMutex;
std::optional<Platform> configuredPlatform;

const Platform& platformForShared() {
    std::lock_guard lock(configureMutex);
    if (!configuredPlatform) {
        throw std::logic_error("Model::configure must be called before Model::shared");
    }
    return *configuredPlatform;
}

}  // namespace

void Model::configure(const Platform& platform) {
    std::lock_guard lock(configureMutex);
    if (configuredPlatform) {
        throw std::logic_error("Model::configure may be called only once");
    }
    configuredPlatform.emplace(platform);
}

Model& Model::shared() {
    // Built on first use, once, whichever threads ask; never destroyed, so the
    // timer and termination handlers can always reach it.
    static Model* const instance = new Model(platformForShared());
    return *instance;
}

Model::Model(const Platform& platform)
    : platform_(platform),
      entries_(willChange_, {}),
      volumes_(willChange_, {}),
      errorText_(willChange_, std::nullopt),
      launchAtLogin_(willChange_, platform.loginItem.status() == LoginItemStatus::enabled),
      duckBoostDB_(willChange_, 0.0),
      self_(std::make_shared<Model*>(this)) {
    watchSettingsSaves();
    loadSettings();
    refresh();
    scheduleRefresh();
    registerTerminationHook();
}

Model::~Model() = default;

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
    if (!standard.value(settings::kMigrated)) {
        migrateLegacySettings(standard);
    }
    auto loaded = settings::loadVolumes(standard.value(settings::kVolumes));
    volumes_ = std::move(loaded.volumes);
    duckBoostDB_ = settings::duckBoostFrom(standard.value(settings::kDuckBoostDB));
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
        return "The stored volumes couldn't be used (" + why + ") nor kept aside (" + copy.failure +
               "); they are not replaced until they can be";
    }
    unkeptVolumes_.reset();
    return "The stored volumes couldn't be used (" + why + "); the settings were kept as " +
           *copy.where;
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
    writeSetting(platform_.settings.standard(), settings::kVolumes, settings::toPlist(*volumes_));
    if (kept) {
        // After the write, so that saving it does not take the notice back.
        reportSettingsProblem(std::move(*kept));
    }
}

void Model::migrateLegacySettings(SettingsStore& standard) {
    SettingsStore* legacy = platform_.settings.suite(settings::kLegacySuite);
    if (legacy == nullptr) {
        return;  // tried again at the next start
    }
    bool copied = true;
    if (auto volumes = legacy->value(settings::kVolumes); volumes && volumes->isDict()) {
        copied = writeSetting(standard, settings::kVolumes, std::move(*volumes)) && copied;
    }
    if (auto boost = legacy->value(settings::kDuckBoostDB)) {
        copied = writeSetting(standard, settings::kDuckBoostDB, std::move(*boost)) && copied;
    }
    // A migration whose copies could not all be saved is tried again next time.
    if (copied) {
        writeSetting(standard, settings::kMigrated, true);
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

void Model::reportError(ErrorLine::Kind kind, std::string text) {
    errors_.report(kind, std::move(text));
    if (auto shown = errors_.text(); shown != *errorText_) {
        errorText_ = std::move(shown);
    }
}

void Model::clearError(ErrorLine::Kind kind) {
    if (!errors_.has(kind)) {
        return;
    }
    errors_.clear(kind);
    if (auto shown = errors_.text(); shown != *errorText_) {
        errorText_ = std::move(shown);
    }
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

void Model::scheduleRefresh() {
    // The tick only queues the refresh: it runs on a later turn of the main
    // loop, never inside the timer callback. The job holds the model weakly.
    std::weak_ptr<Model*> weak = self_;
    MainQueue& queue = platform_.mainQueue;
    timer_ = platform_.timers.scheduleRepeating(refreshInterval, [weak, &queue] {
        queue.post([weak] {
            if (const auto self = weak.lock()) {
                (*self)->refresh();
            }
        });
    });
}

void Model::registerTerminationHook() {
    // Observers are told on the main thread, so the sessions are stopped right
    // there: a job queued for a later turn might never run before exit, and a
    // tap left behind would keep the application muted. Settings changes still
    // waiting to be written are written now.
    std::weak_ptr<Model*> weak = self_;
    platform_.termination.addWillTerminateObserver([weak] {
        if (const auto self = weak.lock()) {
            (*self)->stopAll();
            (*self)->platform_.settings.flush();
        }
    });
}

void Model::toggleLaunchAtLogin() {
    LoginItemService& item = platform_.loginItem;
    const auto failure = item.status() == LoginItemStatus::enabled ? item.unregisterItem()
                                                                    : item.registerItem();
    // Shown like a session's failure: it stays until a session next starts,
    // and a later success here leaves it standing.
    if (failure) {
        reportError(ErrorLine::Kind::session, *failure);
    }
    launchAtLogin_ = item.status() == LoginItemStatus::enabled;
}

}  // namespace morvale
