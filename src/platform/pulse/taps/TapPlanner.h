// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "platform/pulse/server/ObjectTable.h"

namespace morvale::pulse {

// What one of this program's taps wants: the process objects it captures and
// the sink (by index) that captures them, once that sink exists.
struct TapTarget {
    std::set<AudioObjectID> processes;
    std::uint32_t sink = kNoIndex;
    // How many streams the server mixes into one sink, with one to spare;
    // any beyond are not heard. The tap sink takes in no more of the
    // processes' streams while the rest can be heard where they play.
    std::size_t room = std::numeric_limits<std::size_t>::max();
};

struct Move {
    enum class Kind {
        capture,  // a stream of a tapped process goes into its tap sink
        evict,    // a stream that does not belong in a tap sink goes out of it
    };
    Kind kind;
    std::uint32_t input;
    std::uint32_t sink;  // the destination; kNoIndex for an eviction with no real sink to go to
};

// The moves that bring the server in line with the taps: every stream of a
// tapped process into its tap's sink, and every other stream (a foreign one
// placed there by the server's stream restore or by its default, or one of
// our own) out of a tap sink of ours, to the real default sink. Streams in
// `inFlight` are being moved already, and call mirrors stay where they are.
// A tap sink that holds its `room` of streams (counting those on their way
// in) takes in no more while the sink a newer stream plays on has room for
// it: there it is heard, at its own volume, and inside it would not be. A
// stream on a sink beyond its room goes in all the same, leaving that sink's
// room to the streams before it and to the tap's replay. The oldest streams
// go in first; none is moved out to make room.
std::vector<Move> planMoves(const ObjectTable& table, const std::vector<TapTarget>& taps,
                            const std::set<std::uint32_t>& inFlight);

}  // namespace morvale::pulse
