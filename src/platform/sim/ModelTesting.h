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
    static std::unique_ptr<Model> make(const Platform& platform) {
        return std::unique_ptr<Model>(new Model(platform));
    }

    static const TapSession* session(const Model& model, const std::string& key) {
        const auto it = model.sessions_.find(key);
        return it == model.sessions_.end() ? nullptr : it->second.get();
    }

    static std::size_t sessionCount(const Model& model) { return model.sessions_.size(); }
};

}  // namespace morvale
