// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pipewire/CallDucking.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace morvale::pipewire {
namespace {

// The settings metadata holds JSON values; a float is written bare ("0.3")
// but may come quoted from a tool.
std::optional<double> levelFrom(std::string text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    double level = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), level);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(level) ||
        level < 0.0 || level > 1.0) {
        return std::nullopt;
    }
    return level;
}

}  // namespace

std::optional<double> callDuckingDB(const DuckingFacts& facts) {
    if (facts.roleBasedTargets) {
        // A setting that is not a level from 0 to 1 counts as the default.
        const double level = facts.duckLevel
                                 ? levelFrom(*facts.duckLevel).value_or(kDefaultDuckLevel)
                                 : kDefaultDuckLevel;
        if (level <= 0.0) {
            return kSilencedDB;
        }
        return std::min(-20.0 * std::log10(level), kSilencedDB);
    }
    if (facts.endpoints) {
        return std::nullopt;
    }
    return 0.0;
}

}  // namespace morvale::pipewire
