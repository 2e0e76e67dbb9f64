// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

#include "model/Model.h"
#include "platform/sim/ModelTesting.h"
#include "platform/sim/SimPlatform.h"

namespace morvale::testing {

// A simulated desktop with one output device, and helpers to put applications
// on it and to see what gain a model's tap sessions play at.
class ModelFixture {
public:
    sim::SimPlatform sim;
    AudioObjectID speakers = sim.audio.addOutputDevice("speakers");

    ModelFixture() { sim.audio.setDefaultOutputDevice(speakers); }

    // An audio client of an ordinary application (regular) or a background process.
    AudioObjectID addClient(std::int32_t pid, std::optional<std::string> bundleID,
                            const std::string& name, bool playing, bool regular = true) {
        if (regular) {
            sim.processes.applications[pid] = RunningApplication{name, ActivationPolicy::regular};
        }
        return sim.audio.addProcess(pid, std::move(bundleID), playing);
    }

    std::unique_ptr<Model> makeModel() { return ModelTesting::make(sim.platform()); }

    // One timer period: the tick queues a refresh, the main loop runs it.
    void tick() { sim.advance(Model::refreshInterval); }

    // The gain the key's session plays at; absent when the key has no session.
    static std::optional<float> outputLevel(const Model& model, const std::string& key) {
        const TapSession* session = ModelTesting::session(model, key);
        return session ? std::optional(session->gain().value()) : std::nullopt;
    }

    static std::size_t sessionCount(const Model& m) { return ModelTesting::sessionCount(m); }
};

}  // namespace morvale::testing
