// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Model.h"

#include <mutex>
#include <stdexcept>

#include "audio/CA.h"

namespace morvale {

namespace {

std::mutex configureMutex;
struct Configuration {
    Platform platform;
    SessionExecutor& sessionJobs;
};
std::optional<Configuration> configuration;

const Configuration& configurationForShared() {
    std::lock_guard lock(configureMutex);
    if (!configuration) {
        throw std::logic_error("Model::configure must be called before Model::shared");
    }
    return *configuration;
}

}  // namespace

void Model::configure(const Platform& platform, SessionExecutor& sessionJobs) {
    std::lock_guard lock(configureMutex);
    if (configuration) {
        throw std::logic_error("Model::configure may be called only once");
    }
    configuration.emplace(Configuration{platform, sessionJobs});
}

Model& Model::shared() {
    // Built on first use, once, whichever threads ask; never destroyed, so the
    // timer and termination handlers can always reach it.
    static Model* const instance = [] {
        const Configuration& configured = configurationForShared();
        return new Model(configured.platform, configured.sessionJobs);
    }();
    return *instance;
}

Model::Model(const Platform& platform, SessionExecutor& sessionJobs)
    : platform_(platform),
      entries_(willChange_, {}),
      volumes_(willChange_, {}),
      errorText_(willChange_, std::nullopt),
      launchAtLogin_(willChange_, platform.loginItem.status() == LoginItemStatus::enabled),
      duckBoostDB_(willChange_, 0.0),
      outputDevices_(willChange_, {}),
      outputs_(willChange_, {}),
      hidden_(willChange_, {}),
      sessionJobs_(sessionJobs),
      self_(std::make_shared<Model*>(this)) {
    watchSettingsSaves();
    loadSettings();
    refresh();
    scheduleRefresh();
    listenForProcessChanges();
    registerTerminationHook();
}

Model::~Model() {
    if (processListener_ != nullptr) {
        platform_.audio.removePropertyListenerBlock(
            kAudioObjectSystemObject, CA::addr(kProcessObjectList), nullptr, processListener_);
    }
    // Every session ends with the model, and its jobs have run before the
    // model's parts go: nothing of it is left playing.
    stopAll();
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

void Model::listenForProcessChanges() {
    // A process that starts or ends is refreshed for at once rather than at
    // the next tick, so that its application's session takes it in (or lets
    // it go) without waiting. The audio system tells on a thread of its own,
    // often many times in a row: one refresh is queued for all that come
    // before it runs. Without a listener the timer still refreshes.
    std::weak_ptr<Model*> weak = self_;
    MainQueue& queue = platform_.mainQueue;
    auto queued = std::make_shared<std::atomic<bool>>(false);
    const OSStatus status = platform_.audio.addPropertyListenerBlock(
        kAudioObjectSystemObject, CA::addr(kProcessObjectList), nullptr,
        [weak, &queue, queued](std::uint32_t, const AudioObjectPropertyAddress*) {
            if (queued->exchange(true)) {
                return;
            }
            queue.post([weak, queued] {
                queued->store(false);
                if (const auto self = weak.lock()) {
                    (*self)->refresh();
                }
            });
        },
        &processListener_);
    if (status != kAudioNoError) {
        processListener_ = nullptr;
    }
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
