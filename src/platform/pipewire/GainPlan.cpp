// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/GainPlan.h"

#include <algorithm>
#include <string>

#include "platform/CallGroup.h"

namespace morvale::pipewire {

namespace {

bool names(const TapDescription& description, AudioObjectID process) {
    return std::find(description.processes.begin(), description.processes.end(), process) !=
           description.processes.end();
}

}  // namespace

GainPlan planGains(const PwGraph& graph, const std::map<AudioObjectID, GainStage>& stages,
                   const IdentityOf& identityOf, const std::set<std::string>& loweredKeys,
                   const KeyOf& keyOf) {
    GainPlan plan;
    for (const AudioObjectID id : graph.processObjects()) {
        const PwGraph::Process* process = graph.process(id);
        // A call object is who its streams are, whichever process plays them.
        std::optional<pulse::ProcessIdentity> identity;
        if (process->call) {
            identity = pulse::ProcessIdentity{std::string(kCallStreamsBundleID), {}};
        } else if (identityOf) {
            identity = identityOf(*process);
        }
        const GainStage* holder = nullptr;
        for (const auto& [stageID, stage] : stages) {
            if (names(stage.description, id) ||
                (identity &&
                 stage.description.capturesIdentity(identity->bundleID, identity->name))) {
                holder = &stage;
                break;
            }
        }
        if (holder == nullptr) {
            continue;
        }
        for (const std::uint32_t node : process->playback) {
            plan.gains[node] = holder->gain;
            plan.stageOf[node] = holder->id;
        }
    }
    if (loweredKeys.empty()) {
        return plan;
    }
    for (const auto& [id, node] : graph.nodes()) {
        if (node.kind != NodeKind::playback || plan.gains.contains(id) ||
            graph.ownerPid(node) <= 0) {
            continue;
        }
        if (loweredKeys.contains(keyOf(node))) {
            plan.gains[id] = 1.0f;
        }
    }
    return plan;
}

}  // namespace morvale::pipewire
