#include <set>

#include "audio/AudioError.h"
#include "audio/CA.h"
#include "catalog/Grouping.h"
#include "model/Model.h"
#include "model/VolumeRules.h"

namespace morvale {

namespace {

const AppEntry* findEntry(const std::vector<AppEntry>& entries, const std::string& key) {
    for (const AppEntry& entry : entries) {
        if (entry.id == key) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

void Model::applySessions() {
    // Every key that has a session (so that one whose application went away is
    // stopped), every key with a stored volume, and during a boosted call every
    // playing application.
    std::set<std::string, std::less<>> keys;
    for (const auto& [key, session] : sessions_) {
        keys.insert(key);
    }
    for (const auto& [key, volume] : *volumes_) {
        keys.insert(key);
    }
    if (callActive() && *duckBoostDB_ > 0.0) {
        for (const AppEntry& entry : *entries_) {
            if (entry.isPlaying && entry.id != Grouping::faceTimeKey) {
                keys.insert(entry.id);
            }
        }
    }
    for (const std::string& key : keys) {
        apply(key);
    }
}

void Model::apply(const std::string& key) {
    const AppEntry* entry = findEntry(*entries_, key);
    const std::vector<AudioObjectID> objects = entry ? entry->objects : std::vector<AudioObjectID>{};
    const AudioObjectID device = CA::defaultOutputDevice(platform_.audio);
    const std::string deviceUID = CA::string(platform_.audio, device, kDeviceUID).value_or("");

    const auto gain = volumerules::targetGain({
        .key = key,
        .volume = volume(key),
        .boostedCall = callActive() && *duckBoostDB_ > 0.0,
        .boostDB = *duckBoostDB_,
        .entryPlaying = entry != nullptr && entry->isPlaying,
    });

    const auto existing = sessions_.find(key);
    if (!gain || objects.empty() || deviceUID.empty()) {
        if (existing != sessions_.end()) {
            const auto session = std::move(existing->second);
            sessions_.erase(existing);
            session->stop();
        }
        return;
    }
    if (existing != sessions_.end()) {
        TapSession& session = *existing->second;
        if (session.processObjects() == objects && session.deviceUID() == deviceUID) {
            session.gain().setValue(*gain);
            return;
        }
        const auto stale = std::move(existing->second);
        sessions_.erase(existing);
        stale->stop();
    }
    try {
        auto session =
            std::make_unique<TapSession>(platform_.audio, objects, device, deviceUID, *gain);
        sessions_.insert_or_assign(key, std::move(session));
        errorText_ = std::nullopt;
    } catch (const MorvaleError& error) {
        reportError(error.localizedDescription());
    }
}

void Model::stopAll() {
    for (auto& [key, session] : sessions_) {
        session->stop();
    }
    sessions_.clear();
}

}  // namespace morvale
