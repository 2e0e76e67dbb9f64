// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/PwGraph.h"

#include <algorithm>
#include <set>
#include <tuple>

namespace morvale::pipewire {

NodeKind nodeKindOf(std::string_view mediaClass) {
    if (mediaClass == "Stream/Output/Audio") {
        return NodeKind::playback;
    }
    if (mediaClass == "Stream/Input/Audio") {
        return NodeKind::capture;
    }
    if (mediaClass == "Audio/Sink" || mediaClass == "Audio/Duplex") {
        return NodeKind::sink;
    }
    // Audio/Source and Audio/Source/Virtual.
    if (mediaClass.starts_with("Audio/Source")) {
        return NodeKind::source;
    }
    return NodeKind::other;
}

PwGraph::PwGraph(Clock clock) : clock_(std::move(clock)) {}

void PwGraph::put(PwClient client) {
    const std::uint32_t id = client.id;
    clients_[id] = std::move(client);
    rebuild();
}

void PwGraph::put(PwNode node) {
    const std::uint32_t id = node.id;
    nodes_[id] = std::move(node);
    rebuild();
}

void PwGraph::put(PwLink link) {
    const std::uint32_t id = link.id;
    links_[id] = link;
    rebuild();
}

void PwGraph::remove(std::uint32_t id) {
    const bool known = clients_.erase(id) + nodes_.erase(id) + links_.erase(id) > 0;
    if (known) {
        rebuild();
    }
}

void PwGraph::setDefaultSinkName(std::string name) {
    defaultSink_ = std::move(name);
}

void PwGraph::reset() {
    clients_.clear();
    nodes_.clear();
    links_.clear();
    defaultSink_.clear();
    rebuild();
}

const PwNode* PwGraph::node(std::uint32_t id) const {
    const auto it = nodes_.find(id);
    return it == nodes_.end() ? nullptr : &it->second;
}

std::int32_t PwGraph::ownerPid(const PwNode& node) const {
    const auto client = clients_.find(node.client);
    if (node.ours || (client != clients_.end() && client->second.ours)) {
        return 0;
    }
    if (node.pid != 0) {
        return node.pid;
    }
    return client == clients_.end() ? 0 : client->second.pid;
}

bool PwGraph::recordsSource(const PwNode& node) const {
    if (node.kind != NodeKind::capture || node.capturesSink) {
        return false;
    }
    return std::any_of(links_.begin(), links_.end(), [&](const auto& item) {
        const PwLink& link = item.second;
        if (link.inputNode != node.id) {
            return false;
        }
        const PwNode* from = this->node(link.outputNode);
        return from != nullptr && from->kind == NodeKind::source;
    });
}

LinuxDesktop::ClientHints PwGraph::hintsOf(const PwNode& node, std::int32_t pid) const {
    LinuxDesktop::ClientHints hints = node.hints;
    hints.pid = pid;
    const auto client = clients_.find(node.client);
    if (client != clients_.end()) {
        const auto& from = client->second.hints;
        // The sandbox's app id is the client's alone: a node could claim any.
        hints.portalAppId = from.portalAppId;
        if (!hints.applicationId) {
            hints.applicationId = from.applicationId;
        }
        if (!hints.binary) {
            hints.binary = from.binary;
        }
        if (!hints.applicationName) {
            hints.applicationName = from.applicationName;
        }
    }
    return hints;
}

AudioObjectID PwGraph::idFor(std::int32_t pid, bool call,
                             std::chrono::steady_clock::time_point now) {
    auto [it, added] = pidIDs_.try_emplace({pid, call}, PidID{0, now});
    if (added) {
        it->second.id = nextID_++;
    }
    it->second.lastSeen = now;
    return it->second.id;
}

void PwGraph::rebuild() {
    const auto now = clock_();
    std::map<AudioObjectID, Process> next;
    std::map<std::uint32_t, AudioObjectID> ofNode;
    const auto processFor = [&](const PwNode& node, std::int32_t pid, bool call) -> Process& {
        const AudioObjectID id = idFor(pid, call, now);
        auto [it, added] = next.try_emplace(id);
        if (added) {
            it->second.id = id;
            it->second.pid = pid;
            it->second.call = call;
            it->second.hints = hintsOf(node, pid);
        }
        return it->second;
    };
    for (const auto& [id, node] : nodes_) {
        if (node.kind != NodeKind::playback && node.kind != NodeKind::capture) {
            continue;
        }
        const std::int32_t pid = ownerPid(node);
        if (pid <= 0) {
            continue;
        }
        if (node.kind == NodeKind::playback) {
            Process& process = processFor(node, pid, node.communication);
            process.playback.push_back(id);
            process.running = process.running || node.running;
            ofNode[id] = process.id;
        } else if (recordsSource(node)) {
            Process& process = processFor(node, pid, false);
            process.recording = process.recording || node.running;
        }
    }
    // Ids of processes that are gone are kept a while, then forgotten.
    std::erase_if(pidIDs_, [&](const auto& item) {
        return !next.contains(item.second.id) && now - item.second.lastSeen > kIdLinger;
    });

    const auto summary = [](const std::map<AudioObjectID, Process>& processes) {
        std::vector<std::tuple<AudioObjectID, bool, bool>> out;
        for (const auto& [id, p] : processes) {
            out.emplace_back(id, p.running, p.recording);
        }
        return out;
    };
    if (summary(next) != summary(processes_)) {
        ++version_;
    }
    processes_ = std::move(next);
    processOfNode_ = std::move(ofNode);

    devices_.clear();
    for (const auto& [id, node] : nodes_) {
        if (node.kind == NodeKind::sink && !node.ours && !node.name.empty()) {
            auto [it, added] = deviceIDs_.try_emplace(node.name, 0);
            if (added) {
                it->second = nextID_++;
            }
            devices_[it->second] = id;
        }
    }
}

std::vector<AudioObjectID> PwGraph::processObjects() const {
    std::vector<AudioObjectID> ids;
    ids.reserve(processes_.size());
    for (const auto& [id, process] : processes_) {
        ids.push_back(id);
    }
    return ids;
}

const PwGraph::Process* PwGraph::process(AudioObjectID id) const {
    const auto it = processes_.find(id);
    return it == processes_.end() ? nullptr : &it->second;
}

AudioObjectID PwGraph::processOf(std::uint32_t node) const {
    const auto it = processOfNode_.find(node);
    return it == processOfNode_.end() ? 0 : it->second;
}

std::vector<AudioObjectID> PwGraph::deviceObjects() const {
    std::vector<AudioObjectID> ids;
    for (const auto& [id, node] : devices_) {
        ids.push_back(id);
    }
    return ids;
}

const PwNode* PwGraph::device(AudioObjectID id) const {
    const auto it = devices_.find(id);
    return it == devices_.end() ? nullptr : node(it->second);
}

AudioObjectID PwGraph::defaultDevice() const {
    const auto it = deviceIDs_.find(defaultSink_);
    if (it == deviceIDs_.end() || !devices_.contains(it->second)) {
        return 0;
    }
    return it->second;
}

const PwNode* PwGraph::linkedSink(std::uint32_t node) const {
    for (const auto& [id, link] : links_) {
        if (link.outputNode != node) {
            continue;
        }
        if (const PwNode* peer = this->node(link.inputNode); peer && peer->kind == NodeKind::sink) {
            return peer;
        }
    }
    return nullptr;
}

}  // namespace morvale::pipewire
