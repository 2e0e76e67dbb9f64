// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/AudioProcess.h"

#include <algorithm>
#include <array>

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
        snapshot.push_back(AudioProcess{object, pid, std::move(bundleID), processName(pid, sources),
                                        playing != 0, recording != 0});
    }
    return snapshot;
}

std::string AudioProcess::processName(std::int32_t pid, const Sources& sources) {
    if (const auto app = sources.applications.application(pid); app && app->localizedName) {
        return *app->localizedName;
    }
    std::array<char, 256> buffer{};
    (void)sources.processes.procName(pid, buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    return sanitizeUtf8(std::string_view(buffer.data(), static_cast<std::size_t>(end - buffer.begin())));
}

}  // namespace morvale
