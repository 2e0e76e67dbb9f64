// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/pulse/server/ObjectTable.h"

namespace morvale::pulse {

// Where the streams of one tap's processes play when they are not captured,
// so that the user's routing stays theirs: the tap's replay plays there, and
// the streams go back there when the tap lets them go. A stream that someone
// (the user, in another mixer) moves out of the tap sink to a real sink while
// it is captured has chosen that sink: it is captured again, and the replay
// follows it there.
class StreamOrigins {
public:
    struct Origin {
        std::string sink;
        bool wasDefault = false;  // it played on whatever the default was
        bool arrived = false;     // seen inside the tap sink since it last left
    };

    // Brings the origins in line with the server, for the streams of the
    // tap's processes (`members`) and the tap's sink. A member's stream on a
    // real sink that has not reached the tap sink yet plays there on its own
    // accord: that is its origin. One that had arrived and is now on a real
    // sink, not by a move of ours (`inFlight`), was moved there by someone
    // else: that is its origin from now on, and the choice for the whole
    // tap. Streams that are gone, or that are no member and out of the tap
    // sink, are forgotten.
    void observe(const ObjectTable& table, std::uint32_t tapSink,
                 const std::set<std::uint32_t>& members, const std::set<std::uint32_t>& inFlight);
    // A stream is being moved back out of the tap sink by us.
    void sentBack(std::uint32_t input);
    // Someone moved the tap's replay to this sink: that is where the tap's
    // streams play from now on, and where they go back to.
    void choose(const std::string& sink);
    // Members' streams that played on a sink and show none now, as of the
    // last observe: someone is moving them. PipeWire's server unlinks a
    // stream while its session manager links it where it was sent; where it
    // lands is the mover's to say, and a move of ours meanwhile would undo a
    // user's choice before it is ever seen.
    const std::set<std::uint32_t>& relinking() const { return relinking_; }

    const Origin* find(std::uint32_t input) const;
    // The sink someone moved a captured stream to, if anyone did.
    const std::optional<std::string>& chosen() const { return chosen_; }
    void clear();

    // The sink the replay plays to: the choice made while captured; else the
    // sink the streams came from (`onDefault` for those that came from the
    // default, as they would follow it); with streams from several, where it
    // plays now (`current`) if one came from there, else where the oldest
    // came from. With no stream known, where it plays now (`onDefault` when
    // nowhere yet), so that a player that closes its stream between tracks
    // does not send the replay away meanwhile.
    std::string replaySink(const std::string& current, const std::string& onDefault) const;

private:
    std::map<std::uint32_t, Origin> origins_;
    std::optional<std::string> chosen_;
    std::set<std::uint32_t> linked_;  // members' streams seen on a sink
    std::set<std::uint32_t> relinking_;
};

}  // namespace morvale::pulse
