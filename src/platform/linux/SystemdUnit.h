// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvale::LinuxDesktop {

// The innermost .scope or .service unit in a /proc/PID/cgroup text (the
// unified hierarchy, or systemd's own in a legacy layout). Only that unit
// counts: the slices above it may belong to a launcher, such as a terminal
// whose children get scopes of their own.
std::optional<std::string> innermostUnit(std::string_view cgroupText);

// Undoes systemd's \xNN escapes in a unit name part.
std::string unescapeUnitName(std::string_view text);

// Desktop file IDs that a unit may name, most likely first:
//  app[-<launcher>]-<app id>[@<random>].service
//  app[-<launcher>]-<app id>-<random>.scope     ("app-gnome-firefox\x2desr-4242.scope")
//  snap.<snap>.<app>-<uuid>.scope              ("firefox_firefox.desktop")
// Whether the launcher part is there cannot be told from the name alone, so
// both readings are offered when the name allows both. Empty for other units.
std::vector<std::string> desktopIdsForUnit(std::string_view unit);

}  // namespace morvale::LinuxDesktop
