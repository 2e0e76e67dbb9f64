// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

#include "audio/AudioProcess.h"
#include "catalog/Volumes.h"
#include "platform/GroupingRules.h"

namespace morvale {

// A process that declares a name of its own is keyed by it ("proc:Tunebox"),
// where it used to be keyed by its program's name ("proc:paplay"). A volume
// stored under the program's key still applies to it, as long as none is
// stored under its own key; the first volume set for its own key takes the
// program's key's place (see Model::setVolume).
struct InheritedVolumes {
    // Keys of this snapshot without a stored volume, each with the program
    // key whose stored volume is theirs.
    std::map<std::string, std::string, std::less<>> from;
    // The stored volumes with those under their new keys, and without the
    // program keys that no process of this snapshot is keyed by itself: what
    // decides which rows are shown, so that one application does not get a
    // second, remembered row under its program's name.
    Volumes volumes;
};

// Absent when no process of the snapshot inherits a volume.
std::optional<InheritedVolumes> inheritVolumes(const std::vector<AudioProcess>& snapshot,
                                               const Volumes& stored, const GroupingRules& rules);

}  // namespace morvale
