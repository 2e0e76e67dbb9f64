#include "platform/pulse/TapPlanner.h"

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

    for (const auto& [index, input] : table.sinkInputs()) {
        if (inFlight.contains(index) || input.mirror) {
            continue;
        }
        const AudioObjectID process = table.processOf(input);
        // The first tap (in the order given) that captures this process wins.
        const TapTarget* wanted = nullptr;
        if (process != kAudioObjectUnknown) {
            for (const TapTarget& tap : taps) {
                if (tap.sink != kNoIndex && tapBySink.contains(tap.sink) &&
                    tap.processes.contains(process)) {
                    wanted = &tap;
                    break;
                }
            }
        }
        if (wanted != nullptr) {
            if (input.sink != wanted->sink) {
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
