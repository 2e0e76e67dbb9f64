// SPDX-License-Identifier: GPL-3.0-or-later
#include <set>
#include <string_view>
#include <unordered_map>

#include "audio/CA.h"
#include "catalog/Grouping.h"
#include "model/Model.h"
#include "model/VolumeRules.h"

namespace morvale {

// What every key of one pass over the sessions shares: read once per pass, so
// a refresh costs the same per key however many rows there are.
struct Model::ApplyContext {
    AudioObjectID device = kAudioObjectUnknown;
    std::string deviceUID;
    bool boostedCall = false;
    double liftDB = 0.0;
    std::unordered_map<std::string_view, const AppEntry*> entries;  // first entry per id
};

Model::ApplyContext Model::applyContext(const std::set<std::string, std::less<>>& keys) const {
    ApplyContext context;
    context.device = CA::defaultOutputDevice(platform_.audio);
    context.deviceUID = CA::string(platform_.audio, context.device, kDeviceUID).value_or("");
    context.liftDB = liftedBoostDB();
    context.boostedCall = callActive() && context.liftDB > 0.0;
    // Only the keys to apply: most rows have nothing to apply.
    context.entries.reserve(keys.size());
    for (const AppEntry& entry : *entries_) {
        if (keys.contains(entry.id)) {
            context.entries.emplace(entry.id, &entry);
        }
    }
    return context;
}

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
    for (const auto& [key, programKey] : inheritedVolumes_) {
        keys.insert(key);
    }
    if (boostedCall()) {
        for (const AppEntry& entry : *entries_) {
            if (entry.isPlaying && entry.id != Grouping::callRowKey) {
                keys.insert(entry.id);
            }
        }
    }
    const ApplyContext context = applyContext(keys);
    for (const std::string& key : keys) {
        apply(key, context);
    }
}

void Model::apply(const std::string& key) {
    apply(key, applyContext({key}));
}

void Model::apply(const std::string& key, const ApplyContext& context) {
    const auto found = context.entries.find(key);
    const AppEntry* entry = found == context.entries.end() ? nullptr : found->second;
    static const std::vector<AudioObjectID> none;
    const std::vector<AudioObjectID>& objects = entry ? entry->objects : none;
    const AudioObjectID device = context.device;
    const std::string& deviceUID = context.deviceUID;

    const auto gain = VolumeRules::targetGain({
        .key = key,
        .volume = volume(key),
        .boostedCall = context.boostedCall,
        .boostDB = context.liftDB,
        .entryPlaying = entry != nullptr && entry->isPlaying,
        .inCall = entry != nullptr && entry->isInCall(),
    });

    // A gain stage plays wherever the application plays; only a tap needs
    // an output device to play on.
    const bool needsDevice = !platform_.audio.hasGainStages();
    const auto existing = sessions_.find(key);
    if (!gain || objects.empty() || (needsDevice && deviceUID.empty())) {
        if (existing != sessions_.end()) {
            endSession(existing);
        }
        return;
    }
    // Worked out only when a job needs it: most passes only set the gain.
    const auto request = [&] {
        const Grouping::Identities members = Grouping::identities(key, platform_.grouping);
        return SessionRequest{objects, device, deviceUID,
                              TapApplication{entry->name, members.bundleIDs, members.names}};
    };
    if (existing != sessions_.end()) {
        Session& session = existing->second;
        // A process that joins or leaves the application is taken in or let go
        // by the running session, and a new default device followed in place
        // where the system can (the change job rebuilds the session only where
        // it cannot). The gain goes first: a rebuilt session starts at it.
        setSessionGain(session, *gain);
        if (session.objects != objects || (needsDevice && session.deviceUID != deviceUID)) {
            changeSession(key, session, request());
        }
        return;
    }
    startSession(key, request(), *gain);
}

}  // namespace morvale
