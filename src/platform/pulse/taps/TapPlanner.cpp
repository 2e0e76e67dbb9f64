// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/TapPlanner.h"

#include <map>

namespace morvale::pulse {

std::vector<Move> planMoves(const ObjectTable& table, const std::vector<TapTarget>& taps,
                            const std::set<std::uint32_t>& inFlight) {
    std::vector<Move> moves;
    std::map<std::uint32_t, const TapTarget*> tapBySink;
    for (const TapTarget& tap : taps) {
        if (tap.sink != kNoIndex && table.sink(tap.sink) != nullptr) {
            tapBySink[tap.sink] = &tap;
        }
    }
    const SinkRecord* home = table.sinkByName(table.lastRealDefault());
    const std::uint32_t homeIndex = home != nullptr ? home->index : kNoIndex;

    // The first tap (in the order given) that captures the stream's process.
    const auto wantedBy = [&](const SinkInputRecord& input) -> const TapTarget* {
        const AudioObjectID process = table.processOf(input);
        if (process == kAudioObjectUnknown) {
            return nullptr;
        }
        for (const TapTarget& tap : taps) {
            if (tap.sink != kNoIndex && tapBySink.contains(tap.sink) &&
                tap.processes.contains(process)) {
                return &tap;
            }
        }
        return nullptr;
    };

    // The streams each tap sink holds or will hold: its own inside, and any
    // of its processes' streams being moved (counted as if on their way in).
    std::map<std::uint32_t, std::size_t> held;
    for (const auto& [index, input] : table.sinkInputs()) {
        if (input.mirror) {
            continue;
        }
        if (const TapTarget* tap = wantedBy(input);
            tap != nullptr && (input.sink == tap->sink || inFlight.contains(index))) {
            ++held[tap->sink];
        }
    }

    // The streams each sink holds that stay there for now (those being
    // moved are counted where they go, as far as they go into a tap sink).
    std::map<std::uint32_t, std::size_t> onSink;
    for (const auto& [index, input] : table.sinkInputs()) {
        if (!input.mirror && !inFlight.contains(index)) {
            ++onSink[input.sink];
        }
    }

    for (const auto& [index, input] : table.sinkInputs()) {
        if (inFlight.contains(index) || input.mirror) {
            continue;
        }
        if (const TapTarget* wanted = wantedBy(input)) {
            if (input.sink == wanted->sink) {
                continue;
            }
            const bool roomInside = held[wanted->sink] < wanted->room;
            const bool heardWhereItIs = onSink[input.sink] <= wanted->room;
            if (roomInside || !heardWhereItIs) {
                ++held[wanted->sink];
                --onSink[input.sink];
                moves.push_back({Move::Kind::capture, index, wanted->sink});
            }
        } else if (tapBySink.contains(input.sink)) {
            if (input.client != kNoIndex && !table.clients().contains(input.client)) {
                continue;  // whose stream it is is not known yet
            }
            moves.push_back({Move::Kind::evict, index, homeIndex});
        }
    }
    return moves;
}

}  // namespace morvale::pulse
