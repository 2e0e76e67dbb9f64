// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>

namespace morvale::pulse {

// How an IO proc records and replays: the capture fragment, and the replay's
// target length while it keeps up.
struct ReplayTiming {
    std::chrono::milliseconds fragment{10};
    std::chrono::milliseconds target{30};
};

// The target length of a replay stream: short while the replay keeps up,
// longer after it ran dry. A busy desktop can hold up the thread that feeds
// the replay for longer than a short buffer lasts, while the applications
// themselves buffer 50 to 300 ms; so the target grows by half after each
// underflow (up to `longest`), and shrinks back a step after each `calm`
// stretch without one. An underflow in the first moments after a (re)start,
// while the replay fills up, does not count.
class ReplayTarget {
public:
    using Clock = std::chrono::steady_clock;

    ReplayTarget(std::chrono::milliseconds shortest, std::chrono::milliseconds longest,
                 std::chrono::milliseconds calm);

    std::chrono::milliseconds current() const { return current_; }

    // The replay (re)starts at `now` with the shortest target; that target,
    // if it was longer before.
    std::optional<std::chrono::milliseconds> restart(Clock::time_point now);
    // The replay ran dry at `now`; the longer target, if it grew.
    std::optional<std::chrono::milliseconds> underflow(Clock::time_point now);
    // The shorter target, when a calm stretch ended at `now`.
    std::optional<std::chrono::milliseconds> settle(Clock::time_point now);

private:
    std::chrono::milliseconds shortest_;
    std::chrono::milliseconds longest_;
    std::chrono::milliseconds calm_;
    std::chrono::milliseconds current_;
    Clock::time_point started_{};
    Clock::time_point changed_{};
};

}  // namespace morvale::pulse
