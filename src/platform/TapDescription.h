#pragma once

#include <cstdint>
#include <string>
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
    std::string name;
    bool mixdown = false;                  // mix the processes down ...
    bool mono = false;                     // ... to mono when set, else to stereo

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
