// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "model/Model.h"

namespace morvale {

// Builds models that are not the shared one, over whatever simulated platform
// a test or benchmark sets up, and lets tests look at the sessions a model
// keeps. The program itself never includes this header: it has one model.
class ModelTesting {
public:
    // Session jobs run at once, on the caller's thread, and report back
    // before the call that queued them returns.
    static std::unique_ptr<Model> make(const Platform& platform) {
        static InlineSessionExecutor inlineJobs;
        return make(platform, inlineJobs);
    }

    // Session jobs run on the executor, which must outlive the model.
    static std::unique_ptr<Model> make(const Platform& platform, SessionExecutor& sessionJobs) {
        return std::unique_ptr<Model>(new Model(platform, sessionJobs));
    }

    // The key's session, once its start job has run (and until its stop job
    // runs); null while none is. Only while no job runs: after drain().
    static const TapSession* session(const Model& model, const std::string& key) {
        const auto it = model.sessions_.find(key);
        return it == model.sessions_.end() ? nullptr : it->second.cell->session.get();
    }

    // The key has a session whose start job has reported back.
    static bool sessionRunning(const Model& model, const std::string& key) {
        const auto it = model.sessions_.find(key);
        return it != model.sessions_.end() && it->second.running;
    }

    static std::size_t sessionCount(const Model& model) { return model.sessions_.size(); }
};

}  // namespace morvale
