// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/pulse/taps/CallMirrors.h"

namespace morvale::pulse {

std::set<std::uint32_t> callMirrorSinks(const ObjectTable& table,
                                        const std::map<std::uint32_t, std::uint32_t>& replays) {
    // The real sink a sink's sound ends up on: its replay's for a tap sink.
    const auto realSinkOf = [&](std::uint32_t sink) {
        const auto it = replays.find(sink);
        return it != replays.end() ? it->second : sink;
    };
    std::set<std::uint32_t> calling;  // sinks with a call of their own
    std::set<std::uint32_t> heard;    // real sinks where a call is heard
    for (const auto& [index, input] : table.sinkInputs()) {
        if (input.phone && !input.corked && !input.ours) {
            calling.insert(input.sink);
            heard.insert(realSinkOf(input.sink));
        }
    }
    std::set<std::uint32_t> wanted;
    const auto want = [&](std::uint32_t sink) {
        if (!calling.contains(sink) && table.sink(sink) != nullptr) {
            wanted.insert(sink);
        }
    };
    for (const auto& [tapSink, realSink] : replays) {
        if (heard.contains(realSink)) {
            want(tapSink);
            want(realSink);
        }
    }
    return wanted;
}

}  // namespace morvale::pulse
