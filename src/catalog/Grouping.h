// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/AudioProcess.h"
#include "platform/GroupingRules.h"
#include "platform/Icon.h"
#include "platform/Workspace.h"

namespace morvale::Grouping {

// Which application row a process belongs to, and what the row is called and
// looks like, by the rules the platform gives. The group key is also the key
// of the stored volumes, so the key a process gets must never change for it.

// The key of the call row on every platform, whoever its members are. Stored
// volumes of the call row are kept under it, so it stays as it is.
inline constexpr std::string_view callRowKey = "facetime";

// The key of a process grouped by its name: "proc:" followed by the name.
std::string nameKey(std::string_view name);

// The group key of a process: callRowKey for a member of the call row, else
// what the rules group it by (a bundle ID, or "proc:" followed by a name).
std::string key(const AudioProcess& process, const GroupingRules& rules);

// The key the process had by its program's name, for a process that is keyed
// by a name it declared itself (AudioProcess::programName): a volume stored
// under that key is its volume until it has one of its own. Absent otherwise.
std::optional<std::string> programKey(const AudioProcess& process, const GroupingRules& rules);

// Who a process must be to belong to a key whatever else is true of it: one
// of these bundle IDs, or, without a bundle ID, one of these names. So a
// process that starts later can be told to belong to the key before it is
// seen in a snapshot. Empty for keys whose members cannot be told that way.
struct Identities {
    std::vector<std::string> bundleIDs;
    std::vector<std::string> names;

    friend bool operator==(const Identities&, const Identities&) = default;
};
Identities identities(const std::string& key, const GroupingRules& rules);

// Where the application for a key is installed; never asks for the call row's
// or "proc:" keys, nor for keys without a dot.
std::optional<std::string> appURL(const std::string& key, const Workspace& workspace);

// The row name for a key: the call row's name, the installed application's
// display name (without the rules' suffix), or fallback.
std::string displayName(const std::string& key, const std::string& fallback,
                        const Workspace& workspace, const GroupingRules& rules);

// The picture for a key: the installed application's icon (for the call row,
// its icon's), else the call row's own picture, else the generic one.
Icon icon(const std::string& key, const Workspace& workspace, const GroupingRules& rules);

}  // namespace morvale::Grouping
