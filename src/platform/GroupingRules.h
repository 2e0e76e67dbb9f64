// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/CallGroup.h"

namespace morvale {

// What a process is grouped by: a bundle ID when there is one, else a name.
struct GroupedAs {
    std::optional<std::string> bundleID;
    std::string name;

    friend bool operator==(const GroupedAs&, const GroupedAs&) = default;
};

// How a platform gathers the processes its audio system reports into rows.
// Every platform shares the frame (the call row's members, then a bundle ID,
// then the process name); what its applications' processes look like, and
// which of them make up the call row, is the platform's own.
struct GroupingRules {
    CallGroup calls;
    // What a process with a bundle ID (the first argument; the second is its
    // name) is grouped by, where that is not simply its bundle ID: a helper
    // process that belongs to another application, say. Null: the bundle ID.
    // It must give the same answer for the same arguments every time, since
    // the result is the key volumes are stored under.
    std::function<GroupedAs(const std::string& bundleID, const std::string& name)> bundleRule;
    // Removed wherever it occurs in an installed application's display name.
    std::string displayNameSuffix;
};

}  // namespace morvale
