// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/Icon.h"

namespace morvale {

// One application row: a group key with its name, icon, audio process objects
// (ascending) and whether any of them is playing or recording.
struct AppEntry {
    std::string id;  // the group key; the row's identity
    std::string name;
    Icon icon;
    std::vector<AudioObjectID> objects;
    bool isPlaying = false;
    bool isRecording = false;  // from a microphone or the like

    // An entry without process objects is kept only for its stored volume (or
    // because it is the call row); its application is not running.
    bool isRunning() const { return !objects.empty(); }

    // The application records while it plays: it is in a call (in a browser,
    // or a call application whose streams are not marked as a call's), and
    // what it plays is the call's own audio.
    bool isInCall() const { return isRecording && isPlaying; }

    friend bool operator==(const AppEntry&, const AppEntry&) = default;
};

}  // namespace morvale
