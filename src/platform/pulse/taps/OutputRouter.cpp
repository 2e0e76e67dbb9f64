// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/OutputRouter.h"

namespace morvale::pulse {

std::vector<OutputRouter::Move> OutputRouter::update(
    const ObjectTable& table, const std::map<std::uint32_t, std::string>& wanted,
    const std::function<bool(std::uint32_t)>& held) {
    std::erase_if(streams_,
                  [&](const auto& item) { return !table.sinkInputs().contains(item.first); });
    std::vector<Move> moves;
    const SinkRecord* defaultSink = table.sinkByName(table.lastRealDefault());
    for (const auto& [index, input] : table.sinkInputs()) {
        if (input.ours || input.mirror) {
            continue;
        }
        const auto want = wanted.find(index);
        auto known = streams_.find(index);
        if (want == wanted.end()) {
            if (known == streams_.end()) {
                continue;  // never routed: never moved
            }
            if (!known->second.sink.empty()) {
                // Let go of: back to the default.
                known->second.pinnedTo = std::move(known->second.sink);
                known->second.sink.clear();
                known->second.placed = false;
            }
        } else if (known == streams_.end() || known->second.sink != want->second) {
            known = streams_.insert_or_assign(index, Placement{want->second, false}).first;
        }
        Placement& placement = known->second;
        if (placement.sentTo == input.sink) {
            placement.sentTo = kNoIndex;  // landed
        }
        if (held(index)) {
            // The tap sends it to `wish` when it lets it go; a move made in
            // another mixer meanwhile is the user's, and is kept.
            placement.placed = true;
            continue;
        }
        const SinkRecord* current = table.sink(input.sink);
        if (placement.sink.empty()) {
            // PipeWire's server lists a stream it relinks without a sink, and
            // a move of ours may be on its way: it is unpinned once it has
            // landed.
            if ((current == nullptr && defaultSink != nullptr) || placement.sentTo != kNoIndex) {
                continue;
            }
            if (defaultSink != nullptr && current == defaultSink &&
                (placement.away || table.sinkByName(placement.pinnedTo) == nullptr)) {
                // On the default because its sink went away: no move can
                // unpin it here, and PulseAudio brings a stream back to the
                // sink it was last moved to when that returns. It is
                // unpinned when it lands there.
                placement.away = true;
                continue;
            }
            if (defaultSink != nullptr && current != defaultSink &&
                (!placement.away || current->name == placement.pinnedTo)) {
                moves.push_back({index, defaultSink->index});
            }
            streams_.erase(known);
            continue;
        }
        const SinkRecord* target = table.sinkByName(placement.sink);
        if (target == nullptr || target->isTap()) {
            placement.placed = false;  // it plays on the default meanwhile
            placement.away = true;
            continue;
        }
        if (placement.placed) {
            if (placement.unpinned && current != nullptr && current != target) {
                // Where it went decides: along with a new default, it goes
                // back; elsewhere, someone moved it.
                placement.unpinned = false;
                if (current == defaultSink && placement.sentTo == kNoIndex) {
                    placement.sentTo = target->index;
                    moves.push_back({index, target->index});
                }
            }
            continue;
        }
        placement.placed = true;
        placement.away = false;
        // Both servers pin a stream to a sink it is moved to, but not to the
        // default sink, nor to the one it already plays on: such a stream
        // would follow the next change of the default.
        placement.unpinned = input.sink == target->index || target == defaultSink;
        if (input.sink != target->index) {
            placement.sentTo = target->index;
            moves.push_back({index, target->index});
        }
    }
    return moves;
}

std::optional<std::string> OutputRouter::wish(std::uint32_t input) const {
    const auto it = streams_.find(input);
    return it == streams_.end() ? std::nullopt : std::optional(it->second.sink);
}

}  // namespace morvale::pulse
