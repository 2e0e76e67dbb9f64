// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvale {

using AudioObjectID = std::uint32_t;

// What a process tap captures and how it treats the tapped processes.
enum class TapMuteBehavior : std::int32_t {
    unmuted = 0,        // the processes go on playing as usual
    muted = 1,          // the processes are silenced while the tap exists
    mutedWhenTapped = 2 // the processes are silenced while the tap is being read
};

struct TapDescription {
    std::vector<AudioObjectID> processes;  // process objects whose output is captured
    std::string uuid;                      // the tap is known by this UUID's string
    TapMuteBehavior muteBehavior = TapMuteBehavior::unmuted;
    bool isPrivate = false;                // visible to the creating process only
    std::string name;                      // shown where other programs list what the tap makes
    bool mixdown = false;                  // mix the processes down ...
    bool mono = false;                     // ... to mono when set, else to stereo
    // Processes captured by who they are, including those that start later:
    // every process whose bundle ID is one of `bundleIDs`, and every process
    // without one whose name is one of `processNames`.
    std::vector<std::string> bundleIDs;
    std::vector<std::string> processNames;

    // Whether `other` describes the same tap, whatever processes it captures:
    // what a tap's description may change to while it exists.
    bool sameTapAs(const TapDescription& other) const {
        return uuid == other.uuid && muteBehavior == other.muteBehavior &&
               isPrivate == other.isPrivate && name == other.name && mixdown == other.mixdown &&
               mono == other.mono;
    }

    // Whether a process with this bundle ID (absent: none) and name is one of
    // those captured by who they are.
    bool capturesIdentity(const std::optional<std::string>& bundleID,
                          std::string_view processName) const {
        if (bundleID) {
            return std::find(bundleIDs.begin(), bundleIDs.end(), *bundleID) != bundleIDs.end();
        }
        return std::find(processNames.begin(), processNames.end(), processName) !=
               processNames.end();
    }

    // A tap that mixes the given processes down to stereo.
    static TapDescription stereoMixdown(std::vector<AudioObjectID> processObjects) {
        TapDescription d;
        d.processes = std::move(processObjects);
        d.mixdown = true;
        return d;
    }

    friend bool operator==(const TapDescription&, const TapDescription&) = default;
};

}  // namespace morvale
