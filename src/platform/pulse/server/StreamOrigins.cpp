// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/server/StreamOrigins.h"

#include <algorithm>

namespace morvale::pulse {

void StreamOrigins::observe(const ObjectTable& table, std::uint32_t tapSink,
                            const std::set<std::uint32_t>& members,
                            const std::set<std::uint32_t>& inFlight) {
    relinking_.clear();
    for (const auto& [index, input] : table.sinkInputs()) {
        const SinkRecord* sink = table.sink(input.sink);
        const bool inside = input.sink == tapSink;
        const bool onRealSink = sink != nullptr && !sink->isTap();
        const auto known = origins_.find(index);
        if (!members.contains(index)) {
            if (known != origins_.end() && !inside) {
                origins_.erase(known);  // let go of, and out
            }
            linked_.erase(index);
            continue;
        }
        if (sink != nullptr) {
            linked_.insert(index);
        } else if (linked_.contains(index)) {
            relinking_.insert(index);
            continue;
        }
        if (inside) {
            if (known != origins_.end()) {
                known->second.arrived = true;
            }
            continue;
        }
        if (!onRealSink || inFlight.contains(index)) {
            continue;
        }
        if (known == origins_.end() || !known->second.arrived) {
            origins_.insert_or_assign(
                index, Origin{sink->name, sink->name == table.lastRealDefault(), false});
        } else {
            known->second = Origin{sink->name, false, false};
            chosen_ = sink->name;
        }
    }
    std::erase_if(origins_,
                  [&](const auto& item) { return !table.sinkInputs().contains(item.first); });
    std::erase_if(linked_,
                  [&](std::uint32_t input) { return !table.sinkInputs().contains(input); });
}

void StreamOrigins::sentBack(std::uint32_t input) {
    if (const auto it = origins_.find(input); it != origins_.end()) {
        it->second.arrived = false;
    }
}

void StreamOrigins::choose(const std::string& sink) {
    chosen_ = sink;
    for (auto& [input, origin] : origins_) {
        origin.sink = sink;
        origin.wasDefault = false;
    }
}

const StreamOrigins::Origin* StreamOrigins::find(std::uint32_t input) const {
    const auto it = origins_.find(input);
    return it == origins_.end() ? nullptr : &it->second;
}

void StreamOrigins::clear() {
    origins_.clear();
    chosen_.reset();
    linked_.clear();
    relinking_.clear();
}

std::string StreamOrigins::replaySink(const std::string& current,
                                      const std::string& onDefault) const {
    if (chosen_) {
        return *chosen_;
    }
    if (origins_.empty()) {
        return current.empty() ? onDefault : current;
    }
    // A stream that played on the default plays on whatever is the default.
    const auto from = [&](const Origin& origin) {
        return origin.wasDefault ? onDefault : origin.sink;
    };
    // One replay plays on one sink. With the streams on several, it stays
    // where it plays while some stream came from there, else it goes where
    // the oldest came from: a short sound of the application on another
    // sink must not carry the streams the user routed away with it.
    const bool fromCurrent = std::any_of(origins_.begin(), origins_.end(),
                                         [&](const auto& item) { return from(item.second) == current; });
    return fromCurrent ? current : from(origins_.begin()->second);
}

}  // namespace morvale::pulse
