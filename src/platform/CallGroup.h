// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/Icon.h"

namespace morvale {

// The bundle identifier of a process object that stands for one process's
// voice-call streams (on PulseAudio and PipeWire: its playback streams with
// the media role "phone"). Such an object has the process's pid, exists while
// the process has such a stream and plays while one of them plays; tapping it
// captures those streams only, and tapping the process's own object no longer
// does. No desktop file ID or process name looks like this.
inline constexpr std::string_view kCallStreamsBundleID = "media.role=phone";

// The row that stands for voice calls: which audio process objects belong to
// it, and how it is named and drawn. Which ones and how is the platform's
// choice; the row's group key is the same everywhere, so that a volume stored
// for it carries over.
struct CallGroup {
    std::string name;
    // Process names and bundle identifiers of its members (one set for both).
    std::unordered_set<std::string> members;
    // The installed application whose icon the row shows, when it is installed.
    std::optional<std::string> iconApplication;
    // Otherwise this picture; null: the generic application icon.
    Icon icon;
};

}  // namespace morvale
