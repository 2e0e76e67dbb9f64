// SPDX-License-Identifier: GPL-3.0-or-later
// PipeWireAudioSystem::Impl: sending playback nodes to the sinks their routes
// name, through the "target.object" key of the default metadata, which the
// session manager links a stream by.
//
// The key holds the sink's node.name: the session manager then links the
// stream to that sink while it exists, to the default sink while it does not,
// and back to it when it returns. A node is given its target from its global
// on, before the session manager links it, so that its first sample already
// plays there. A target is set once per node and route: a move made in
// another mixer afterwards is left alone. Clearing it (with the older
// "target.node", which the session manager's own stream memory sets) lets the
// stream follow the default again. Targets stay when this program goes:
// streams stay where the user sent them.

#include "platform/pipewire/PwImpl.h"

namespace morvale::pipewire {

pw_metadata* Impl::defaultMetadata() const {
    for (const auto& [id, b] : bound) {
        if (b->kind == Bound::Kind::metadata) {
            return reinterpret_cast<pw_metadata*>(b->proxy);
        }
    }
    return nullptr;
}

void Impl::applyRoutes() {
    if (routes.empty() && routedNodes.empty()) {
        return;
    }
    pw_metadata* metadata = defaultMetadata();
    if (metadata == nullptr) {
        return;  // set once the session manager's metadata is there
    }
    // The routes are matched to nodes as gain stages are: by process object,
    // or by who the process is.
    std::map<AudioObjectID, GainStage> claims;
    AudioObjectID index = 0;
    for (const OutputRoute& route : routes) {
        ++index;
        claims.emplace(index, GainStage{index, route.streams, 1.0f});
    }
    const auto identityOf = [&](const PwGraph::Process& process) {
        auto identity = identities.lookup(process.hints);
        if (!identity && process.hints.pid > 0) {
            identity = identify(process.hints);
        }
        return identity;
    };
    const GainPlan plan =
        planGains(graph, claims, identityOf, {}, [](const PwNode&) { return std::string(); });

    for (const auto& [id, b] : bound) {
        if (b->kind != Bound::Kind::node || b->node.kind != NodeKind::playback || b->node.ours) {
            continue;
        }
        const auto claim = plan.stageOf.find(id);
        const auto routed = routedNodes.find(id);
        if (claim != plan.stageOf.end()) {
            const std::string& sink = routes[claim->second - 1].deviceUID;
            if (routed == routedNodes.end() || routed->second != sink) {
                pw_metadata_set_property(metadata, id, "target.object", nullptr, sink.c_str());
                routedNodes.insert_or_assign(id, sink);
            }
        } else if (routed != routedNodes.end()) {
            pw_metadata_set_property(metadata, id, "target.object", nullptr, nullptr);
            pw_metadata_set_property(metadata, id, "target.node", nullptr, nullptr);
            routedNodes.erase(routed);
        }
    }
}

}  // namespace morvale::pipewire
