// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/pipewire/PwGraph.h"

namespace morvale::pipewire::testing {

// Feeds a PwGraph as registry and info events would, with a clock the test moves.
struct GraphBuilder {
    std::chrono::steady_clock::time_point now{};
    PwGraph graph{[this] { return now; }};

    void client(std::uint32_t id, std::int32_t pid, bool ours = false,
                std::string binary = "player") {
        PwClient c;
        c.id = id;
        c.pid = pid;
        c.ours = ours;
        c.hints.pid = pid;
        c.hints.binary = std::move(binary);
        graph.put(c);
    }
    PwNode& base(PwNode& n, std::uint32_t id, std::uint32_t client, NodeKind kind) {
        n.id = id;
        n.client = client;
        n.kind = kind;
        n.name = "node" + std::to_string(id);
        return n;
    }
    void play(std::uint32_t id, std::uint32_t client, bool running = true,
              bool communication = false, std::int32_t pid = 0) {
        PwNode n;
        base(n, id, client, NodeKind::playback);
        n.running = running;
        n.communication = communication;
        n.pid = pid;
        n.memoryProperties["media.class"] = "Stream/Output/Audio";
        n.memoryProperties["application.name"] = "app" + std::to_string(client);
        graph.put(n);
    }
    void capture(std::uint32_t id, std::uint32_t client, bool running = true,
                 bool capturesSink = false) {
        PwNode n;
        base(n, id, client, NodeKind::capture);
        n.running = running;
        n.capturesSink = capturesSink;
        graph.put(n);
    }
    void device(std::uint32_t id, NodeKind kind, std::string name) {
        PwNode n;
        base(n, id, kNoID, kind);
        n.name = std::move(name);
        graph.put(n);
    }
    void link(std::uint32_t id, std::uint32_t from, std::uint32_t to) {
        graph.put(PwLink{id, from, to});
    }

    // The process objects' pids, with call objects as negative pids.
    std::vector<std::int32_t> pids() const {
        std::vector<std::int32_t> out;
        for (const AudioObjectID id : graph.processObjects()) {
            const auto* p = graph.process(id);
            out.push_back(p->call ? -p->pid : p->pid);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    const PwGraph::Process* find(std::int32_t pid, bool call = false) const {
        for (const AudioObjectID id : graph.processObjects()) {
            const auto* p = graph.process(id);
            if (p->pid == pid && p->call == call) {
                return p;
            }
        }
        return nullptr;
    }
};

}  // namespace morvale::pipewire::testing
