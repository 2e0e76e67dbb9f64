// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvale::pulse {

// A loaded module that acts on media roles: its name and its argument text,
// as the server lists them.
struct RoleModule {
    std::string name;
    std::string argument;
};

// How far PulseAudio lowers other streams while a call (a stream of the media
// role "phone") plays, in decibels (0 or more), from its loaded modules:
// module-role-ducking lowers the streams of its ducking roles to its `volume`
// (-20 dB unless given) for each group whose trigger roles hold "phone"
// (groups are separated by '/', and their volumes multiply). module-role-cork
// pauses them instead, which no gain undoes; without either nothing is
// lowered. Absent where the argument can not be read as the server reads it.
std::optional<double> callDuckingDB(const std::vector<RoleModule>& modules);

// A volume as PulseAudio's module arguments write it, in decibels: "-20dB",
// "40%" (of the cubic volume scale), or a raw volume (65536 is 100%).
std::optional<double> moduleVolumeDB(std::string_view text);

}  // namespace morvale::pulse
