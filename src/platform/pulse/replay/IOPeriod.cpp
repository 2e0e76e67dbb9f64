// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/replay/IOPeriod.h"

#include <algorithm>

namespace morvale::pulse {

namespace {

// Up to this many streams the cost of short periods is small.
constexpr std::size_t kFewStreams = 4;
constexpr int kLongest = 4;  // times the shortest period

}  // namespace

std::chrono::milliseconds ioPeriod(std::chrono::milliseconds shortest,
                                   const std::vector<std::chrono::microseconds>& streamLatencies) {
    if (streamLatencies.size() <= kFewStreams || shortest.count() <= 0) {
        return shortest;
    }
    std::chrono::microseconds least = std::chrono::microseconds::max();
    for (const auto latency : streamLatencies) {
        if (latency.count() > 0) {
            least = std::min(least, latency);
        }
    }
    if (least == std::chrono::microseconds::max()) {
        return shortest;
    }
    const auto multiple = std::clamp<std::int64_t>(least / shortest, 1, kLongest);
    return shortest * multiple;
}

}  // namespace morvale::pulse
