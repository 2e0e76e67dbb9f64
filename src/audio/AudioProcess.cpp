// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcess.h"

#include <algorithm>
#include <array>
#include <utility>

#include "audio/CA.h"
#include "base/Utf8.h"

namespace morvale {

std::vector<AudioProcess> AudioProcess::all(const Sources& sources) {
    const std::int32_t ownPid = sources.processes.ownPid();
    const auto objects = CA::ids(sources.audio, kAudioObjectSystemObject, kProcessObjectList);

    std::vector<AudioProcess> snapshot;
    snapshot.reserve(objects.size());
    for (const AudioObjectID object : objects) {
        const auto pid = CA::get<std::int32_t>(sources.audio, object, kProcessPID, -1);
        if (pid < 1 || pid == ownPid) {
            continue;
        }
        auto bundleID = CA::string(sources.audio, object, kProcessBundleID);
        if (bundleID && bundleID->empty()) {
            bundleID.reset();
        }
        const auto playing =
            CA::get<std::uint32_t>(sources.audio, object, kProcessIsRunningOutput, 0);
        const auto recording =
            CA::get<std::uint32_t>(sources.audio, object, kProcessIsRunningInput, 0);
        AudioProcess& process = snapshot.emplace_back(
            AudioProcess{object, pid, std::move(bundleID), {}, playing != 0, recording != 0});
        identify(process, sources);
    }
    return snapshot;
}

void AudioProcess::identify(AudioProcess& process, const Sources& sources) {
    const auto app = sources.applications.applicationOfAudioProcess(process.pid, process.bundleID);
    process.isApplication = app && app->activationPolicy == ActivationPolicy::regular;
    if (app && app->localizedName) {
        process.name = *app->localizedName;
        return;
    }
    process.name = shortName(process.pid, sources.processes);
    auto declared = CA::string(sources.audio, process.objectID, kProcessDeclaredName);
    if (declared && !declared->empty()) {
        std::string name = sanitizeUtf8(*declared);
        if (name != process.name) {
            process.programName = std::exchange(process.name, std::move(name));
        }
    }
}

std::string AudioProcess::shortName(std::int32_t pid, const ProcessInfo& processes) {
    std::array<char, 256> buffer{};
    (void)processes.procName(pid, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return sanitizeUtf8(std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.begin())));
}

}  // namespace morvale
