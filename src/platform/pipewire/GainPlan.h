// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/TapDescription.h"
#include "platform/pipewire/PwGraph.h"
#include "platform/pulse/server/ProcessIdentities.h"

namespace morvale::pipewire {

// A gain stage: the processes it holds at its gain.
struct GainStage {
    AudioObjectID id = 0;
    TapDescription description;
    float gain = 1.0f;
};

// Who a process object is, when known (its bundle ID or name); absent while
// it is being found.
using IdentityOf = std::function<std::optional<pulse::ProcessIdentity>(const PwGraph::Process&)>;
// The WirePlumber key a node's volume is stored under.
using KeyOf = std::function<std::string(const PwNode&)>;

struct GainPlan {
    // The gain each playback node is to be held at, by node id.
    std::map<std::uint32_t, float> gains;
    // The stage that holds a node (absent for nodes held at 1.0 because they
    // share a stored key with one we lowered).
    std::map<std::uint32_t, AudioObjectID> stageOf;
};

// Which playback nodes are held at which gain: a stage holds the streams of
// its process objects, and of processes it names by who they are; a call
// object's streams go to a stage that names its object or the call streams'
// bundle ID, never to the stage of the application that plays them. Another
// application's stream whose stored key is one of `loweredKeys` is held at
// 1.0, so that WirePlumber does not restore a gain of ours onto it. The first
// stage (by id) that claims a node holds it.
GainPlan planGains(const PwGraph& graph, const std::map<AudioObjectID, GainStage>& stages,
                   const IdentityOf& identityOf, const std::set<std::string>& loweredKeys,
                   const KeyOf& keyOf);

}  // namespace morvale::pipewire
