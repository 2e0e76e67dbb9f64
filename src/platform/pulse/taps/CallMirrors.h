// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "platform/pulse/server/ObjectTable.h"

namespace morvale::pulse {

// Role-based modules (role-cork, role-ducking) silence or lower music while a
// voice call plays, but only among the streams of the call's own sink. A
// tapped stream sits in a tap sink whose replay plays on a real sink: to
// those modules, a call on the real sink and the music in the tap sink (or a
// tapped call and the music on the real sink) never meet. So that tapped
// streams are treated as they would be untapped, every sink that shares a
// real sink with a playing call (the real sink itself, and the tap sinks
// whose replays play there) and has no call of its own gets a silent call
// stream of ours, a mirror, for the module to see.
//
// The sinks (by index) that want a mirror now. `replays` maps each tap sink
// whose replay plays to the real sink it plays on. A call is an uncorked
// stream with the media role "phone" that is not ours (mirrors are ours, so
// they never keep themselves alive).
std::set<std::uint32_t> callMirrorSinks(const ObjectTable& table,
                                        const std::map<std::uint32_t, std::uint32_t>& replays);

}  // namespace morvale::pulse
