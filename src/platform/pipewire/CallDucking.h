// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace morvale::pipewire {

// What the graph shows of the session manager's role policy.
struct DuckingFacts {
    // Sinks marked `policy.role-based.target`: WirePlumber 0.5's role-based
    // linking is configured, and it lowers lower-priority roles while a
    // higher one (a call) plays.
    bool roleBasedTargets = false;
    // Session endpoints: WirePlumber 0.4's endpoint policy is configured,
    // whose per-role actions (duck, cork, mix) the graph does not show.
    bool endpoints = false;
    // The value of "linking.role-based.duck-level" in the "sm-settings"
    // metadata, when WirePlumber publishes one.
    std::optional<std::string> duckLevel;
};

// WirePlumber's default duck level (a linear volume).
inline constexpr double kDefaultDuckLevel = 0.3;

// How far the session manager lowers other streams while a call plays, in
// decibels (0 or more): nothing without a role policy (WirePlumber's stock
// configuration on Debian 12 and 13 has none); the duck level with
// WirePlumber 0.5's role-based linking; absent (unknown) with 0.4's
// endpoints. A level of 0 (silence) is reported as kSilencedDB.
std::optional<double> callDuckingDB(const DuckingFacts& facts);

inline constexpr double kSilencedDB = 120.0;

}  // namespace morvale::pipewire
