// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/replay/ReplayTarget.h"

#include <algorithm>

namespace morvale::pulse {

namespace {

// How long after a (re)start an underflow is part of filling up.
constexpr std::chrono::milliseconds kStartUp{500};

}  // namespace

ReplayTarget::ReplayTarget(std::chrono::milliseconds shortest, std::chrono::milliseconds longest,
                           std::chrono::milliseconds calm)
    : shortest_(shortest), longest_(std::max(longest, shortest)), calm_(calm), current_(shortest) {}

std::optional<std::chrono::milliseconds> ReplayTarget::restart(Clock::time_point now) {
    started_ = changed_ = now;
    if (current_ == shortest_) {
        return std::nullopt;
    }
    current_ = shortest_;
    return current_;
}

std::optional<std::chrono::milliseconds> ReplayTarget::underflow(Clock::time_point now) {
    if (now - started_ < kStartUp) {
        return std::nullopt;
    }
    changed_ = now;  // not calm, even at the longest target
    if (current_ >= longest_) {
        return std::nullopt;
    }
    current_ = std::min(longest_, current_ + current_ / 2);
    return current_;
}

std::optional<std::chrono::milliseconds> ReplayTarget::settle(Clock::time_point now) {
    if (current_ <= shortest_ || now - changed_ < calm_) {
        return std::nullopt;
    }
    current_ = std::max(shortest_, current_ * 2 / 3);
    changed_ = now;
    return current_;
}

}  // namespace morvale::pulse
