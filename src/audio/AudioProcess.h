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

// One audio client process as the audio system sees it at one moment, with
// who it is worked out once per snapshot: what groups and names its row and
// whether that row is shown all come from here.
struct AudioProcess {
    AudioObjectID objectID = kAudioObjectUnknown;
    std::int32_t pid = 0;                  // always >= 1 in a snapshot
    std::optional<std::string> bundleID;   // never the empty string
    // The running application's name, else the name the process declared to
    // the audio system, else its program's name; possibly empty.
    std::string name;
    bool isPlaying = false;                // the process is running output right now
    bool isRecording = false;              // it is running input from a microphone or the like
    // It belongs to an ordinary application, one the user sees and switches to.
    bool isApplication = false;
    // Set only when name is a name the process declared itself: its program's
    // name, which named (and keyed) it where it declared none.
    std::string programName;

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

    // Fills in name, isApplication and programName of a process whose
    // objectID, pid and bundleID are set: one lookup of its application, by
    // its bundle ID where the platform has one.
    static void identify(AudioProcess& process, const Sources& sources);

    // The kernel's short name of a process (invalid UTF-8 replaced by U+FFFD),
    // else "".
    static std::string shortName(std::int32_t pid, const ProcessInfo& processes);
};

}  // namespace morvale
