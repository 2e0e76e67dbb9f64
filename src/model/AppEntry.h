#pragma once

#include <string>
#include <vector>

#include "platform/AudioHardware.h"
#include "platform/Icon.h"

namespace morvale {

// One application row: a group key with its name, icon, audio process objects
// (ascending) and whether any of them is playing.
struct AppEntry {
    std::string id;  // the group key; the row's identity
    std::string name;
    Icon icon;
    std::vector<AudioObjectID> objects;
    bool isPlaying = false;

    // An entry without process objects is kept only for its stored volume (or
    // because it is FaceTime's); its application is not running.
    bool isRunning() const { return !objects.empty(); }

    friend bool operator==(const AppEntry&, const AppEntry&) = default;
};

}  // namespace morvale
