// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/ProcessInfo.h"
#include "platform/RunningApplications.h"

namespace morvale {

// One audio client process as the audio system sees it at one moment.
struct AudioProcess {
    AudioObjectID objectID = kAudioObjectUnknown;
    std::int32_t pid = 0;                  // always >= 1 in a snapshot
    std::optional<std::string> bundleID;   // never the empty string
    std::string name;                      // possibly empty
    bool isPlaying = false;                // the process is running output right now
    bool isRecording = false;              // it is running input from a microphone or the like

    friend bool operator==(const AudioProcess&, const AudioProcess&) = default;

    // The services a snapshot reads.
    struct Sources {
        AudioHardware& audio;
        const ProcessInfo& processes;
        const RunningApplications& applications;
    };

    // The audio system's process objects now, in its own order, without this
    // program's own process and without objects that have no valid pid.
    static std::vector<AudioProcess> all(const Sources& sources);

    // The name to show for a process: the running application's localized name,
    // else the kernel's short name (invalid UTF-8 replaced by U+FFFD), else "".
    static std::string processName(std::int32_t pid, const Sources& sources);
};

}  // namespace morvale
