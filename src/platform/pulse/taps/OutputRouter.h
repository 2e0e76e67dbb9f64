// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/pulse/server/ObjectTable.h"

namespace morvale::pulse {

// Sends the playback streams that routes name to their sinks, and lets go of
// them again, with as few moves as that takes. Plain data over the object
// table: the owner works out which sink each stream is to play on and sends
// the moves this hands back.
//
// A stream is moved when a route first names it (a new stream, as soon as it
// is listed; PipeWire's server takes the move before it links the stream),
// when its route names another sink, and when its route's sink comes back
// after it was gone (the server had sent the stream to the default), and
// when the server takes it along with a change of the default because no
// move pinned it (it was on its sink already, or that was the default). In
// between it is left where it is: a move made in another mixer is followed.
// A stream that no route names any more is moved to the default sink once,
// which unpins it on both servers (a stream moved to the default follows the
// default from then on); one that already plays on the default because its
// sink went away is moved to the default when the server brings it back to
// that sink.
// A stream that no route ever named is never moved.
// Streams a tap holds are the tap's to move: the tap asks `wish` where they
// go when it lets them go.
class OutputRouter {
public:
    struct Move {
        std::uint32_t input = kNoIndex;
        std::uint32_t sink = kNoIndex;

        friend bool operator==(const Move&, const Move&) = default;
    };

    // `wanted`: the sink name each routed stream is to play on, by
    // sink-input index. `held`: whether a tap holds the stream now (it is
    // captured, or sits in a tap sink). Returns the moves to send.
    std::vector<Move> update(const ObjectTable& table,
                             const std::map<std::uint32_t, std::string>& wanted,
                             const std::function<bool(std::uint32_t)>& held);

    // Where a stream goes when a tap lets go of it: the name of its route's
    // sink; empty when it is to follow the default again (its route was
    // removed); absent when no route ever named it.
    std::optional<std::string> wish(std::uint32_t input) const;

    // The connection goes: its sink-input indices mean nothing on the next.
    void clear() { streams_.clear(); }

private:
    struct Placement {
        std::string sink;     // empty: to follow the default again
        bool placed = false;  // sent there (or found there) while the sink is present
        // The sink a move of ours is on its way to, until the stream shows
        // it there: a stream unrouted meanwhile is unpinned once it lands.
        std::uint32_t sentTo = kNoIndex;
        std::string pinnedTo;   // the sink it was routed to before it was let go of
        bool away = false;      // the server sent it to the default while its sink was away
        bool unpinned = false;  // placed without a move that pins it
    };
    std::map<std::uint32_t, Placement> streams_;
};

}  // namespace morvale::pulse
